// Building an index of random integer keys, an ordered scan and the first
// ten keys, done by the table store and by SQLite in the same run; then the
// game's work through the table component: (name, seconds) records inserted
// one commit each and the top ten read through the index, against SQLite
// with one transaction per insert (WAL, synchronous OFF), and flushed
// commits against synchronous FULL. Prints the times and their ratios
// (SQLite time / store time: above 1 means the store is faster).
//   bench_store [DIR] [--cache PAGES]
//   bench_store [DIR] --only store|flushed|filled|sqlite|sqlite-full COUNT
//     runs one of the game's insert loops alone, for strace and perf
//     ("filled": COUNT inserts in batches, then 2000 of one commit each).
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "BTree.h"
#include "FieldValues.h"
#include "Key.h"
#include "StoreSession.h"
#include "StoreTable.h"
#include "TableFiles.h"

using namespace store;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

struct TFigures {
  double Build = 0, Scan = 0, FirstTen = 0;
  long long Checksum = 0;
};

TFigures RunStore(const std::string& dir, const std::vector<std::int32_t>& keys, std::size_t cachePages) {
  TTableDefinition def;
  TFieldDesc field;
  field.SetName("k");
  field.SetType(ftcInteger);
  def.Fields = {field};
  TDataFile::LayoutFields(def.Fields, "bench");
  TIndexDefinition index;
  index.Name = "byk";
  index.Fields = {1};
  def.Secondaries = {index};
  std::filesystem::remove(dir + "/bench.DAT");
  std::filesystem::remove(dir + "/bench.IDX");
  TTableFiles table;
  table.Create(dir, "bench", def);
  table.IndexFile().SetPageCacheCapacity(cachePages);
  TFigures f;
  TDataFile& data = table.DataFile();
  TIndexFile& idx = table.IndexFile();
  TIndexTree tree(idx, 1);
  TIndexTree deleted(idx, SysDeletedIndex);
  const TKeyDef& def1 = idx.KeyDef(1);
  std::vector<std::uint8_t> key(def1.KeyLength());
  auto start = Clock::now();
  for (std::int32_t value : keys) {
    TRecord& record = data.NewRecord(false);
    PutFieldNative(record.Buffer, data.Fields()[0], std::span(reinterpret_cast<const std::uint8_t*>(&value), 4), "bench");
    def1.BuildKey(record.Buffer, key);
    tree.Insert(key, record.RecordNumber);
    deleted.Insert(SysDeletedKey(0, GetI32(record.Buffer, 5)), record.RecordNumber);
    data.ReleaseRecord(record);
  }
  idx.Header().SetActiveRecords(static_cast<std::int32_t>(keys.size()));
  table.Commit();
  f.Build = Seconds(start);

  start = Clock::now();
  TTreePath path;
  long long n = 0;
  // The keys come from the index itself, as they do from SQLite's index.
  auto valueOf = [](TConstBytes k) {
    return static_cast<std::int32_t>(((std::uint32_t{k[1]} << 24) | (std::uint32_t{k[2]} << 16) |
                                      (std::uint32_t{k[3]} << 8) | k[4]) ^ 0x80000000u);
  };
  for (bool more = tree.First(path); more; more = tree.Next(path)) {
    f.Checksum += valueOf(tree.KeyAt(path));
    ++n;
  }
  f.Scan = Seconds(start);

  const int repeats = 1000;
  start = Clock::now();
  for (int r = 0; r < repeats; ++r) {
    TTreePath p;
    bool more = tree.First(p);
    for (int i = 0; i < 10 && more; ++i, more = tree.Next(p)) f.Checksum += valueOf(tree.KeyAt(p));
  }
  f.FirstTen = Seconds(start) / repeats;
  if (n != static_cast<long long>(keys.size())) std::fprintf(stderr, "store scan saw %lld keys\n", n);
  return f;
}

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
    std::exit(1);
  }
}

TFigures RunSqlite(const std::string& dir, const std::vector<std::int32_t>& keys) {
  const std::string path = dir + "/bench.sqlite";
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-wal");
  std::filesystem::remove(path + "-shm");
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
  Exec(db, "CREATE TABLE t(k INTEGER); CREATE INDEX byk ON t(k);");
  TFigures f;
  auto start = Clock::now();
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t(k) VALUES (?)", -1, &insert, nullptr);
  Exec(db, "BEGIN");
  for (std::int32_t value : keys) {
    sqlite3_bind_int(insert, 1, value);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  Exec(db, "COMMIT");
  sqlite3_finalize(insert);
  f.Build = Seconds(start);

  sqlite3_stmt* scan = nullptr;
  start = Clock::now();
  sqlite3_prepare_v2(db, "SELECT k FROM t INDEXED BY byk ORDER BY k", -1, &scan, nullptr);
  while (sqlite3_step(scan) == SQLITE_ROW) f.Checksum += sqlite3_column_int(scan, 0);
  sqlite3_finalize(scan);
  f.Scan = Seconds(start);

  const int repeats = 1000;
  sqlite3_stmt* first = nullptr;
  sqlite3_prepare_v2(db, "SELECT k FROM t INDEXED BY byk ORDER BY k LIMIT 10", -1, &first, nullptr);
  start = Clock::now();
  for (int r = 0; r < repeats; ++r) {
    while (sqlite3_step(first) == SQLITE_ROW) f.Checksum += sqlite3_column_int(first, 0);
    sqlite3_reset(first);
  }
  f.FirstTen = Seconds(start) / repeats;
  sqlite3_finalize(first);
  sqlite3_close(db);
  return f;
}


// The game's table: nimi string 40, aika integer, the index "aika" on aika descending.
void MakeScores(const std::string& dir) {
  std::filesystem::remove(dir + "/enkat.DAT");
  std::filesystem::remove(dir + "/enkat.IDX");
  TTableDefinition def;
  TFieldDesc name, seconds;
  name.SetName("nimi");
  name.SetType(ftcString);
  name.SetDeclaredSize(40);
  seconds.SetName("aika");
  seconds.SetType(ftcInteger);
  def.Fields = {name, seconds};
  TDataFile::LayoutFields(def.Fields, "enkat");
  TIndexDefinition byTime;
  byTime.Name = "aika";
  byTime.Fields = {2};
  byTime.FieldDescending = {true};
  def.Secondaries = {byTime};
  TTableFiles table;
  table.Create(dir, "enkat", def);
}

struct TGameFigures {
  double Inserts = 0, TopTen = 0;
  double PerCommit = 0;  // seconds per one-commit insert after the table was filled
  long long Checksum = 0;
};

void InsertRow(sauno::TStoreTable& table, int i) {
  table.Insert();
  table.FieldByName("nimi")->SetAsString("pelaaja" + std::to_string(i % 97));
  table.FieldByName("aika")->SetAsInteger((i * 7919) % 600);
  table.Post();
}

// A read of about a microsecond is timed in rounds of a thousand; the
// median round is the figure, so that a round the scheduler interrupted
// does not count.
template <typename F>
double MedianRound(F once) {
  const int rounds = 15, repeats = 1000;
  std::vector<double> perRead;
  for (int round = 0; round < rounds; ++round) {
    auto start = Clock::now();
    for (int r = 0; r < repeats; ++r) once();
    perRead.push_back(Seconds(start) / repeats);
  }
  std::sort(perRead.begin(), perRead.end());
  return perRead[perRead.size() / 2];
}

double TopTenOf(sauno::TStoreTable& table, long long& checksum) {
  sauno::TField* seconds = table.FieldByName("aika");
  return MedianRound([&] {
    table.First();
    for (int i = 0; i < 10 && !table.Eof(); ++i, table.Next()) checksum += seconds->AsInteger();
  });
}

// count inserts, each its own commit, or (batch > 0) that many per commit
// under one write lock as `insert --stdin` does; then `single` more
// inserts of one commit each, timed on their own; then the top ten.
TGameFigures RunComponent(const std::string& dir, int count, const std::string& sessionName, int batch = 0,
                          int single = 0) {
  MakeScores(dir);
  sauno::TStoreTable table(nullptr);
  table.DatabaseName = dir;
  table.SessionName = sessionName;
  table.TableName = "enkat";
  table.IndexName = "aika";
  table.Open();
  TGameFigures f;
  auto start = Clock::now();
  store::TDataTable& engine = table.Cursor().DataTable();
  for (int i = 0; i < count; ++i) {
    if (batch > 0 && i % batch == 0) engine.BeginBatch();
    InsertRow(table, i);
    if (batch > 0 && (i % batch == batch - 1 || i == count - 1)) engine.EndBatch();
  }
  f.Inserts = Seconds(start);
  if (single > 0) {
    start = Clock::now();
    for (int i = 0; i < single; ++i) InsertRow(table, count + i);
    f.PerCommit = Seconds(start) / single;
  }
  f.TopTen = TopTenOf(table, f.Checksum);
  return f;
}

// count rows, each statement its own transaction, or (bulk) all in one;
// then `single` more, one transaction each, timed on their own.
TGameFigures RunSqliteGame(const std::string& dir, int count, bool full, bool bulk = false, int single = 0) {
  const std::string path = dir + "/enkat.sqlite";
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db, full ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;" : "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
  Exec(db, "CREATE TABLE enkat(nimi TEXT, aika INTEGER); CREATE INDEX aika ON enkat(aika DESC);");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO enkat(nimi, aika) VALUES (?, ?)", -1, &insert, nullptr);
  auto row = [&](int i) {
    const std::string name = "pelaaja" + std::to_string(i % 97);
    sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 2, (i * 7919) % 600);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  };
  TGameFigures f;
  auto start = Clock::now();
  if (bulk) Exec(db, "BEGIN");
  for (int i = 0; i < count; ++i) row(i);
  if (bulk) Exec(db, "COMMIT");
  f.Inserts = Seconds(start);
  if (single > 0) {
    start = Clock::now();
    for (int i = 0; i < single; ++i) row(count + i);
    f.PerCommit = Seconds(start) / single;
  }
  sqlite3_finalize(insert);
  sqlite3_stmt* top = nullptr;
  sqlite3_prepare_v2(db, "SELECT nimi, aika FROM enkat INDEXED BY aika ORDER BY aika DESC LIMIT 10", -1, &top, nullptr);
  f.TopTen = MedianRound([&] {
    while (sqlite3_step(top) == SQLITE_ROW) f.Checksum += sqlite3_column_int(top, 1);
    sqlite3_reset(top);
  });
  sqlite3_finalize(top);
  sqlite3_close(db);
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  return f;
}

void GameRows(const std::string& dir) {
  std::printf("\nthe game's table through the component, one commit per insert\n");
  std::printf("%-10s %-28s %14s %14s %9s\n", "records", "work", "store s", "sqlite s", "ratio");
  auto row = [](int count, const char* work, double a, double b) {
    std::printf("%-10d %-28s %14.9f %14.9f %9.2f\n", count, work, a, b, a > 0 ? b / a : 0.0);
  };
  struct TGoal {
    std::string What;
    bool Met;
  };
  std::vector<TGoal> goals;
  const int count = 100000;
  TGameFigures s = RunComponent(dir, count, "Default");
  TGameFigures q = RunSqliteGame(dir, count, false);
  row(count, "inserts (sync OFF)", s.Inserts, q.Inserts);
  row(count, "top ten through the index", s.TopTen, q.TopTen);
  goals.push_back({"one commit per record, 100000 records: at least 2x SQLite", q.Inserts >= 2 * s.Inserts});
  goals.push_back({"top ten at 100000 records: at most 1 us and faster than SQLite",
                   s.TopTen <= 1e-6 && s.TopTen < q.TopTen});
  TGameFigures b = RunComponent(dir, count, "Default", 4096);
  row(count, "inserts, 4096 per commit", b.Inserts, q.Inserts);
  // Flushed to the disk at every commit: ForceBufferFlush against synchronous FULL.
  sauno::TStoreSession flushing(nullptr);
  flushing.SetSessionName("flushing");
  flushing.ForceBufferFlush = true;
  const int flushed = 2000;
  TGameFigures sf = RunComponent(dir, flushed, "flushing");
  TGameFigures qf = RunSqliteGame(dir, flushed, true);
  row(flushed, "inserts (flushed / FULL)", sf.Inserts, qf.Inserts);
  goals.push_back({"flushed commits: at least 1x SQLite synchronous=FULL", qf.Inserts >= sf.Inserts});
  // The cost of one commit as the table grows: filled in batches, then
  // 2000 one-commit inserts timed on their own.
  const int single = 2000;
  TGameFigures small = RunComponent(dir, 10000, "Default", 4096, single);
  TGameFigures smallQ = RunSqliteGame(dir, 10000, false, true, single);
  row(10000, "one commit, per insert", small.PerCommit, smallQ.PerCommit);
  TGameFigures large = RunComponent(dir, 1000000, "Default", 4096, single);
  TGameFigures largeQ = RunSqliteGame(dir, 1000000, false, true, single);
  row(1000000, "one commit, per insert", large.PerCommit, largeQ.PerCommit);
  row(1000000, "top ten through the index", large.TopTen, largeQ.TopTen);
  goals.push_back({"top ten at 1000000 records: at most 1 us and faster than SQLite",
                   large.TopTen <= 1e-6 && large.TopTen < largeQ.TopTen});
  goals.push_back({"one commit at 1000000 records within 1.5x of one at 10000",
                   large.PerCommit <= 1.5 * small.PerCommit});
  std::filesystem::remove(dir + "/enkat.DAT");
  std::filesystem::remove(dir + "/enkat.IDX");
  std::printf("\ngoals\n");
  for (const TGoal& goal : goals) std::printf("%-4s %s\n", goal.Met ? "met" : "NOT", goal.What.c_str());
}

}  // namespace

int Run(int argc, char** argv) {
  std::string dir = std::filesystem::temp_directory_path().string();
  std::size_t cachePages = 4096;  // pages kept per index: room for the whole tree
  std::string only;
  int onlyCount = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--cache" && i + 1 < argc) {
      cachePages = static_cast<std::size_t>(std::atol(argv[++i]));
    } else if (arg == "--only" && i + 2 < argc) {
      only = argv[++i];
      onlyCount = std::atoi(argv[++i]);
    } else if (arg.starts_with("-")) {
      std::fprintf(stderr, "usage: bench_store [--cache PAGES] [--only store|flushed|filled|sqlite|sqlite-full COUNT] [DIR]\n");
      return 2;
    } else {
      dir = arg;
    }
  }
  if (!only.empty()) {
    sauno::TStoreSession flushing(nullptr);
    flushing.SetSessionName("flushing");
    flushing.ForceBufferFlush = true;
    TGameFigures f;
    if (only == "store") f = RunComponent(dir, onlyCount, "Default");
    else if (only == "flushed") f = RunComponent(dir, onlyCount, "flushing");
    else if (only == "filled") f = RunComponent(dir, onlyCount, "Default", 4096, 2000);
    else if (only == "sqlite") f = RunSqliteGame(dir, onlyCount, false);
    else if (only == "sqlite-full") f = RunSqliteGame(dir, onlyCount, true);
    else {
      std::fprintf(stderr, "bench_store: --only takes store, flushed, filled, sqlite or sqlite-full\n");
      return 2;
    }
    std::printf("%s %d inserts: %.9f s, one commit after them %.9f s, top ten %.9f s\n", only.c_str(), onlyCount,
                f.Inserts, f.PerCommit, f.TopTen);
    return 0;
  }
  std::printf("table store vs SQLite (WAL, synchronous=OFF, one transaction); index page cache %zu pages\n",
              cachePages);
  std::printf("%-10s %-12s %14s %14s %9s\n", "keys", "work", "store s", "sqlite s", "ratio");
  for (int count : {100000, 1000000}) {
    std::mt19937 random(7);
    std::vector<std::int32_t> keys(static_cast<std::size_t>(count));
    for (auto& k : keys) k = static_cast<std::int32_t>(random());
    TFigures s = RunStore(dir, keys, cachePages);
    TFigures q = RunSqlite(dir, keys);
    auto row = [&](const char* work, double a, double b) {
      std::printf("%-10d %-12s %14.9f %14.9f %9.2f\n", count, work, a, b, a > 0 ? b / a : 0.0);
    };
    row("build", s.Build, q.Build);
    row("scan", s.Scan, q.Scan);
    row("first ten", s.FirstTen, q.FirstTen);
    std::filesystem::remove(dir + "/bench.DAT");
    std::filesystem::remove(dir + "/bench.IDX");
    std::filesystem::remove(dir + "/bench.sqlite");
  }
  GameRows(dir);
  return 0;
}

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_store: %s\n", e.what());
    return 1;
  }
}
