// The balanced tree of one index: search, insertion with page splits and
// root growth, deletion with merges, redistribution and root shrink, and
// the stepping of a position through the leaves in key order.
//
// Contract: every operation leaves the tree balanced, in key order, with
// correct subtree counts and sibling links, and every page within its
// capacity. Damage found on the way raises STORE_INDEXCORRUPT.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "StoreExport.h"
#include "IndexFile.h"

namespace store {

constexpr std::size_t MaxTreeDepth = 64;

// A pinned page that is released when the reference goes.
class SAUNO_STORE_EXPORT TPageRef {
 public:
  TPageRef(TIndexFile& file, TPage& page) : File(&file), Page(&page) {}
  TPageRef(TPageRef&& other) noexcept : File(other.File), Page(other.Page) { other.Page = nullptr; }
  TPageRef& operator=(TPageRef&&) = delete;
  TPageRef(const TPageRef&) = delete;
  ~TPageRef() {
    if (Page) File->ReleasePage(*Page);
  }
  TPage* operator->() const { return Page; }
  TPage& operator*() const { return *Page; }

 private:
  TIndexFile* File;
  TPage* Page;
};

struct SAUNO_STORE_EXPORT TTreeStep {
  std::int32_t Page = 0;
  std::size_t Position = 0;
};
// Root first; the last step is the leaf and its entry.
using TTreePath = std::vector<TTreeStep>;

class SAUNO_STORE_EXPORT TIndexTree {
 public:
  TIndexTree(TIndexFile& file, int slot);

  void Insert(TConstBytes key, std::int32_t ref);
  // Removes the entry with this exact key and reference.
  void Delete(TConstBytes key, std::int32_t ref);
  void Replace(TConstBytes oldKey, std::int32_t oldRef, TConstBytes newKey, std::int32_t newRef);
  // Raises STORE_KEYVIOL, naming the index, when an entry has this key.
  void RequireAbsent(TConstBytes key);
  // Positions on the first entry whose key equals `key`.
  bool Find(TConstBytes key, TTreePath& path);
  // Positions on the first entry whose key is not below `key`.
  bool Seek(TConstBytes key, TTreePath& path);

  bool First(TTreePath& path);
  bool Last(TTreePath& path);
  bool Next(TTreePath& path);
  bool Prior(TTreePath& path);
  // From `level` down to the leaf, along the first (or last) entry of each page below.
  void DescendToEdge(TTreePath& path, std::size_t level, bool toLast);
  // The key in its cached page: valid until the tree changes or the
  // cache drops the page (copy it before anything may read from the disk).
  TConstBytes KeyAt(const TTreePath& path);
  std::int32_t RefAt(const TTreePath& path);
  // 1-based position of the entry in key order.
  std::int64_t Ordinal(const TTreePath& path);

 private:
  TPageRef Fetch(std::int32_t number, std::size_t depth, bool mayBeEmpty = false);
  TPageRef FetchSibling(std::int32_t number);
  std::size_t UpperBound(const TPage& page, TConstBytes key) const;
  std::size_t LowerBound(const TPage& page, TConstBytes key) const;
  bool Descend(TConstBytes key, bool lower, TTreePath& path);
  bool Locate(TConstBytes key, std::int32_t ref, TTreePath& path);
  void PropagateFirstKey(const TTreePath& path, std::size_t level, TConstBytes key);
  void SplitUpwards(TTreePath& path, std::size_t level);
  void FixAfterRemoval(TTreePath& path, std::size_t level);
  void ShrinkRoot();
  void Unlink(TPage& page);
  bool Overflows(const TPage& page) const;
  std::int32_t CountOf(const TPage& page) const;
  [[noreturn]] void Corrupt() const;

  TIndexFile& File;
  int Slot;
  const TKeyDef& Def;
};

}  // namespace store
