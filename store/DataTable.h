// One open table of a directory, shared by every cursor of the session on
// it: its files, its use count, its open options, its locks and which
// cursor holds which record lock, change detection and commits.
//
// Contract: a table opened exclusively, or read-only because its files
// cannot be written, takes no locks at all. Taking the read, write or table
// lock compares the change counters with the files; whatever another
// process changed is then dropped from the caches and Generation() moves,
// as it does with every commit of this process, so that cursors know their
// positions must be found again.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "StoreExport.h"
#include "DataSession.h"
#include "TableFiles.h"
#include "TableLocks.h"

namespace store {

class TDataCursor;

// Raised by a read that found the table changed by another process; the
// navigation that was under way starts again from its bookmark.
struct SAUNO_STORE_EXPORT TTableChanged {};

class SAUNO_STORE_EXPORT TDataTable {
 public:
  TDataTable(TDataDirectory& directory, std::string name);
  ~TDataTable();
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // Opens and verifies the files (under the read lock when shared); a
  // missing index file is made and "Sys Deleted" rebuilt under the write lock.
  void Open(bool exclusive, bool readOnly);
  // Writes what an exclusive table deferred, releases every lock, closes the files.
  void Close();

  const std::string& Name() const { return TableName; }
  // The name errors carry: the data file's path.
  const std::string& ErrorName() { return Files.DataFile().TableName(); }
  TTableFiles& TableFiles() { return Files; }
  TDataDirectory& Directory() const { return Owner; }
  const TSessionSettings& Settings() const { return Owner.Session().Settings; }
  bool Exclusive() const { return IsExclusive; }
  bool ReadOnly() const { return IsReadOnly; }
  bool ReadOnlyMedia() const { return IsReadOnlyMedia; }
  bool Shared() const { return !IsExclusive && !IsReadOnlyMedia; }
  // Readers lock whenever the table is not exclusive, also when its files
  // cannot be written: other users may be writing them.
  bool LocksReads() const { return !IsExclusive; }
  int UseCount() const { return Users; }
  void AddUser() { ++Users; }
  bool RemoveUser() { return --Users == 0; }

  // Locks, each with change detection when taken.
  void ReadLock();
  void ReadUnlock();
  void WriteLock();
  void WriteUnlock();
  void TableLock();
  void TableUnlock();
  // STORE_RECLOCKFAILED when the record is locked already (by any cursor of
  // this table, or by another process past the session's retries).
  void RecordLock(std::int32_t recordNumber, const TDataCursor* owner);
  void RecordUnlock(std::int32_t recordNumber);
  const TDataCursor* RecordLockOwner(std::int32_t recordNumber) const;
  void ReleaseRecordLocks(const TDataCursor* owner);
  bool HoldsAnyLock() const;

  // Brackets a navigation: a read from the disk inside takes the read lock
  // first (always at the start with strict change detection), and a change
  // found there raises TTableChanged. The read lock goes with the scope.
  void BeginRead();
  void EndRead();
  // With no lock or the read lock held: a dead writer's unfinished commit
  // (the change counters differ) is repaired under the write lock, or
  // STORE_TABLEOPEN raised when this table may not write.
  void ResolvePendingCommit();

  // After a change: writes everything and moves the counters (shared), or
  // leaves the writing to Close (exclusive).
  void Commit();
  // Forgets the uncommitted changes of a failed operation and cuts the files
  // back to what their headers account for.
  void Rollback();
  std::uint64_t Generation() const { return ChangeGeneration; }

  // A batch of changes under one write lock: the write lock taken here stays
  // held until EndBatch, and the commits of the changes in between are
  // written together by CommitBatch and EndBatch instead of one by one.
  // Other processes cannot read the table meanwhile, so they see it before
  // the batch or after a CommitBatch, never in between. A failed change
  // forgets every change since the last CommitBatch.
  void BeginBatch();
  // Writes what the batch has changed so far (a commit of its own).
  void CommitBatch();
  // CommitBatch, then the write lock is released.
  void EndBatch();
  bool InBatch() const { return Batch; }
  bool BatchPending() const { return Batch && PendingChanges; }

 private:
  // The write lock of the protocol, with the files told that it is held.
  void TakeWriteLock();
  void GiveUpWriteLock();
  bool DetectChanges();
  // Under the write lock: what a writer that died inside a commit left.
  void RepairInterruptedCommit();

  void OnCacheMiss();
  TLockRetry Retry() const { return TLockRetry{}; }

  TDataDirectory& Owner;
  std::string TableName;
  TTableFiles Files;
  std::unique_ptr<TTableLocks> Locks;
  int Users = 0;
  bool IsExclusive = false;
  bool IsReadOnly = false;
  bool IsReadOnlyMedia = false;
  bool Opened = false;
  std::map<std::int32_t, const TDataCursor*> RecordOwners;
  std::uint64_t ChangeGeneration = 1;
  bool Batch = false;
  bool PendingChanges = false;  // changes of the batch not written yet
  int ReadScopes = 0;
  bool ScopeTookReadLock = false;
  bool InCacheMiss = false;
};

}  // namespace store
