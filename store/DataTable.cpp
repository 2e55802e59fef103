#include "DataTable.h"

#include "StoreError.h"

namespace store {

TDataTable::TDataTable(TDataDirectory& directory, std::string name) : Owner(directory), TableName(std::move(name)) {}

TDataTable::~TDataTable() {
  try {
    Close();
  } catch (...) {
  }
}

void TDataTable::Open(bool exclusive, bool readOnly) {
  const TSessionSettings& settings = Settings();
  Files.SetCacheLimits(settings.DataBufferBytes, settings.DataBufferRecords, settings.IndexBufferBytes);
  Files.OpenFiles(Owner.Path(), TableName, readOnly ? TAccess::acReadOnly : TAccess::acReadWrite, exclusive);
  IsExclusive = exclusive;
  IsReadOnlyMedia = Files.ReadOnly() && !readOnly;
  IsReadOnly = Files.ReadOnly();
  Locks = std::make_unique<TTableLocks>(Files.DataFile(), Files.IndexFile());
  try {
    if (LocksReads()) {
      Locks->ReadLock(Retry());
      // The headers were read before the lock; a writer may have moved them since.
      Files.DataFile().ReloadHeader();
      if (!Files.IndexCreated()) Files.IndexFile().ReloadHeader();
    }
    Files.DataFile().VerifyLayout();
    const bool made = Files.IndexCreated();
    if (!made) {
      Files.IndexFile().Verify(Files.DataFile().Fields());
      Files.IndexFile().Bind(Files.DataFile().Fields(), Files.DataFile().HeaderCopy().LanguageId(),
                             Files.DataFile().HeaderCopy().SortId());
    }
    // A writer that died inside a commit left its mark; a writer repairs
    // it here, a reader that cannot write meets it at its first read.
    const bool pending = !made && (IsReadOnly ? Files.CountersDiffer() : Files.CommitPending());
    if (!IsReadOnly && (made || pending)) {
      if (Shared()) {
        Locks->ReadUnlock();
        TakeWriteLock();
        // An index file just made has no header on disk yet to compare.
        if (made) Files.DataFile().ReloadHeader();
        else Files.DetectChanges();
      }
      if (made) {
        Files.VerifyOpened();
        Files.FillMadeIndex(settings.ForceBufferFlush);
      } else {
        Files.RepairInterruptedCommit(settings.ForceBufferFlush);
      }
    }
    if (!(IsReadOnly && pending)) Files.VerifyOpened();
    // Nothing reaches the files between two commits, shared or not: a full
    // cache grows instead of writing records and pages in place unmarked.
    if (!IsReadOnly) Files.DeferWrites(true);
    if (LocksReads()) {
      Locks->ReadUnlock();
      GiveUpWriteLock();
    }
  } catch (...) {
    Locks.reset();
    Files.Close();
    throw;
  }
  auto hook = [this] { OnCacheMiss(); };
  Files.DataFile().SetCacheMissHook(hook);
  Files.IndexFile().SetCacheMissHook(hook);
  Opened = true;
}

void TDataTable::Close() {
  if (!Opened) return;
  Opened = false;
  std::exception_ptr failure;
  try {
    if (IsExclusive && !IsReadOnly) Files.Commit(Settings().ForceBufferFlush);
    CommitBatch();
  } catch (...) {
    failure = std::current_exception();
  }
  Batch = false;
  RecordOwners.clear();
  try {
    Locks->ReleaseAll();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  Locks.reset();
  Files.Close();
  if (failure) std::rethrow_exception(failure);
}

bool TDataTable::DetectChanges() {
  if (!Files.DetectChanges()) return false;
  ++ChangeGeneration;
  return true;
}

void TDataTable::ResolvePendingCommit() {
  if (!Files.CountersDiffer()) return;
  // Under the read lock no writer is inside a commit: the mark is a dead
  // writer's, repaired under the write lock by whoever may write.
  if (IsReadOnly || !Shared()) RaiseStoreError(STORE_TABLEOPEN, ErrorName());
  const bool hadRead = Locks->HoldsRead();
  if (hadRead) Locks->ReadUnlock();
  std::exception_ptr failure;
  try {
    TakeWriteLock();
    try {
      DetectChanges();
      RepairInterruptedCommit();
    } catch (...) {
      failure = std::current_exception();
    }
    GiveUpWriteLock();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  ++ChangeGeneration;
  if (hadRead) {
    Locks->ReadLock(Retry());
    DetectChanges();
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::ReadLock() {
  if (!LocksReads() || HoldsAnyLock()) return;
  Locks->ReadLock(Retry());
  try {
    DetectChanges();
    ResolvePendingCommit();
  } catch (...) {
    Locks->ReadUnlock();
    throw;
  }
}

void TDataTable::ReadUnlock() {
  if (LocksReads()) Locks->ReadUnlock();
}

void TDataTable::TakeWriteLock() {
  Locks->WriteLock(Retry());
  try {
    Files.WriteLockHeld(true);
  } catch (...) {
    Locks->WriteUnlock();
    throw;
  }
}

void TDataTable::GiveUpWriteLock() {
  Files.WriteLockHeld(false);
  Locks->WriteUnlock();
}

void TDataTable::WriteLock() {
  if (!Shared() || Locks->HoldsWrite()) return;
  // The write range covers every read byte: a held read lock is given up
  // first, so that it does not stay behind when the write lock goes.
  const bool hadRead = Locks->HoldsRead();
  if (hadRead) Locks->ReadUnlock();
  TakeWriteLock();
  if (hadRead) ScopeTookReadLock = false;
  try {
    const bool changed = DetectChanges();
    if (changed || Files.CountersDiffer()) RepairInterruptedCommit();
  } catch (...) {
    GiveUpWriteLock();
    throw;
  }
}

void TDataTable::RepairInterruptedCommit() {
  if (IsReadOnly) return;
  if (Files.RepairInterruptedCommit(Settings().ForceBufferFlush)) ++ChangeGeneration;
}

void TDataTable::WriteUnlock() {
  // Inside a batch the write lock belongs to the batch.
  if (Shared() && !Batch) GiveUpWriteLock();
}

void TDataTable::TableLock() {
  if (!Shared() || Locks->HoldsTable()) return;
  Locks->TableLock(Retry());
  Files.DataFile().SetTableLocked(true);
  DetectChanges();
}

void TDataTable::TableUnlock() {
  if (!Shared()) return;
  Files.DataFile().SetTableLocked(false);
  Locks->TableUnlock();
}

void TDataTable::RecordLock(std::int32_t recordNumber, const TDataCursor* owner) {
  if (RecordOwners.count(recordNumber)) RaiseStoreError(STORE_RECLOCKFAILED, ErrorName());
  if (Shared()) Locks->RecordLock(recordNumber, Settings().LockRetryCount, Settings().LockWaitTime);
  RecordOwners[recordNumber] = owner;
}

void TDataTable::RecordUnlock(std::int32_t recordNumber) {
  if (!RecordOwners.erase(recordNumber)) RaiseStoreError(STORE_UNLOCKFAILED, ErrorName());
  if (Shared()) Locks->RecordUnlock(recordNumber);
}

const TDataCursor* TDataTable::RecordLockOwner(std::int32_t recordNumber) const {
  auto at = RecordOwners.find(recordNumber);
  return at == RecordOwners.end() ? nullptr : at->second;
}

void TDataTable::ReleaseRecordLocks(const TDataCursor* owner) {
  std::vector<std::int32_t> mine;
  for (const auto& [number, holder] : RecordOwners)
    if (holder == owner) mine.push_back(number);
  for (std::int32_t number : mine) RecordUnlock(number);
}

bool TDataTable::HoldsAnyLock() const {
  return Locks && (Locks->HoldsRead() || Locks->HoldsWrite() || Locks->HoldsTable());
}

void TDataTable::BeginRead() {
  if (ReadScopes++ > 0 || !LocksReads()) return;
  ScopeTookReadLock = false;
  if (Settings().StrictChangeDetection && !HoldsAnyLock()) {
    Locks->ReadLock(Retry());
    ScopeTookReadLock = true;
    DetectChanges();
    ResolvePendingCommit();
  }
}

void TDataTable::EndRead() {
  if (--ReadScopes > 0 || !LocksReads()) return;
  if (ScopeTookReadLock) {
    ScopeTookReadLock = false;
    Locks->ReadUnlock();
  }
}

void TDataTable::OnCacheMiss() {
  if (ReadScopes == 0 || InCacheMiss || !LocksReads() || HoldsAnyLock()) return;
  InCacheMiss = true;
  try {
    Locks->ReadLock(Retry());
    ScopeTookReadLock = true;
    const bool changed = DetectChanges();
    InCacheMiss = false;
    // A half-written index is never walked: the navigation starts again,
    // after the dead writer's commit is completed (see ResolvePendingCommit).
    if (changed || Files.CountersDiffer()) throw TTableChanged{};
  } catch (...) {
    InCacheMiss = false;
    throw;
  }
}

void TDataTable::Commit() {
  ++ChangeGeneration;
  // An exclusive table commits each change as a shared one does, so that a
  // failed change undoes only itself and a kill leaves every posted change.
  if (IsReadOnly) return;
  if (Batch) {
    PendingChanges = true;
    return;
  }
  Files.ReserveCommitSpace();
  Files.Commit(Settings().ForceBufferFlush);
}

void TDataTable::BeginBatch() {
  if (Batch) return;
  WriteLock();
  Batch = true;
  PendingChanges = false;
}

void TDataTable::CommitBatch() {
  if (!Batch || !PendingChanges || IsReadOnly) return;
  try {
    Files.ReserveCommitSpace();
    Files.Commit(Settings().ForceBufferFlush);
  } catch (...) {
    Rollback();
    throw;
  }
  PendingChanges = false;
}

void TDataTable::EndBatch() {
  if (!Batch) return;
  std::exception_ptr failure;
  try {
    CommitBatch();
  } catch (...) {
    failure = std::current_exception();
  }
  Batch = false;
  PendingChanges = false;
  if (Shared()) {
    try {
      GiveUpWriteLock();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::Rollback() {
  ++ChangeGeneration;
  PendingChanges = false;
  // Changes reach the files only through a commit, which undoes itself when
  // it fails: the caches and headers go back to the files, and what was
  // committed before stays.
  Files.Revert();
}

}  // namespace store
