// The commands that go through the table component, locking as the game does.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <stdexcept>

#include "BatchedPosts.h"
#include "CharTable.h"
#include "StoreTable.h"
#include "TableCommands.h"
#include "TableFiles.h"

namespace sauno_table {
namespace {

using sauno::TField;
using sauno::TStoreTable;

struct TAssignment {
  std::string Field;
  std::string Value;
};

TAssignment ParseAssignment(const std::string& argument) {
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos || equals == 0)
    throw std::invalid_argument("invalid assignment '" + argument + "': expected NAME=VALUE");
  return {argument.substr(0, equals), argument.substr(equals + 1)};
}

// The table of a directory; the directory itself names the database.
void OpenTable(TStoreTable& table, const std::string& dir, const std::string& name, const std::string& index) {
  table.DatabaseName = dir;
  table.TableName = name;
  table.IndexName = index;
  table.Open();
}

std::vector<TField*> WritableFields(TStoreTable& table) {
  std::vector<TField*> fields;
  for (int i = 0; i < table.FieldCount(); ++i)
    if (!table.Fields(i).ReadOnly) fields.push_back(&table.Fields(i));
  return fields;
}

void InsertLine(TStoreTable& table, const std::vector<TField*>& fields, const std::string& line) {
  table.Insert();
  std::size_t start = 0;
  for (std::size_t i = 0; i < fields.size() && start <= line.size(); ++i) {
    std::size_t end = line.find('\t', start);
    if (end == std::string::npos) end = line.size();
    fields[i]->SetAsString(std::string_view(line).substr(start, end - start));
    start = end + 1;
  }
  if (start <= line.size()) {
    table.Cancel();
    throw TInputError("more values than fields in line '" + Escaped(line) + "'");
  }
  table.Post();
}

// True when the next read of the input would wait for it.
bool InputWouldWait(std::istream& in) {
  if (in.rdbuf()->in_avail() > 0) return false;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  return ::poll(&input, 1, 0) == 0;
}

// One record per line, in batches under one write lock: a batch is written
// every BatchRecords records and whenever the input would wait, so that the
// lock is never held while nothing happens. A failure reports how many
// records are stored; the lines of the failed batch are not.
int InsertLines(TStoreTable& table, std::istream& in, std::ostream& out) {
  const std::vector<TField*> fields = WritableFields(table);
  TBatchedPosts batches(table);
  std::string line;
  try {
    while (true) {
      if (InputWouldWait(in)) batches.WriteNow();
      if (!std::getline(in, line)) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      batches.BeforePost();
      InsertLine(table, fields, line);
      batches.AfterPost();
    }
    batches.Finish();
  } catch (...) {
    const long long stored = batches.FinishAfterFailure();
    std::cerr << "sauno-table: stopped at line " << batches.PostedCount() + 1 << "; the first " << stored
              << " lines are stored\n";
    throw;
  }
  out << batches.PostedCount() << " inserted\n";
  return 0;
}

// One record per line, each posted and committed on its own as the game
// posts: every record takes the write lock and releases it again.
int InsertEachLine(TStoreTable& table, std::istream& in, std::ostream& out) {
  const std::vector<TField*> fields = WritableFields(table);
  std::string line;
  long long stored = 0;
  try {
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      InsertLine(table, fields, line);
      ++stored;
    }
  } catch (...) {
    std::cerr << "sauno-table: stopped at line " << stored + 1 << "; the first " << stored << " lines are stored\n";
    throw;
  }
  out << stored << " inserted\n";
  return 0;
}

}  // namespace

int InsertCommand(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 2)
    throw std::invalid_argument("insert takes DIR TABLE NAME=VALUE... or DIR TABLE --stdin or DIR TABLE --each");
  TStoreTable table(nullptr);
  if (args.size() == 3 && (args[2] == "--stdin" || args[2] == "--each")) {
    OpenTable(table, args[0], args[1], "");
    return args[2] == "--stdin" ? InsertLines(table, std::cin, out) : InsertEachLine(table, std::cin, out);
  }
  std::vector<TAssignment> assignments;
  for (std::size_t i = 2; i < args.size(); ++i) assignments.push_back(ParseAssignment(args[i]));
  OpenTable(table, args[0], args[1], "");
  table.Insert();
  for (const TAssignment& a : assignments) table.FieldByName(a.Field)->SetAsString(a.Value);
  table.Post();
  return 0;
}

int ListCommand(const std::vector<std::string>& args, std::ostream& out) {
  std::string index;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--index" && i + 1 < args.size()) index = args[++i];
    else if (args[i].rfind("--index=", 0) == 0) index = args[i].substr(8);
    else positional.push_back(args[i]);
  }
  if (positional.size() != 2) throw std::invalid_argument("list takes DIR TABLE [--index NAME]");
  TStoreTable table(nullptr);
  OpenTable(table, positional[0], positional[1], index);
  std::string line;
  for (table.First(); !table.Eof(); table.Next()) {
    line.clear();
    for (int i = 0; i < table.FieldCount(); ++i) {
      if (i) line += '\t';
      line += table.Fields(i).AsString();
    }
    out << line << '\n';
  }
  return 0;
}

int DeleteCommand(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 3) throw std::invalid_argument("delete takes DIR TABLE NAME=VALUE");
  const TAssignment match = ParseAssignment(args[2]);
  TStoreTable table(nullptr);
  OpenTable(table, args[0], args[1], "");
  TField* field = table.FieldByName(match.Field);
  long long count = 0;
  table.First();
  while (!table.Eof()) {
    if (field->AsString() == match.Value) {
      table.Delete();
      ++count;
    } else {
      table.Next();
    }
  }
  out << count << " deleted\n";
  return 0;
}

int UpdateCommand(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 4) throw std::invalid_argument("update takes DIR TABLE NAME=VALUE FIELD=VALUE...");
  const TAssignment match = ParseAssignment(args[2]);
  std::vector<TAssignment> changes;
  for (std::size_t i = 3; i < args.size(); ++i) changes.push_back(ParseAssignment(args[i]));
  TStoreTable table(nullptr);
  OpenTable(table, args[0], args[1], "");
  TField* field = table.FieldByName(match.Field);
  // Every name is looked up before the record is touched.
  std::vector<TField*> targets;
  for (const TAssignment& change : changes) targets.push_back(table.FieldByName(change.Field));
  for (table.First(); !table.Eof(); table.Next()) {
    if (field->AsString() != match.Value) continue;
    table.Edit();
    for (std::size_t i = 0; i < changes.size(); ++i) targets[i]->SetAsString(changes[i].Value);
    table.Post();
    out << "1 updated\n";
    return 0;
  }
  std::cerr << "sauno-table: no record with " << match.Field << "=" << match.Value << "\n";
  return 1;
}


}  // namespace sauno_table
