#include "TableLocks.h"

#include <chrono>
#include <random>
#include <thread>

#include "StoreError.h"

namespace store {
namespace {

constexpr std::uint64_t ReadKey = 0x5244ull << 32;      // "RD"
constexpr std::uint64_t WriteRangeKey = 0x5752ull << 32;  // "WR"
constexpr std::uint64_t WriteSemaphoreHolder = 1;
constexpr std::uint64_t TableSemaphoreHolder = 2;

template <typename TryOnce>
bool Retry(const TLockRetry& retry, TryOnce&& attempt) {
  for (int i = 0; i < retry.Attempts; ++i) {
    if (attempt()) return true;
    if (i + 1 < retry.Attempts) std::this_thread::sleep_for(std::chrono::milliseconds(retry.WaitMilliseconds));
  }
  return false;
}

int RandomReadSlot() {
  static thread_local std::mt19937 random(std::random_device{}());
  return static_cast<int>(random() % 65535) + 1;
}

}  // namespace

TTableLocks::~TTableLocks() {
  try {
    ReleaseAll();
  } catch (...) {
  }
}

void TTableLocks::Fail(std::uint16_t code) const { RaiseStoreError(code, Data.TableName()); }

void TTableLocks::ReadLock(const TLockRetry& retry) {
  if (ReadSlot != 0 || WriteHeld) return;
  int slot = 0;
  bool taken = Retry(retry, [&] {
    slot = RandomReadSlot();  // a new byte for each attempt
    return Index.LockRange(ReadKey, ReadTopOffset(slot), 1, TLockMode::lmRead);
  });
  if (!taken) Fail(STORE_LOCKTIMEOUT);
  ReadSlot = slot;
}

void TTableLocks::ReadUnlock() {
  if (ReadSlot == 0) return;
  ReadSlot = 0;
  if (!Index.UnlockRange(ReadKey)) Fail(STORE_LOCKTIMEOUT);
}

void TTableLocks::WriteLock(const TLockRetry& retry) {
  if (WriteHeld) return;
  if (!Retry(retry, [&] { return Data.LockSemaphore(WriteSemaphoreHolder); })) Fail(STORE_LOCKTIMEOUT);
  if (!Retry(retry, [&] {
        return Index.LockRange(WriteRangeKey, IndexLockRangeStart, IndexLockRangeLength, TLockMode::lmWrite);
      })) {
    Data.UnlockSemaphore(WriteSemaphoreHolder);
    Fail(STORE_LOCKTIMEOUT);
  }
  WriteHeld = true;
}

void TTableLocks::WriteUnlock() {
  if (!WriteHeld) return;
  WriteHeld = false;
  // Reverse order of taking: index range, then the semaphore.
  bool ok = Index.UnlockRange(WriteRangeKey);
  ok = Data.UnlockSemaphore(WriteSemaphoreHolder) && ok;
  if (!ok) Fail(STORE_LOCKTIMEOUT);
}

void TTableLocks::TableLock(const TLockRetry& retry) {
  if (TableHeld) return;
  if (!Retry(retry, [&] { return Data.LockSemaphore(TableSemaphoreHolder); })) Fail(STORE_LOCKTIMEOUT);
  TableHeld = true;
}

void TTableLocks::TableUnlock() {
  if (!TableHeld) return;
  TableHeld = false;
  if (!Data.UnlockSemaphore(TableSemaphoreHolder)) Fail(STORE_LOCKTIMEOUT);
}

void TTableLocks::RecordLock(std::int32_t recordNumber, int retries, int waitMilliseconds) {
  if (Records.count(recordNumber)) Fail(STORE_RECLOCKFAILED);
  for (int attempt = 0; attempt <= retries; ++attempt) {
    if (Data.LockRecordByte(recordNumber)) {
      Records.insert(recordNumber);
      return;
    }
    if (attempt == retries) break;
    // Give other processes a chance at the table while waiting.
    const bool hadRead = ReadSlot != 0;
    if (hadRead) ReadUnlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
    if (hadRead) ReadLock();
  }
  Fail(STORE_RECLOCKFAILED);
}

void TTableLocks::RecordUnlock(std::int32_t recordNumber) {
  if (!Records.erase(recordNumber) || !Data.UnlockRecordByte(recordNumber)) Fail(STORE_UNLOCKFAILED);
}

void TTableLocks::ReleaseAll() {
  while (!Records.empty()) RecordUnlock(*Records.begin());
  TableUnlock();
  WriteUnlock();
  ReadUnlock();
}

}  // namespace store
