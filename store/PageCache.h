// The page cache of one index: pages sorted by number for binary search and
// a recency order whose two most recent entries are tried first, with a
// pool of spare pages. Its capacity counts leaves and free pages; interior
// pages, few and on every descent, are kept on top of it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "StoreExport.h"
#include "MruList.h"
#include "Page.h"

namespace store {

class SAUNO_STORE_EXPORT TPageCache {
 public:
  explicit TPageCache(std::size_t capacity = 2) : Capacity(capacity) {}
  TPageCache(TPageCache&&) = default;
  TPageCache& operator=(TPageCache&&) = default;

  TPage* Find(std::int32_t number);
  // Evicts the least recently used clean, unpinned page when full, a leaf
  // (or free page) before an interior page; false when nothing could be
  // evicted.
  bool MakeRoom();
  TPage& Add(std::int32_t number, const TPageLayout& layout);
  void Remove(TPage& page);
  void DropUnpinned();
  // Evicts clean, unpinned leaves and free pages, least recently used first,
  // down to `capacity` of them; interior pages stay, so that a descent
  // reads at most its leaf from the disk.
  void Trim(std::size_t capacity);
  void Grow(std::size_t by) { Capacity += by; }
  void SetCapacity(std::size_t capacity) { Capacity = capacity; }
  std::size_t Size() const { return Pages.size(); }
  const std::vector<std::unique_ptr<TPage>>& Sorted() const { return Pages; }

 private:
  std::size_t IndexOf(std::int32_t number) const;
  std::size_t LeafCount() const;

  std::size_t Capacity;
  std::vector<std::unique_ptr<TPage>> Pages;
  TMruList<TPage> Mru;
  std::vector<std::unique_ptr<TPage>> Pool;
};

}  // namespace store
