// Byte-range locks between processes (a separate probe process tries to
// take a lock while this one holds others) and the bookkeeping of locks
// that share bytes within one holder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "RangeLocks.h"
#include "StoreError.h"
#include "TableLocks.h"
#include "TestSupport.h"

using namespace store;
using namespace store_test;

namespace {

class Locks : public ::testing::Test {
 protected:
  void SetUp() override {
    TTableDefinition def;
    def.Fields = {Field("aika", ftcInteger)};
    TDataFile::LayoutFields(def.Fields, "t");
    def.Primary.Fields = {1};
    Table.Create(Dir.Path(), "t", def);
    TRecordWriter writer(Table);
    for (int i = 1; i <= 3; ++i) {
      auto b = writer.NewBuffer();
      writer.SetInt(b, "aika", i);
      writer.Add(b);
    }
    Table.Close();
    Table.Open(Dir.Path(), "t", TAccess::acReadWrite, false);
  }
  // Exit status of the probe process.
  int Probe(const std::string& command, const std::string& what, const std::string& more = "") {
    std::string line = std::string(STORE_LOCK_PROBE) + " " + command + " " + Dir.Path() + " t " + what + " " + more;
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TScratchDir Dir;
  TTableFiles Table;
};

TEST_F(Locks, ReadersShareAndAWriterExcludesEveryone) {
  TTableLocks locks(Table.DataFile(), Table.IndexFile());
  EXPECT_EQ(Probe("lock", "write"), 0);
  locks.ReadLock();
  EXPECT_EQ(Probe("lock", "read"), 0);
  EXPECT_EQ(Probe("lock", "write"), 2);
  locks.ReadUnlock();
  locks.WriteLock();
  EXPECT_EQ(Probe("lock", "read"), 2);
  EXPECT_EQ(Probe("lock", "table"), 2);
  locks.WriteUnlock();
  EXPECT_EQ(Probe("lock", "write"), 0);
  locks.RecordLock(2);
  EXPECT_EQ(Probe("lock", "record:2"), 2);
  EXPECT_EQ(Probe("lock", "record:3"), 0);
  EXPECT_THROW(locks.RecordLock(2), EStoreEngineError);
  locks.RecordUnlock(2);
  EXPECT_EQ(Probe("lock", "record:2"), 0);
  try {
    locks.RecordUnlock(2);
    FAIL();
  } catch (const EStoreEngineError& e) {
    EXPECT_EQ(e.Code(), STORE_UNLOCKFAILED);
  }
}

TEST_F(Locks, SharedBytesStayLockedWhileAnyHolderNeedsThem) {
  TTableLocks locks(Table.DataFile(), Table.IndexFile());
  // The write range covers this table's own read byte.
  locks.ReadLock();
  locks.WriteLock();
  EXPECT_EQ(Table.IndexFile().LockModeAt(locks.ReadByte()), TLockMode::lmWrite);
  locks.WriteUnlock();
  EXPECT_EQ(Table.IndexFile().LockModeAt(locks.ReadByte()), TLockMode::lmRead);
  EXPECT_EQ(Probe("lock", "write"), 2);  // the read byte is still held
  EXPECT_EQ(Probe("lock", "read"), 0);
  locks.ReadUnlock();
  // The write lock and the table lock share the semaphore byte.
  locks.WriteLock();
  locks.TableLock();
  locks.WriteUnlock();
  EXPECT_EQ(Probe("lock", "table"), 2);
  EXPECT_EQ(Probe("lock", "read"), 0);  // the index range went with the write lock
  locks.WriteLock();
  locks.TableUnlock();
  EXPECT_EQ(Probe("lock", "table"), 2);
  locks.WriteUnlock();
  EXPECT_EQ(Probe("lock", "table"), 0);
  EXPECT_EQ(Probe("lock", "write"), 0);
}

TEST_F(Locks, ExclusiveUseBetweenProcesses) {
  EXPECT_EQ(Probe("open", "exclusive"), 2);  // this process has it open
  Table.Close();
  EXPECT_EQ(Probe("open", "exclusive"), 0);
  Table.Open(Dir.Path(), "t", TAccess::acReadWrite, true);
  EXPECT_EQ(Probe("open", "shared"), 2);
}

TEST_F(Locks, AnotherWriterIsNoticedThroughTheChangeCounters) {
  TRecordWriter writer(Table);
  EXPECT_EQ(GetI32(writer.Read(2), 10), 2);
  const std::uint32_t before = Table.IndexFile().Header().ChangeCounter();
  ASSERT_EQ(Probe("setint", "2", "10 99"), 0);
  EXPECT_EQ(GetI32(writer.Read(2), 10), 2);  // the cached copy
  EXPECT_TRUE(Table.DetectChanges());
  EXPECT_GT(Table.IndexFile().Header().ChangeCounter(), before);
  EXPECT_EQ(Table.DataFile().CachedRecords(), 0u);
  EXPECT_EQ(GetI32(writer.Read(2), 10), 99);
  EXPECT_FALSE(Table.DetectChanges());
}

TEST(RangeLockSet, OverlappingHoldsOfOneFileKeepWhatTheOthersNeed) {
  TScratchDir dir;
  const std::string path = dir.File("f");
  WriteFileBytes(path, {0});
  TFileHandler file("f");
  file.Open(path, TAccess::acReadWrite, false);
  EXPECT_TRUE(file.LockRange(1, 100, 10, TLockMode::lmRead));
  EXPECT_TRUE(file.LockRange(2, 105, 10, TLockMode::lmWrite));
  EXPECT_TRUE(file.LockRange(3, 108, 1, TLockMode::lmRead));
  EXPECT_EQ(file.LockModeAt(104), TLockMode::lmRead);
  EXPECT_EQ(file.LockModeAt(108), TLockMode::lmWrite);
  EXPECT_TRUE(file.UnlockRange(2));
  EXPECT_EQ(file.LockModeAt(108), TLockMode::lmRead);
  EXPECT_EQ(file.LockModeAt(112), TLockMode::lmNone);
  EXPECT_FALSE(file.UnlockRange(2));
  EXPECT_TRUE(file.UnlockRange(1));
  EXPECT_EQ(file.LockModeAt(108), TLockMode::lmRead);
  EXPECT_EQ(file.LockModeAt(100), TLockMode::lmNone);
}

}  // namespace
