#include "TableCommands.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "BTree.h"
#include "CharTable.h"
#include "DataFile.h"
#include "DataSession.h"
#include "DataTable.h"
#include "StoreError.h"
#include "TableCheck.h"
#include "TableFiles.h"

namespace sauno_table {
namespace {

using namespace store;

struct TTypeName {
  const char* Name;
  std::uint8_t Type;
  std::uint8_t Subtype;
  bool Sized;
};

constexpr TTypeName TypeNames[] = {
    {"string", ftcString, 0, true},       {"fixedchar", ftcString, SubtypeFixedChar, true},
    {"date", ftcDate, 0, false},          {"boolean", ftcBoolean, 0, false},
    {"smallint", ftcSmallint, 0, false},  {"integer", ftcInteger, 0, false},
    {"autoinc", ftcInteger, SubtypeAutoInc, false}, {"float", ftcFloat, 0, false},
    {"currency", ftcFloat, SubtypeCurrency, false}, {"bytes", ftcBytes, 0, true},
    {"time", ftcTime, 0, false},          {"timestamp", ftcTimestamp, 0, false},
    {"word", ftcWord, 0, false},          {"varbytes", ftcVarBytes, 0, true},
    {"largeint", ftcLargeint, 0, false},
};

std::string TypeNameOf(const TFieldDesc& f) {
  for (const TTypeName& t : TypeNames)
    if (t.Type == f.Type() && (t.Subtype == f.Subtype() || (t.Subtype == 0 && f.Subtype() != SubtypeFixedChar &&
                                                            f.Subtype() != SubtypeAutoInc && f.Subtype() != SubtypeCurrency)))
      return t.Name;
  if (f.Type() == ftcRawInteger) return "integer";
  return "code" + std::to_string(f.Type());
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

TFieldDesc ParseField(const std::string& argument) {
  std::vector<std::string> parts = Split(argument, ':');
  if (parts.size() < 2 || parts.size() > 3 || parts[0].empty())
    throw std::invalid_argument("invalid field '" + argument + "': expected name:type[:size]");
  const TTypeName* type = nullptr;
  for (const TTypeName& t : TypeNames)
    if (SameTextNoCase(t.Name, parts[1])) type = &t;
  if (!type) throw std::invalid_argument("unknown field type '" + parts[1] + "' in '" + argument + "'");
  TFieldDesc field;
  if (parts[0].size() > 30) throw std::invalid_argument("field name '" + parts[0] + "' is longer than 30 characters");
  if (!IsIdentifierStart(static_cast<unsigned char>(parts[0][0])))
    throw std::invalid_argument("field name '" + parts[0] + "' must start with a letter or an underscore");
  field.SetName(parts[0]);
  field.SetType(type->Type);
  field.SetSubtype(type->Subtype);
  if (type->Sized) {
    if (parts.size() != 3) throw std::invalid_argument("field '" + parts[0] + "' needs a size (1 to 250)");
    int size = 0;
    try {
      std::size_t used = 0;
      size = std::stoi(parts[2], &used);
      if (used != parts[2].size()) size = 0;
    } catch (const std::exception&) {
      size = 0;
    }
    if (size < 1 || size > 250) throw std::invalid_argument("field '" + parts[0] + "' needs a size of 1 to 250");
    field.SetDeclaredSize(static_cast<std::uint8_t>(size));
  } else if (parts.size() == 3) {
    throw std::invalid_argument("field '" + parts[0] + "' of type " + type->Name + " takes no size");
  }
  return field;
}

void ParseKeyFields(const std::string& list, const std::vector<TFieldDesc>& fields, TIndexDefinition& def) {
  for (std::string name : Split(list, ',')) {
    bool descending = false;
    if (!name.empty() && name.back() == '-') {
      descending = true;
      name.pop_back();
    }
    std::uint16_t number = 0;
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (SameTextNoCase(fields[i].Name(), name)) number = static_cast<std::uint16_t>(i + 1);
    if (number == 0) throw std::invalid_argument("no field named '" + name + "' for the key");
    def.Fields.push_back(number);
    def.FieldDescending.push_back(descending);
  }
}

TIndexDefinition ParseIndex(const std::string& argument, const std::vector<TFieldDesc>& fields) {
  std::size_t equals = argument.find('=');
  if (equals == std::string::npos) throw std::invalid_argument("invalid index '" + argument + "': expected NAME=FIELDS");
  TIndexDefinition def;
  def.Name = argument.substr(0, equals);
  std::vector<std::string> parts = Split(argument.substr(equals + 1), ':');
  ParseKeyFields(parts[0], fields, def);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string& option = parts[i];
    if (option == "unique") def.Unique = true;
    else if (option == "nocase") def.CaseInsensitive = true;
    else if (option == "descending") def.Descending = true;
    else if (option.rfind("compress=", 0) == 0 && option.size() == 10 && option[9] >= '0' && option[9] <= '3')
      def.Compression = static_cast<std::uint8_t>(option[9] - '0');
    else throw std::invalid_argument("unknown index option '" + option + "' in '" + argument + "'");
  }
  return def;
}

constexpr const char* PendingCommitReport =
    "a commit of a writer that stopped is pending; it is completed by the next process that opens the table with "
    "write access";

// The table opened through the engine as the game opens it: read-write when
// the files can be written, so that a dead writer's unfinished commit is
// repaired first, and read-only by itself when they cannot.
class TEngineTable {
  // As the tool's other sessions: commits flushed in the power-cut order.
  static TDataSession& Flushing(TDataSession& session) {
    session.Settings.ForceBufferFlush = true;
    return session;
  }

 public:
  TEngineTable(const std::string& dir, const std::string& name)
      : Directory(Flushing(Session).OpenDirectory(dir)), Opened(Directory.AcquireTable(name, false, false)) {}
  ~TEngineTable() {
    try {
      Directory.ReleaseTable(Opened);
    } catch (...) {
    }
  }
  TEngineTable(const TEngineTable&) = delete;
  TEngineTable& operator=(const TEngineTable&) = delete;
  TDataTable& Table() { return Opened; }

 private:
  TDataSession Session;
  TDataDirectory& Directory;
  TDataTable& Opened;
};

// The table's read lock for a scope: no writer is inside a commit meanwhile.
class TReadLockScope {
 public:
  explicit TReadLockScope(TDataTable& table) : Table(table) { Table.ReadLock(); }
  ~TReadLockScope() {
    try {
      Table.ReadUnlock();
    } catch (...) {
    }
  }
  TReadLockScope(const TReadLockScope&) = delete;
  TReadLockScope& operator=(const TReadLockScope&) = delete;

 private:
  TDataTable& Table;
};

// Takes the read lock and tells whether a writer that stopped left a commit
// pending that this process cannot complete, its files being read-only (with
// write access the engine completes it on opening). The engine refuses the
// read lock then, and the lock stays empty.
bool TakeReadLock(TDataTable& table, std::optional<TReadLockScope>& lock) {
  try {
    lock.emplace(table);
  } catch (const EStoreEngineError& e) {
    if (e.Code() != STORE_TABLEOPEN || !table.TableFiles().CommitPending()) throw;
    return true;
  }
  return table.TableFiles().CommitPending();
}

void RequireArgs(const std::vector<std::string>& args, std::size_t count, const char* command) {
  if (args.size() != count) throw std::invalid_argument(std::string(command) + " takes DIR TABLE");
}

}  // namespace

std::string Escaped(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string shown;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      shown += c;
    } else {
      shown += "\\x";
      shown += digits[byte >> 4];
      shown += digits[byte & 15];
    }
  }
  return shown;
}

int CreateCommand(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 2) throw std::invalid_argument("create takes DIR TABLE FIELD...");
  TTableDefinition definition;
  std::vector<std::string> primary;
  std::vector<std::string> indexes;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--primary" || arg == "--index") {
      if (i + 1 >= args.size()) throw std::invalid_argument(arg + " needs a value");
      (arg == "--primary" ? primary : indexes).push_back(args[++i]);
    } else if (arg.rfind("--primary=", 0) == 0) {
      primary.push_back(arg.substr(10));
    } else if (arg.rfind("--index=", 0) == 0) {
      indexes.push_back(arg.substr(8));
    } else if (arg.rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown option '" + arg + "'");
    } else {
      definition.Fields.push_back(ParseField(arg));
    }
  }
  if (primary.size() > 1) throw std::invalid_argument("--primary may be given once");
  TDataFile::LayoutFields(definition.Fields, TableFilePath(args[0], args[1], DataExtension));
  if (!primary.empty()) ParseKeyFields(primary[0], definition.Fields, definition.Primary);
  for (const std::string& argument : indexes) definition.Secondaries.push_back(ParseIndex(argument, definition.Fields));
  TTableFiles table;
  table.Create(args[0], args[1], definition);
  table.Close();
  (void)out;
  return 0;
}

int InfoCommand(const std::vector<std::string>& args, std::ostream& out) {
  RequireArgs(args, 2, "info");
  TEngineTable opened(args[0], args[1]);
  std::optional<TReadLockScope> lock;
  const bool pending = TakeReadLock(opened.Table(), lock);
  TTableFiles& table = opened.Table().TableFiles();
  const TDataHeader& h = table.DataFile().HeaderCopy();
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.6f", h.LastUpdate());
  out << "data.path: " << table.DataFile().Path() << "\n"
      << "data.change_counter: " << h.ChangeCounter() << "\n"
      << "data.blob_block_size: " << h.BlobBlockSize() << "\n"
      << "data.version: " << int(h.Version()) << "\n"
      << "data.first_deleted: " << h.FirstDeleted() << "\n"
      << "data.next_record: " << h.NextRecord() << "\n"
      << "data.last_autoinc: " << h.LastAutoInc() << "\n"
      << "data.record_size: " << h.RecordSize() << "\n"
      << "data.field_count: " << h.FieldCount() << "\n"
      << "data.blob_field_count: " << h.BlobFieldCount() << "\n"
      << "data.last_update: " << stamp << "\n"
      << "data.description: " << h.Description() << "\n"
      << "data.encrypted: " << int(h.Encrypted()) << "\n"
      << "data.language_id: " << h.LanguageId() << "\n"
      << "data.sort_id: " << h.SortId() << "\n"
      << "data.user_version_1: " << h.UserVersion1() << "\n"
      << "data.user_version_2: " << h.UserVersion2() << "\n"
      << "data.last_blob_number: " << h.LastBlobNumber() << "\n"
      << "data.engine_version: " << h.EngineVersion() << "\n"
      << "data.record_count: " << table.DataFile().RecordCount() << "\n";
  for (const TFieldDesc& f : table.DataFile().Fields()) {
    const std::string p = "field." + std::to_string(f.Number()) + ".";
    out << p << "name: " << f.Name() << "\n"
        << p << "type: " << TypeNameOf(f) << "\n"
        << p << "type_code: " << int(f.Type()) << "\n"
        << p << "subtype: " << int(f.Subtype()) << "\n"
        << p << "size: " << int(f.DeclaredSize()) << "\n"
        << p << "physical_size: " << int(f.PhysicalSize()) << "\n"
        << p << "offset: " << f.Offset() << "\n"
        << p << "required: " << int(f.Required()) << "\n";
  }
  TIndexFile& index = table.IndexFile();
  const TIndexHeader& ih = index.Header();
  out << "index.path: " << index.Path() << "\n"
      << "index.change_counter: " << ih.ChangeCounter() << "\n"
      << "index.version: " << int(ih.Version()) << "\n"
      << "index.next_page: " << ih.NextPage() << "\n"
      << "index.secondary_count: " << int(ih.SecondaryCount()) << "\n"
      << "index.active_records: " << ih.ActiveRecords() << "\n"
      << "index.no_primary_fields: " << int(ih.NoPrimaryFieldsByte()) << "\n";
  for (int slot = 0; slot < IndexSlots; ++slot) {
    const bool shown = slot == PrimaryIndex || slot == SysDeletedIndex || slot == SysTextIndex ||
                       slot <= ih.SecondaryCount();
    if (!shown) continue;
    const TIndexDesc d = ih.Desc(slot);
    const std::string p = "index." + std::to_string(slot) + ".";
    std::string fieldList;
    for (int i = 0; i < d.FieldCount() && i < MaxKeyFields; ++i) {
      const std::uint16_t n = d.FieldNumber(i);
      if (!fieldList.empty()) fieldList += ",";
      fieldList += n >= 1 && n <= table.DataFile().Fields().size() ? table.DataFile().Fields()[n - 1u].Name() : "?";
      if (d.FieldDescending(i)) fieldList += "-";
    }
    out << p << "name: " << index.IndexDisplayName(slot) << "\n"
        << p << "key_length: " << d.KeyLength() << "\n"
        << p << "descending: " << int(d.Descending()) << "\n"
        << p << "case_insensitive: " << int(d.CaseInsensitive()) << "\n"
        << p << "unique: " << int(d.Unique()) << "\n"
        << p << "compression: " << int(d.Compression()) << "\n"
        << p << "fields: " << fieldList << "\n"
        << p << "root: " << d.Root() << "\n"
        << p << "free_head: " << d.FreeHead() << "\n"
        << p << "no_counts: " << int(d.NoCounts()) << "\n";
  }
  out << "pending_commit: " << (pending ? "yes" : "no") << "\n";
  return 0;
}

int VerifyCommand(const std::vector<std::string>& args, std::ostream& out) {
  RequireArgs(args, 2, "verify");
  TEngineTable opened(args[0], args[1]);
  std::vector<std::string> problems;
  {
    // Half-written trees of an unfinished commit are not damage: the next
    // writer completes the commit.
    std::optional<TReadLockScope> lock;
    if (TakeReadLock(opened.Table(), lock)) {
      out << PendingCommitReport << "\n";
      return 1;
    }
    problems = CheckTable(opened.Table().TableFiles());
  }
  if (problems.empty()) {
    out << "ok\n";
    return 0;
  }
  for (const std::string& p : problems) out << p << "\n";
  return 1;
}

namespace {

// The game's high-score table: nimi string 40, aika integer, and the index
// "aika" on aika, longest time first (equal times in the order stored).
TIndexDefinition ScoresTimeIndex() {
  TIndexDefinition byTime;
  byTime.Name = "aika";
  byTime.Fields = {2};
  byTime.FieldDescending = {true};
  return byTime;
}

TTableDefinition ScoresDefinition(const std::string& dir) {
  TTableDefinition definition;
  TFieldDesc name;
  name.SetName("nimi");
  name.SetType(ftcString);
  name.SetDeclaredSize(40);
  TFieldDesc seconds;
  seconds.SetName("aika");
  seconds.SetType(ftcInteger);
  definition.Fields = {name, seconds};
  TDataFile::LayoutFields(definition.Fields, TableFilePath(dir, "enkat", DataExtension));
  definition.Secondaries = {ScoresTimeIndex()};
  return definition;
}

bool IsScoresLayout(const TDataFile& data) {
  const auto& f = data.Fields();
  return f.size() == 2 && SameTextNoCase(TrimText(f[0].Name()), "nimi") && f[0].IsString() &&
         SameTextNoCase(TrimText(f[1].Name()), "aika") && f[1].Type() == ftcInteger;
}

// Opens a table for exclusive use, to mend it or build its structures
// again, whatever a power cut or a dead writer left in it. An index
// file whose header cannot be read holds nothing its records cannot give
// again: it is put aside (".damaged") and made anew with the internal
// indexes, and `out` says so.
void OpenForRebuild(TTableFiles& files, const std::string& dir, const std::string& table, std::ostream& out) {
  const std::string indexPath = FindTableFile(dir, table, IndexExtension);
  try {
    files.OpenForRepair(dir, table);
    return;
  } catch (const EStoreEngineError& e) {
    const bool indexHeader = (e.Code() == STORE_OLDVERSION || e.Code() == STORE_HEADERCORRUPT) &&
                             e.Context().Table == indexPath;
    if (!indexHeader) throw;
    std::error_code failed;
    std::filesystem::rename(indexPath, indexPath + ".damaged", failed);
    if (failed) throw;
    out << indexPath << ": " << StoreErrorMessage(e.Code(), e.Context()) << "; put aside as " << indexPath
        << ".damaged and made anew from the records, with the internal indexes only\n";
  }
  files.OpenForRepair(dir, table);
}

int ReportCheck(TTableFiles& files, std::ostream& out) {
  const std::vector<std::string> problems = CheckTable(files);
  for (const std::string& p : problems) out << p << "\n";
  return problems.empty() ? 0 : 1;
}

}  // namespace

int RepairCommand(const std::vector<std::string>& args, std::ostream& out) {
  RequireArgs(args, 2, "repair");
  TTableFiles files;
  OpenForRebuild(files, args[0], args[1], out);
  files.RepairFromFiles(true);
  out << "repaired: " << files.IndexFile().Header().ActiveRecords()
      << " records; the deleted chain and every index built again\n";
  return ReportCheck(files, out);
}

int CreateScoresCommand(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 1) throw std::invalid_argument("create-scores takes DIR");
  const std::string& dir = args[0];
  struct stat st {};
  const bool dataExists = ::stat(FindTableFile(dir, "enkat", DataExtension).c_str(), &st) == 0;
  if (!dataExists) {
    if (::stat(FindTableFile(dir, "enkat", IndexExtension).c_str(), &st) == 0) {
      out << "enkat exists; left as it is\n";
      return 0;
    }
    TTableFiles table;
    table.Create(dir, "enkat", ScoresDefinition(dir));
    table.Close();
    out << "enkat made\n";
    return 0;
  }
  // The scores are there: they stay as they are, and the index the game
  // reads them by is built again when the index file lost it.
  TTableFiles files;
  OpenForRebuild(files, dir, "enkat", out);
  if (!IsScoresLayout(files.DataFile())) {
    std::cerr << "sauno-table: " << files.DataFile().Path() << " is not the game's table (nimi, aika); left as it is\n";
    return 1;
  }
  if (files.IndexFile().FindIndex("aika") < 0) {
    files.IndexFile().AddSecondaryIndex(ScoresTimeIndex(), files.DataFile().Fields());
    files.RepairFromFiles(true);
    out << "enkat: the index aika was missing; built again from " << files.IndexFile().Header().ActiveRecords()
        << " records\n";
    return ReportCheck(files, out);
  }
  // A table that a power cut or a dead writer left unfinished is mended.
  if (!files.CommitPending() && CheckTable(files).empty()) {
    out << "enkat exists; left as it is\n";
    return 0;
  }
  files.RepairFromFiles(true);
  out << "enkat: mended; " << files.IndexFile().Header().ActiveRecords() << " records, every index built again\n";
  return ReportCheck(files, out);
}

}  // namespace sauno_table
