// export and import: a table's records as CSV (a header line of field
// names, then a line a record, quoted where a value needs it) or JSON (an
// array of objects), and CSV back into a table in batches under one write
// lock, as insert --stdin writes.
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "BatchedPosts.h"
#include "CharTable.h"
#include "StoreTable.h"
#include "TableCommands.h"

namespace sauno_table {
namespace {

using sauno::TField;
using sauno::TFieldType;
using sauno::TStoreTable;

void OpenTable(TStoreTable& table, const std::string& dir, const std::string& name) {
  table.DatabaseName = dir;
  table.TableName = name;
  table.Open();
}

std::string CsvValue(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + '"';
}

bool IsNumberType(TFieldType type) {
  switch (type) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
    case TFieldType::ftAutoInc:
    case TFieldType::ftLargeint: return true;
    default: return false;
  }
}

// A JSON number as the field's text gives it; anything else (an infinity)
// goes out as a string.
bool LooksLikeJsonNumber(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
      return false;
  return true;
}

std::string JsonValue(const TField& field) {
  if (field.IsNull()) return "null";
  const std::string text = field.AsString();
  if (field.DataType() == TFieldType::ftBoolean) return text == "True" ? "true" : "false";
  if (IsNumberType(field.DataType()) && LooksLikeJsonNumber(text)) return text;
  return JsonString(text);
}

// Reads one CSV record (RFC 4180: quoted values may hold commas, quotes
// doubled, and line breaks); false at the end of the input. `lines` counts
// the input lines read.
bool ReadCsvRecord(std::istream& in, std::vector<std::string>& values, long long& lines) {
  values.clear();
  std::string value;
  bool quoted = false, any = false, afterQuote = false;
  for (int c; (c = in.get()) != EOF;) {
    any = true;
    if (quoted) {
      if (c == '"') {
        if (in.peek() == '"') {
          value += '"';
          in.get();
        } else {
          quoted = false;
          afterQuote = true;
        }
      } else {
        if (c == '\n') ++lines;
        value += static_cast<char>(c);
      }
      continue;
    }
    if (c == '"' && value.empty() && !afterQuote) {
      quoted = true;
    } else if (c == ',') {
      values.push_back(std::move(value));
      value.clear();
      afterQuote = false;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && in.peek() == '\n') in.get();
      ++lines;
      values.push_back(std::move(value));
      return true;
    } else {
      if (afterQuote) throw TInputError("text after a closing quote");
      value += static_cast<char>(c);
    }
  }
  if (quoted) throw TInputError("a quoted value is not closed");
  if (!any) return false;
  ++lines;
  values.push_back(std::move(value));
  return true;
}

int ExportTable(TStoreTable& table, bool json, std::ostream& out) {
  const int count = table.FieldCount();
  if (json) {
    out << "[";
    bool first = true;
    for (table.First(); !table.Eof(); table.Next()) {
      out << (first ? "\n" : ",\n") << "  {";
      first = false;
      for (int i = 0; i < count; ++i)
        out << (i ? ", " : "") << JsonString(table.Fields(i).FieldName()) << ": " << JsonValue(table.Fields(i));
      out << "}";
    }
    out << (first ? "]\n" : "\n]\n");
    return 0;
  }
  for (int i = 0; i < count; ++i) out << (i ? "," : "") << CsvValue(table.Fields(i).FieldName());
  out << "\n";
  for (table.First(); !table.Eof(); table.Next()) {
    for (int i = 0; i < count; ++i) out << (i ? "," : "") << CsvValue(table.Fields(i).AsString());
    out << "\n";
  }
  return 0;
}

// The header's names matched to the table's fields, ignoring letter case;
// read-only fields (an auto-increment number) are skipped, as the table
// gives them their values.
std::vector<TField*> ImportColumns(TStoreTable& table, const std::vector<std::string>& names) {
  std::vector<TField*> columns;
  for (const std::string& name : names) {
    TField* field = nullptr;
    for (int i = 0; i < table.FieldCount() && !field; ++i)
      if (store::SameTextNoCase(table.Fields(i).FieldName(), store::TrimText(name))) field = &table.Fields(i);
    if (!field) throw TInputError("the table has no field named '" + Escaped(name) + "' (line 1 of the CSV)");
    columns.push_back(field->ReadOnly ? nullptr : field);
  }
  return columns;
}

int ImportCsv(TStoreTable& table, std::istream& in, std::ostream& out) {
  std::vector<std::string> values;
  long long lines = 0;
  if (!ReadCsvRecord(in, values, lines)) throw TInputError("the CSV has no header line");
  const std::vector<TField*> columns = ImportColumns(table, values);
  TBatchedPosts batches(table);
  long long recordLine = 0;
  try {
    while (true) {
      recordLine = lines + 1;
      if (!ReadCsvRecord(in, values, lines)) break;
      if (values.size() == 1 && values[0].empty()) continue;  // a blank line
      if (values.size() != columns.size())
        throw TInputError("line " + std::to_string(recordLine) + " has " + std::to_string(values.size()) +
                                    " values for " + std::to_string(columns.size()) + " columns");
      batches.BeforePost();
      table.Insert();
      try {
        for (std::size_t i = 0; i < columns.size(); ++i)
          if (columns[i]) columns[i]->SetAsString(values[i]);
        table.Post();
      } catch (...) {
        table.Cancel();
        throw;
      }
      batches.AfterPost();
    }
    batches.Finish();
  } catch (...) {
    const long long stored = batches.FinishAfterFailure();
    std::cerr << "sauno-table: stopped at line " << recordLine << "; the first " << stored
              << " records are stored\n";
    throw;
  }
  out << batches.PostedCount() << " imported\n";
  return 0;
}

}  // namespace

int ExportCommand(const std::vector<std::string>& args, std::ostream& out) {
  std::vector<std::string> positional;
  bool json = false;
  for (const std::string& a : args) {
    if (a == "--json") json = true;
    else if (a == "--csv") json = false;
    else positional.push_back(a);
  }
  if (positional.size() != 2) throw std::invalid_argument("export takes DIR TABLE [--csv|--json]");
  TStoreTable table(nullptr);
  OpenTable(table, positional[0], positional[1]);
  return ExportTable(table, json, out);
}

int ImportCommand(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 4 || args[2] != "--csv") throw std::invalid_argument("import takes DIR TABLE --csv FILE");
  std::ifstream file;
  std::istream* in = &std::cin;
  if (args[3] != "-") {
    file.open(args[3], std::ios::binary);
    if (!file) throw std::runtime_error("cannot read '" + args[3] + "'");
    in = &file;
  }
  TStoreTable table(nullptr);
  OpenTable(table, args[0], args[1]);
  return ImportCsv(table, *in, out);
}

}  // namespace sauno_table
