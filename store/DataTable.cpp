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
    if (Shared()) {
      Locks->ReadLock(Retry());
      // The headers were read before the lock; a writer may have moved them since.
      Files.DataFile().ReloadHeader();
      if (!Files.IndexCreated()) Files.IndexFile().ReloadHeader();
    }
    try {
      Files.VerifyOpened();
    } catch (const EStoreEngineError& e) {
      // A writer that died while appending leaves the data file too long.
      if (e.Code() != STORE_HEADERCORRUPT || IsReadOnly) throw;
      if (Shared()) {
        Locks->ReadUnlock();
        Locks->WriteLock(Retry());
        Files.DataFile().ReloadHeader();
      }
      if (!Files.CutInterruptedAppend()) throw;
      Files.VerifyOpened();
    }
    const bool rebuild = !IsReadOnly && (Files.IndexCreated() || Files.IndexLags());
    if (rebuild && Shared() && !Locks->HoldsWrite()) {
      Locks->ReadUnlock();
      Locks->WriteLock(Retry());
      // An index file just made has no header on disk yet to compare.
      if (Files.IndexCreated()) Files.DataFile().ReloadHeader();
      else Files.DetectChanges();
    }
    if (rebuild && Files.IndexCreated()) {
      Files.FillMadeIndex(Settings().ForceBufferFlush);
    } else if (rebuild && Files.IndexLags()) {
      Files.RebuildIndexes(Settings().ForceBufferFlush);
    }
    if (Shared()) {
      Locks->ReadUnlock();
      Locks->WriteUnlock();
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

void TDataTable::ReadLock() {
  if (!Shared() || HoldsAnyLock()) return;
  Locks->ReadLock(Retry());
  DetectChanges();
}

void TDataTable::ReadUnlock() {
  if (Shared()) Locks->ReadUnlock();
}

void TDataTable::WriteLock() {
  if (!Shared() || Locks->HoldsWrite()) return;
  // The write range covers every read byte: a held read lock is given up
  // first, so that it does not stay behind when the write lock goes.
  const bool hadRead = Locks->HoldsRead();
  if (hadRead) Locks->ReadUnlock();
  Locks->WriteLock(Retry());
  if (hadRead) ScopeTookReadLock = false;
  // A writer that died inside its commit moved at most the data counter; one
  // that died appending moved nothing, and the next append covers its slot.
  if (DetectChanges()) RepairInterruptedCommit();
  Before = Files.DataFile().HeaderCopy();
}

void TDataTable::RepairInterruptedCommit() {
  if (IsReadOnly) return;
  const bool cut = Files.CutInterruptedAppend();
  if (!Files.IndexLags()) {
    if (cut) ++ChangeGeneration;
    return;
  }
  Files.RebuildIndexes(Settings().ForceBufferFlush);
  ++ChangeGeneration;
}

void TDataTable::WriteUnlock() {
  // Inside a batch the write lock belongs to the batch.
  if (Shared() && !Batch) Locks->WriteUnlock();
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
  if (ReadScopes++ > 0 || !Shared()) return;
  ScopeTookReadLock = false;
  if (Settings().StrictChangeDetection && !HoldsAnyLock()) {
    Locks->ReadLock(Retry());
    ScopeTookReadLock = true;
    DetectChanges();
  }
}

void TDataTable::EndRead() {
  if (--ReadScopes > 0 || !Shared()) return;
  if (ScopeTookReadLock) {
    ScopeTookReadLock = false;
    Locks->ReadUnlock();
  }
}

void TDataTable::OnCacheMiss() {
  if (ReadScopes == 0 || InCacheMiss || !Shared() || HoldsAnyLock()) return;
  InCacheMiss = true;
  try {
    Locks->ReadLock(Retry());
    ScopeTookReadLock = true;
    const bool changed = Files.DetectChanges();
    InCacheMiss = false;
    if (changed) {
      ++ChangeGeneration;
      throw TTableChanged{};
    }
  } catch (...) {
    InCacheMiss = false;
    throw;
  }
}

void TDataTable::Commit() {
  ++ChangeGeneration;
  if (!Shared()) return;
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
  if (Shared()) Files.DeferWrites(true);
}

void TDataTable::CommitBatch() {
  if (!Batch || !PendingChanges || !Shared()) return;
  try {
    Files.ReserveCommitSpace();
    Files.Commit(Settings().ForceBufferFlush);
  } catch (...) {
    Rollback();
    throw;
  }
  PendingChanges = false;
  Before = Files.DataFile().HeaderCopy();
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
    Files.DeferWrites(false);
    try {
      Locks->WriteUnlock();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::Rollback() {
  ++ChangeGeneration;
  PendingChanges = false;
  Files.Revert();
  if (IsReadOnly) return;
  TDataFile& data = Files.DataFile();
  if (Shared() && data.HeaderCopy().ChangeCounter() != Before.ChangeCounter()) {
    // The commit failed after the data header went out: it is put back, the
    // slot cut off, and the indexes (some of whose pages may have been
    // written) are built again from the records. The header goes back one
    // commit ahead of the index file as it is on disk, the mark of an index
    // to rebuild, so that dying here leaves the repair to the next writer.
    TDataHeader restored = Before;
    restored.SetChangeCounter(Files.IndexFile().Header().ChangeCounter());
    data.TakeHeader(restored);
    data.WriteHeader(true, Settings().ForceBufferFlush);
    if (data.Size() > Files.DataBytes()) data.Truncate(Files.DataBytes());
    Files.RebuildIndexes(Settings().ForceBufferFlush);
    return;
  }
  if (data.Size() > Files.DataBytes()) data.Truncate(Files.DataBytes());
  TIndexFile& index = Files.IndexFile();
  const std::uint64_t pages = static_cast<std::uint64_t>(index.Header().NextPage()) * PageSize;
  if (index.Size() > pages) index.Truncate(pages);
}

}  // namespace store
