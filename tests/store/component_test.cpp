// The table component on real files: the dataset rules the game relies on,
// read-only files, a missing directory, a unique-index violation, a failed
// write and a full disk, exclusive use and record locks held elsewhere.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "ComponentSupport.h"
#include "StoreClasses.h"
#include "StoreSession.h"
#include "runtime/forms.h"
#include "runtime/timer.h"
#include "StoreError.h"
#include "TableCheck.h"
#include "WriteFaults.h"

using namespace store_test;
using sauno::TDataSetState;
using sauno::TStoreTable;
using store::EStoreEngineError;

// Allocation failure on demand: with a count set, the allocation that many from now on this
// thread fails. Everything else goes to the heap as usual.
namespace {
thread_local long allocationsBeforeFailure = -1;
}  // namespace

void* operator new(std::size_t size) {
  if (allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

int EngineCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const EStoreEngineError& e) {
    return e.Code();
  }
  return 0;
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

void Add(TStoreTable& t, const std::string& name, int seconds) {
  t.Insert();
  t.FieldByName("nimi")->SetAsString(name);
  t.FieldByName("aika")->SetAsInteger(seconds);
  t.Post();
}

std::vector<std::string> Walk(TStoreTable& t) {
  std::vector<std::string> lines;
  for (t.First(); !t.Eof(); t.Next())
    lines.push_back(t.FieldByName("nimi")->AsString() + ":" + std::to_string(t.FieldByName("aika")->AsInteger()));
  return lines;
}

// Points `t` at the game's table in `dir`, opened exclusively, in the session named.
void AimAtScoresExclusively(TStoreTable& t, const std::string& dir, const std::string& session = "Default") {
  t.DatabaseName = dir;
  t.SessionName = session;
  t.TableName = "enkat";
  t.IndexName = "aika";
  t.Exclusive = true;
}

bool Verifies(const std::string& dir) { return RunTool("verify " + dir + " enkat").Out == "ok\n"; }

}  // namespace

TEST(StoreTable, InsertThenFirstWritesOneRecordAndAnUntouchedInsertNothing) {
  TScratchDir dir;
  MakeScores(dir.Path());
  auto t = OpenScores(dir.Path());
  EXPECT_TRUE(t->Eof());
  t->Insert();
  EXPECT_EQ(t->State(), TDataSetState::dsInsert);
  t->FieldByName("nimi")->SetAsString("liisa");
  t->FieldByName("aika")->SetAsInteger(30);
  t->First();  // posts
  EXPECT_EQ(t->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(t->RecordCount(), 1);
  t->Insert();
  t->First();  // nothing assigned: cancelled
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(ListLines(dir.Path()), std::vector<std::string>{"liisa\t30"});
  EXPECT_EQ(MessageOf([&] { t->FieldByName("ika"); }), "Field 'ika' not found");
  EXPECT_EQ(MessageOf([&] { t->FieldByName("nimi")->SetAsString("x"); }), "Table is not in edit or insert mode.");
}

TEST(StoreTable, BlankNamesReadBackEmptyAndTheEndKeepsTheLastRecord) {
  TScratchDir dir;
  MakeScores(dir.Path());
  auto t = OpenScores(dir.Path());
  Add(*t, "    ", 10);
  Add(*t, "pekka", 42);
  Add(*t, "liisa", 42);
  Add(*t, std::string(60, 'x'), 5);
  EXPECT_EQ(Walk(*t), (std::vector<std::string>{"pekka:42", "liisa:42", ":10", std::string(40, 'x') + ":5"}));
  // After the last record the dataset stays on it.
  t->Next();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->FieldByName("aika")->AsInteger(), 5);
  t->First();
  t->Next();
  t->Next();
  EXPECT_TRUE(t->FieldByName("nimi")->IsNull());
  EXPECT_EQ(t->FieldByName("nimi")->AsString(), "");
  EXPECT_EQ(ListLines(dir.Path())[2], "\t10");
}

TEST(StoreTable, EditAndDeleteThroughTheDataset) {
  TScratchDir dir;
  MakeScores(dir.Path());
  auto t = OpenScores(dir.Path());
  for (int i = 1; i <= 5; ++i) Add(*t, "p" + std::to_string(i), i * 10);
  t->First();  // p5:50
  t->Next();   // p4:40
  t->Edit();
  t->FieldByName("aika")->SetAsInteger(99);
  t->Post();
  EXPECT_EQ(Walk(*t), (std::vector<std::string>{"p4:99", "p5:50", "p3:30", "p2:20", "p1:10"}));
  t->First();
  t->Next();
  t->Delete();  // p5; the dataset moves on to p3
  EXPECT_EQ(t->FieldByName("nimi")->AsString(), "p3");
  EXPECT_EQ(Walk(*t), (std::vector<std::string>{"p4:99", "p3:30", "p2:20", "p1:10"}));
  EXPECT_EQ(t->RecordCount(), 4);
  // Backwards, in the index and in record order.
  t->Last();
  EXPECT_EQ(t->FieldByName("nimi")->AsString(), "p1");
  t->Prior();
  EXPECT_EQ(t->FieldByName("nimi")->AsString(), "p2");
  t->Close();
  t->IndexName = "";
  t->Open();
  t->Last();
  EXPECT_EQ(t->FieldByName("nimi")->AsString(), "p4");
  t->Prior();
  t->Prior();
  t->Prior();
  EXPECT_EQ(t->FieldByName("nimi")->AsString(), "p1");
  t->Prior();
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(t->FieldByName("nimi")->AsString(), "p1");
  t->Close();
  EXPECT_TRUE(Verifies(dir.Path()));
}

TEST(StoreTable, AUniqueViolationKeepsTheInsertAndTheFiles) {
  TScratchDir dir;
  ASSERT_EQ(RunTool("create " + dir.Path() + " enkat nimi:string:40 aika:integer --index aika=aika-:unique").Status, 0);
  auto t = OpenScores(dir.Path());
  Add(*t, "liisa", 30);
  const auto data = ReadFileBytes(dir.File("enkat.DAT"));
  const auto index = ReadFileBytes(dir.File("enkat.IDX"));
  t->Insert();
  t->FieldByName("nimi")->SetAsString("pekka");
  t->FieldByName("aika")->SetAsInteger(30);
  EXPECT_EQ(EngineCode([&] { t->First(); }), store::STORE_KEYVIOL);
  EXPECT_EQ(t->State(), TDataSetState::dsInsert);
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.DAT")), data);
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.IDX")), index);
  t->FieldByName("aika")->SetAsInteger(31);
  t->Post();
  EXPECT_EQ(Walk(*t), (std::vector<std::string>{"pekka:31", "liisa:30"}));
}

TEST(StoreTable, MissingDirectoryAndMissingIndexName) {
  TScratchDir dir;
  const std::string missing = dir.Path() + "/nowhere";
  std::string message;
  EXPECT_EQ(EngineCode([&] {
              try {
                OpenScores(missing);
              } catch (const std::exception& e) {
                message = e.what();
                throw;
              }
            }),
            store::STORE_OSENOENT);
  EXPECT_EQ(message, "Table Store Engine Error # 11010 Table '" + missing + "/enkat.DAT' does not exist");
  MakeScores(dir.Path());
  EXPECT_EQ(EngineCode([&] { OpenScores(dir.Path(), "aikaa"); }), store::STORE_INVALIDINDEXNAME);
  TStoreTable unnamed(nullptr);
  unnamed.DatabaseName = dir.Path();
  EXPECT_EQ(MessageOf([&] { unnamed.Open(); }), "Missing table name.");
}

// Running out of memory anywhere in an open is one clear error, and the table is left as if
// the open had never been tried: closed, no files or locks held, the next open as usual.
TEST(StoreTable, AnOpenThatRunsOutOfMemoryIsOneClearErrorAndHoldsNothing) {
  TScratchDir dir;
  MakeScores(dir.Path());
  { Add(*OpenScores(dir.Path()), "kept", 7); }
  sauno::TStoreSession session(nullptr);
  session.SetSessionName("Other");
  auto openedElsewhere = [&] {
    TStoreTable other(nullptr);
    AimAtScoresExclusively(other, dir.Path(), "Other");
    other.Open();
    return Walk(other) == std::vector<std::string>{"kept:7"};
  };
  int handleErrors = 0;
  for (long n = 0;; ++n) {
    ASSERT_LT(n, 100000) << "the open never succeeded";
    TStoreTable table(nullptr);
    AimAtScoresExclusively(table, dir.Path());
    std::string failure;
    allocationsBeforeFailure = n;
    try {
      table.Open();
    } catch (const std::bad_alloc&) {
      failure = "allocation";  // before the table's own work: the framework's
    } catch (const EStoreEngineError& e) {
      failure = e.what();
    } catch (const sauno::EDatabaseError& e) {
      failure = e.what();
      ++handleErrors;
    }
    allocationsBeforeFailure = -1;
    if (failure.empty()) {
      EXPECT_EQ(Walk(table), std::vector<std::string>{"kept:7"});
      break;
    }
    EXPECT_FALSE(table.Active()) << n;
    EXPECT_TRUE(failure == "allocation" || failure == "Error creating table handle.") << n << ": " << failure;
    // The failed open holds nothing, not even while its component lives on.
    try {
      EXPECT_TRUE(openedElsewhere()) << n;
    } catch (const std::exception& e) {
      ADD_FAILURE() << "after failure " << n << " (" << failure << "): " << e.what();
    }
  }
  EXPECT_GT(handleErrors, 0);
  EXPECT_TRUE(Verifies(dir.Path()));
}

TEST(StoreTable, ReadOnlyFilesOpenShowTheirRecordsAndRefuseInsert) {
  TScratchDir dir;
  MakeScores(dir.Path());
  ASSERT_EQ(RunTool("insert " + dir.Path() + " enkat nimi=liisa aika=30").Status, 0);
  ::chmod(dir.File("enkat.DAT").c_str(), 0444);
  ::chmod(dir.File("enkat.IDX").c_str(), 0444);
  auto t = OpenScores(dir.Path());
  EXPECT_TRUE(t->ReadOnly);
  EXPECT_EQ(Walk(*t), std::vector<std::string>{"liisa:30"});
  EXPECT_EQ(MessageOf([&] { t->Insert(); }), "Cannot modify a read-only dataset");
  EXPECT_EQ(t->State(), TDataSetState::dsBrowse);
}

TEST(StoreTable, AFailedWriteLeavesTheTableAsItWas) {
  TScratchDir dir;
  MakeScores(dir.Path());
  auto t = OpenScores(dir.Path());
  Add(*t, "liisa", 30);
  const auto data = ReadFileBytes(dir.File("enkat.DAT"));
  const auto index = ReadFileBytes(dir.File("enkat.IDX"));
  for (std::uint64_t failing : {1, 2, 3, 4}) {
    store::SetWriteFaults({failing, 0});
    t->Insert();
    t->FieldByName("aika")->SetAsInteger(40);
    EXPECT_EQ(EngineCode([&] { t->Post(); }), store::STORE_WRITEERR) << "write " << failing;
    store::SetWriteFaults({});
    EXPECT_EQ(t->State(), TDataSetState::dsInsert);
    t->Cancel();
    if (failing == 1) {
      EXPECT_EQ(ReadFileBytes(dir.File("enkat.DAT")), data);
      EXPECT_EQ(ReadFileBytes(dir.File("enkat.IDX")), index);
    }
    // Whatever write failed, the next writer finds the table whole again.
    EXPECT_EQ(Walk(*t), std::vector<std::string>{"liisa:30"}) << "write " << failing;
  }
  Add(*t, "pekka", 42);
  EXPECT_EQ(Walk(*t), (std::vector<std::string>{"pekka:42", "liisa:30"}));
  t->Close();
  EXPECT_TRUE(Verifies(dir.Path()));
}

TEST(StoreTable, AFullDiskReportsTheErrorAndLosesNothing) {
  TScratchDir dir;
  const std::string small = dir.File("small");
  std::filesystem::create_directory(small);
  // A small ext4 file system where one can be made (it keeps blocks
  // allocated past a file's end, as the disks of players' machines do),
  // else a small memory file system.
  const std::string image = dir.File("small.img");
  const bool ext4 = std::system(("truncate -s 400k " + image + " && mkfs.ext4 -q " + image + " 2>/dev/null && mount -o loop " +
                                 image + " " + small + " 2>/dev/null")
                                    .c_str()) == 0;
  if (!ext4 && ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no small file system to fill";
  struct Unmount {
    std::string Path;
    ~Unmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{small};
  MakeScores(small);
  auto t = OpenScores(small);
  int stored = 0;
  std::vector<std::uint8_t> data, index;
  for (;; ++stored) {
    data = ReadFileBytes(small + "/enkat.DAT");
    index = ReadFileBytes(small + "/enkat.IDX");
    t->Insert();
    t->FieldByName("nimi")->SetAsString(std::string(40, 'a' + stored % 26));
    t->FieldByName("aika")->SetAsInteger(stored);
    const int code = EngineCode([&] { t->Post(); });
    if (code == 0) continue;
    EXPECT_EQ(code, store::STORE_WRITEERR);
    break;
  }
  ASSERT_GT(stored, 100);
  EXPECT_EQ(t->State(), TDataSetState::dsInsert);
  t->Cancel();
  EXPECT_EQ(ReadFileBytes(small + "/enkat.DAT"), data);
  EXPECT_EQ(ReadFileBytes(small + "/enkat.IDX"), index);
  // Space allocated ahead for the commit that failed is given back (one
  // block of slack for the file system's own bookkeeping).
  for (const char* name : {"/enkat.DAT", "/enkat.IDX"}) {
    struct stat st {};
    ASSERT_EQ(::stat((small + name).c_str(), &st), 0);
    EXPECT_LE(static_cast<long long>(st.st_blocks) * 512, (st.st_size + 4095) / 4096 * 4096 + 4096) << name;
  }
  EXPECT_EQ(t->RecordCount(), stored);
  t->Close();
  EXPECT_TRUE(Verifies(small));
  EXPECT_EQ(ListLines(small).size(), static_cast<std::size_t>(stored));
}

TEST(StoreTable, ExclusiveUseAndRecordLocksHeldElsewhere) {
  TScratchDir dir;
  MakeScores(dir.Path());
  {
    TChild holder(ProbeArgs("hold", dir.Path(), "exclusive", 3000));
    ASSERT_EQ(holder.ReadLine(), "ready");
    EXPECT_EQ(EngineCode([&] { OpenScores(dir.Path()); }), store::STORE_OSEACCES);
  }
  auto t = OpenScores(dir.Path());
  EXPECT_EQ(EngineCode([&] {
              TStoreTable other(nullptr);
              other.DatabaseName = dir.Path();
              other.TableName = "enkat";
              other.Exclusive = true;
              other.Open();
            }),
            store::STORE_OSEACCES);
  Add(*t, "liisa", 30);
  t->Close();

  sauno::TStoreSession quick(nullptr);
  quick.SetSessionName("quick");
  quick.LockRetryCount = 2;
  quick.LockWaitTime = 10;
  TChild holder(ProbeArgs("hold", dir.Path(), "record:1", 3000));
  ASSERT_EQ(holder.ReadLine(), "ready");
  auto q = OpenScores(dir.Path(), "aika", "quick");
  EXPECT_EQ(EngineCode([&] { q->Edit(); }), store::STORE_RECLOCKFAILED);
  EXPECT_EQ(q->State(), TDataSetState::dsBrowse);
}

// A batch under one write lock: nothing reaches the files before its commit,
// however far its changes outgrow the caches, and its commit writes them all.
// A change that fails inside the batch undoes every change since the last
// commit of the batch, and no more.
TEST(StoreTable, ABatchReachesTheFilesOnlyWithItsCommit) {
  TScratchDir dir;
  MakeScores(dir.Path());
  auto t = OpenScores(dir.Path());
  Add(*t, "ensin", 1);
  const auto data = ReadFileBytes(dir.File("enkat.DAT"));
  const auto index = ReadFileBytes(dir.File("enkat.IDX"));
  store::TDataTable& engine = t->Cursor().DataTable();
  engine.BeginBatch();
  for (int i = 0; i < 3000; ++i) Add(*t, "b" + std::to_string(i), i % 600);
  EXPECT_TRUE(engine.BatchPending());
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.DAT")), data);
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.IDX")), index);
  engine.CommitBatch();
  EXPECT_FALSE(engine.BatchPending());
  {
    // verify would wait for the write lock the batch still holds; the files
    // are checked as they stand.
    store::TTableFiles files;
    files.Open(dir.Path(), "enkat", store::TAccess::acReadOnly, false);
    EXPECT_EQ(store::CheckTable(files), std::vector<std::string>{});
  }
  const auto committed = ReadFileBytes(dir.File("enkat.DAT"));

  Add(*t, "kesken", 7);
  store::SetWriteFaults({1, 0});
  EXPECT_EQ(EngineCode([&] { engine.EndBatch(); }), store::STORE_WRITEERR);
  store::SetWriteFaults({});
  EXPECT_FALSE(engine.InBatch());
  EXPECT_EQ(ReadFileBytes(dir.File("enkat.DAT")), committed);
  EXPECT_EQ(t->RecordCount(), 3001);
  Add(*t, "viimeinen", 599);
  t->First();
  EXPECT_EQ(t->FieldByName("aika")->AsInteger(), 599);
  t->Close();
  EXPECT_TRUE(Verifies(dir.Path()));
}

// An exclusive table defers its writes to its close; an insert refused
// because the table is full must not take the deferred ones with it. The
// table stands two slots short of the 4,000,000,000-byte limit, as a sparse
// file of empty slots.
TEST(StoreTable, AFullExclusiveTableKeepsTheChangesItHasNotWrittenYet) {
  TScratchDir dir;
  MakeScores(dir.Path());
  const std::string path = dir.File("enkat.DAT");
  std::vector<std::uint8_t> header = ReadFileBytes(path);
  const std::uint64_t recordSize = header[21] | (header[22] << 8);
  const std::uint64_t slots = (store::MaxFileBytes - header.size()) / recordSize - 2;
  const auto next = static_cast<std::uint32_t>(slots + 1);
  for (int i = 0; i < 4; ++i) header[13 + i] = static_cast<std::uint8_t>(next >> (8 * i));
  const std::uint64_t length = header.size() + slots * recordSize;
  WriteFileBytes(path, header);
  std::filesystem::resize_file(path, length);

  TStoreTable t(nullptr);
  AimAtScoresExclusively(t, dir.Path());
  t.Open();
  Add(t, "eka", 1);
  Add(t, "toka", 2);
  t.Insert();
  t.FieldByName("aika")->SetAsInteger(3);
  EXPECT_EQ(EngineCode([&] { t.Post(); }), store::STORE_TABLEFULL);
  EXPECT_EQ(t.State(), TDataSetState::dsInsert);
  t.Cancel();
  t.Close();
  EXPECT_EQ(std::filesystem::file_size(path), length + 2 * recordSize);
  auto shared = OpenScores(dir.Path());
  EXPECT_EQ(Walk(*shared), (std::vector<std::string>{"toka:2", "eka:1"}));
}

// The index definitions as the index file has them; a field list selects
// the index whose key has those fields, without regard to case or blanks.
TEST(StoreTable, IndexDefsDescribeTheIndexesAndFieldListsSelectThem) {
  TScratchDir dir;
  MakeScores(dir.Path());
  auto t = OpenScores(dir.Path(), "");
  ASSERT_EQ(t->IndexDefs.size(), 1u);  // the game's table has no primary-index fields
  const sauno::TIndexDef& aika = t->IndexDefs[0];
  EXPECT_EQ(aika.Name, "aika");
  EXPECT_EQ(aika.Fields, "aika");
  EXPECT_EQ(aika.FieldDescending, std::vector<bool>{true});
  EXPECT_FALSE(aika.Primary || aika.Unique || aika.CaseInsensitive);
  Add(*t, "lyhyt", 10);
  Add(*t, "pitka", 90);
  t->Close();
  t->IndexFieldNames = " AIKA ";
  t->Open();
  EXPECT_EQ(Walk(*t), (std::vector<std::string>{"pitka:90", "lyhyt:10"}));
  t->Close();
  t->IndexFieldNames = "nimi";
  EXPECT_EQ(EngineCode([&] { t->Open(); }), store::STORE_INVALIDINDEXNAME);
}

// Integer fields of every width read back as their numbers; NULL reads 0;
// a value an integer cannot hold, or a text that is no number, is refused.
TEST(StoreTable, IntegerFieldsReadAsNumbersWhateverTheirWidth) {
  TScratchDir dir;
  store::TTableDefinition def;
  def.Fields = {Field("s", store::ftcSmallint), Field("w", store::ftcWord), Field("l", store::ftcLargeint),
                Field("x", store::ftcString, 0, 10)};
  store::TDataFile::LayoutFields(def.Fields, "n");
  {
    store::TTableFiles files;
    files.Create(dir.Path(), "n", def);
  }
  TStoreTable t(nullptr);
  t.DatabaseName = dir.Path();
  t.TableName = "n";
  t.Open();
  auto add = [&](const char* s, const char* w, const char* l, const char* x) {
    t.Insert();
    t.FieldByName("s")->SetAsString(s);
    t.FieldByName("w")->SetAsString(w);
    t.FieldByName("l")->SetAsString(l);
    t.FieldByName("x")->SetAsString(x);
    t.Post();
  };
  add("-5", "65000", "-2147483648", "12");
  add("", "", "", "kaksi");
  add("32767", "0", "4294967296", "");
  t.First();
  EXPECT_EQ(t.FieldByName("s")->AsInteger(), -5);
  EXPECT_EQ(t.FieldByName("w")->AsInteger(), 65000);
  EXPECT_EQ(t.FieldByName("l")->AsInteger(), INT32_MIN);
  EXPECT_EQ(t.FieldByName("x")->AsInteger(), 12);
  t.Next();
  EXPECT_EQ(t.FieldByName("s")->AsInteger(), 0);
  EXPECT_EQ(t.FieldByName("l")->AsInteger(), 0);
  EXPECT_EQ(MessageOf([&] { t.FieldByName("x")->AsInteger(); }), "'kaksi' is not a valid integer value");
  t.Next();
  EXPECT_EQ(t.FieldByName("s")->AsInteger(), 32767);
  EXPECT_EQ(MessageOf([&] { t.FieldByName("l")->AsInteger(); }), "'4294967296' is not a valid integer value");
}

// A session and a table as a description gives them: the settings reach the
// engine session at activation, the five cache limits with them, and a
// table with AutoDisplayLabels labels its fields by their descriptions.
TEST(StoreTable, DescribedSettingsReachTheEngineAndLabelsComeFromDescriptions) {
  sauno::RegisterRuntimeClasses();
  sauno::RegisterStoreClasses();
  sauno::TCustomForm form(nullptr);
  form.ReadDescription(R"(TCustomForm Form1 {
    TStoreSession Session1 {
      SessionName = "Described"
      AutoSessionName = true
      LockProtocol = lpOptimistic
      ProgressSteps = 5
      SessionType = stRemote
      ForceBufferFlush = true
    }
  })");
  auto* session = dynamic_cast<sauno::TStoreSession*>(form.FindComponent("Session1"));
  ASSERT_TRUE(session);
  EXPECT_TRUE(session->AutoSessionName);
  EXPECT_EQ(session->SessionType, sauno::TSessionType::stRemote);
  session->IndexBufferBytes = 5 * 8192;
  session->BlobBufferBlocks = 100;
  const store::TSessionSettings& engine = session->Engine().Settings;
  EXPECT_EQ(engine.LockProtocol, store::TLockProtocol::lpOptimistic);
  EXPECT_EQ(engine.ProgressSteps, 5);
  EXPECT_TRUE(engine.ForceBufferFlush);
  EXPECT_EQ(engine.DataBufferBytes, 16384u);
  EXPECT_EQ(engine.DataBufferRecords, 8192u);
  EXPECT_EQ(engine.IndexBufferBytes, 5u * 8192);
  EXPECT_EQ(engine.BlobBufferBytes, 32768u);
  EXPECT_EQ(engine.BlobBufferBlocks, 100u);
  sauno::TCustomForm bad(nullptr);
  EXPECT_THROW(bad.ReadDescription("TCustomForm F {\n TStoreSession S { LockProtocol = lpSometimes }\n}"),
               std::exception);

  TScratchDir dir;
  ASSERT_EQ(RunTool("create " + dir.Path() + " t nimi:string:20 aika:integer").Status, 0);
  auto data = ReadFileBytes(dir.File("t.DAT"));
  const std::string label = "Time in sauna";
  data[127 + 768 + 33] = static_cast<std::uint8_t>(label.size());
  std::copy(label.begin(), label.end(), data.begin() + 127 + 768 + 34);
  WriteFileBytes(dir.File("t.DAT"), data);
  for (const bool automatic : {false, true}) {
    TStoreTable t(nullptr);
    t.DatabaseName = dir.Path();
    t.TableName = "t";
    t.AutoDisplayLabels = automatic;
    t.Open();
    EXPECT_EQ(t.FieldByName("nimi")->DisplayLabel, "nimi");
    EXPECT_EQ(t.FieldByName("aika")->DisplayLabel, automatic ? label : "aika");
  }
}
