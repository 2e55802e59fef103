// The byte-range locks by which processes share a table: the read lock (one
// random byte of the index file's lock range), the write lock (the data
// file's semaphore byte, then the whole index range), the table lock (the
// semaphore byte) and record locks (one data-file byte per record). A table
// holds each lock at most once; a lock covered by one already held is not
// taken again, and releasing one keeps every byte the others still need.
#pragma once

#include <cstdint>
#include <set>

#include "StoreExport.h"
#include "DataFile.h"
#include "IndexFile.h"

namespace store {

struct SAUNO_STORE_EXPORT TLockRetry {
  int Attempts = 32767;
  int WaitMilliseconds = 3;
};

class SAUNO_STORE_EXPORT TTableLocks {
 public:
  TTableLocks(TDataFile& data, TIndexFile& index) : Data(data), Index(index) {}
  ~TTableLocks();
  TTableLocks(const TTableLocks&) = delete;
  TTableLocks& operator=(const TTableLocks&) = delete;

  // Each raises STORE_LOCKTIMEOUT when the lock cannot be had in time.
  void ReadLock(const TLockRetry& retry = {});
  void ReadUnlock();
  void WriteLock(const TLockRetry& retry = {});
  void WriteUnlock();
  void TableLock(const TLockRetry& retry = {});
  void TableUnlock();
  // STORE_RECLOCKFAILED when held by this table already or by another past
  // all retries (between attempts a held read lock is given up and retaken).
  void RecordLock(std::int32_t recordNumber, int retries = 15, int waitMilliseconds = 100);
  // STORE_UNLOCKFAILED when the record is not locked by this table.
  void RecordUnlock(std::int32_t recordNumber);
  void ReleaseAll();

  bool HoldsRead() const { return ReadSlot != 0; }
  bool HoldsWrite() const { return WriteHeld; }
  bool HoldsTable() const { return TableHeld; }
  bool HoldsRecord(std::int32_t recordNumber) const { return Records.count(recordNumber) != 0; }
  std::uint64_t ReadByte() const { return ReadTopOffset(ReadSlot); }

 private:
  static std::uint64_t ReadTopOffset(int slot) { return 4294967295ull - static_cast<std::uint64_t>(slot); }
  [[noreturn]] void Fail(std::uint16_t code) const;

  TDataFile& Data;
  TIndexFile& Index;
  int ReadSlot = 0;
  bool WriteHeld = false;
  bool TableHeld = false;
  std::set<std::int32_t> Records;
};

}  // namespace store
