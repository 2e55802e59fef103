// The record cache of a data file: records sorted by number (for writing
// runs of consecutive slots), found by number through a hash index, with a
// most-recently-used list whose first four entries are tried first, and a
// pool of spare records.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "StoreExport.h"
#include "MruList.h"

namespace store {

struct SAUNO_STORE_EXPORT TRecord {
  std::int32_t RecordNumber = 0;
  std::vector<std::uint8_t> Buffer;
  bool Dirty = false;
  int PinCount = 0;
  TRecord* MruPrev = nullptr;  // towards the most recently used
  TRecord* MruNext = nullptr;
  std::vector<std::uint8_t> SortBuffer;
};

class SAUNO_STORE_EXPORT TRecordCache {
 public:
  explicit TRecordCache(std::size_t recordSize = 0, std::size_t capacity = 1);
  void Reset(std::size_t recordSize, std::size_t capacity);

  // The cached record, moved to the front of the recency list; nullptr if absent.
  TRecord* Find(std::int32_t recordNumber);
  // The cached record, the recency order untouched; nullptr if absent.
  TRecord* Peek(std::int32_t recordNumber) const {
    auto at = ByNumber.find(recordNumber);
    return at == ByNumber.end() ? nullptr : at->second;
  }
  // Whether a new entry may be added without growing beyond capacity; tries
  // to evict the least recently used clean, unpinned record first.
  bool MakeRoom();
  void Grow(std::size_t by) { Capacity += by; }
  void SetCapacity(std::size_t capacity) { Capacity = capacity; }
  // Adds a record (from the pool) that must not be cached yet.
  TRecord& Add(std::int32_t recordNumber);
  void Remove(TRecord& record);
  // Drops every record that is not pinned.
  void DropUnpinned();
  void Clear();
  // Evicts clean, unpinned records until within capacity.
  void Trim(std::size_t capacity);

  const std::deque<std::unique_ptr<TRecord>>& Sorted() const { return Records; }
  std::size_t Size() const { return Records.size(); }
  std::size_t CapacityLimit() const { return Capacity; }

 private:
  std::size_t IndexOf(std::int32_t recordNumber) const;  // lower bound

  std::size_t RecordSize;
  std::size_t Capacity;
  std::deque<std::unique_ptr<TRecord>> Records;  // sorted; appends and evictions happen at the ends
  std::unordered_map<std::int32_t, TRecord*> ByNumber;
  std::vector<std::unique_ptr<TRecord>> Pool;
  TMruList<TRecord> Mru;
};

}  // namespace store
