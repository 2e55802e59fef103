#include "RecordCache.h"

#include <algorithm>

namespace store {

TRecordCache::TRecordCache(std::size_t recordSize, std::size_t capacity)
    : RecordSize(recordSize), Capacity(capacity) {}

void TRecordCache::Reset(std::size_t recordSize, std::size_t capacity) {
  Clear();
  Pool.clear();
  RecordSize = recordSize;
  Capacity = capacity;
}

std::size_t TRecordCache::IndexOf(std::int32_t recordNumber) const {
  auto it = std::lower_bound(Records.begin(), Records.end(), recordNumber,
                             [](const std::unique_ptr<TRecord>& r, std::int32_t n) { return r->RecordNumber < n; });
  return static_cast<std::size_t>(it - Records.begin());
}

TRecord* TRecordCache::Find(std::int32_t recordNumber) {
  TRecord* found = nullptr;
  int tried = 0;
  for (TRecord* r = Mru.Head; r && tried < 4; r = r->MruNext, ++tried)
    if (r->RecordNumber == recordNumber) {
      found = r;
      break;
    }
  if (!found) {
    auto at = ByNumber.find(recordNumber);
    if (at != ByNumber.end()) found = at->second;
  }
  if (found && found != Mru.Head) {
    Mru.Unlink(*found);
    Mru.PushFront(*found);
  }
  return found;
}

bool TRecordCache::MakeRoom() {
  if (Records.size() < Capacity) return true;
  for (TRecord* r = Mru.Tail; r; r = r->MruPrev) {
    if (!r->Dirty && r->PinCount == 0) {
      Remove(*r);
      return true;
    }
  }
  return false;
}

TRecord& TRecordCache::Add(std::int32_t recordNumber) {
  std::unique_ptr<TRecord> record;
  if (!Pool.empty()) {
    record = std::move(Pool.back());
    Pool.pop_back();
  } else {
    record = std::make_unique<TRecord>();
  }
  record->RecordNumber = recordNumber;
  record->Buffer.assign(RecordSize, 0);
  record->Dirty = false;
  record->PinCount = 0;
  TRecord& ref = *record;
  ByNumber[recordNumber] = &ref;
  // Appends, the usual case, need no search.
  if (Records.empty() || Records.back()->RecordNumber < recordNumber)
    Records.push_back(std::move(record));
  else
    Records.insert(Records.begin() + static_cast<std::ptrdiff_t>(IndexOf(recordNumber)), std::move(record));
  Mru.PushFront(ref);
  return ref;
}

void TRecordCache::Remove(TRecord& record) {
  Mru.Unlink(record);
  ByNumber.erase(record.RecordNumber);
  std::size_t at = IndexOf(record.RecordNumber);
  if (at < Records.size() && Records[at].get() == &record) {
    Pool.push_back(std::move(Records[at]));
    Records.erase(Records.begin() + static_cast<std::ptrdiff_t>(at));
  }
}

void TRecordCache::DropUnpinned() {
  std::vector<TRecord*> drop;
  for (auto& r : Records)
    if (r->PinCount == 0) drop.push_back(r.get());
  for (TRecord* r : drop) Remove(*r);
}

void TRecordCache::Clear() {
  while (!Records.empty()) Remove(*Records.back());
}

void TRecordCache::Trim(std::size_t capacity) {
  for (TRecord* r = Mru.Tail; r && Records.size() > capacity;) {
    TRecord* previous = r->MruPrev;
    if (!r->Dirty && r->PinCount == 0) Remove(*r);
    r = previous;
  }
}

}  // namespace store
