// One 4096-byte page of an index: its header and its entries expanded to
// fixed-size slots, with the encoding of every page kind (interior with or
// without counts, leaves in the four compression modes) in both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "Bytes.h"
#include "IndexFormat.h"

namespace store {

enum TPageType : std::uint8_t {
  ptRootInterior = 0,
  ptInterior = 1,
  ptLeaf = 2,
  ptRootLeaf = 3,
  ptParameters = 4,
};

// How the entries of an index's pages are laid out.
struct TPageLayout {
  std::size_t KeyLength = 0;
  std::size_t ProperLength = 0;  // key bytes before the identifier suffix
  std::uint8_t Compression = 0;
  bool Counts = true;
};

// Shared-prefix and trailing-zero counts of a compressed leaf entry.
struct TEntryCodes {
  std::size_t Prefix = 0;
  std::size_t TrailingZeros = 0;
};
TEntryCodes EntryCodesFor(const TPageLayout& layout, const std::uint8_t* previousKey, const std::uint8_t* key);
std::size_t EncodedEntrySize(const TPageLayout& layout, const TEntryCodes& codes);

class TPage {
 public:
  TPage() = default;
  void Reset(std::int32_t number, const TPageLayout& layout);

  std::int32_t Number = 0;
  std::uint8_t Type = ptRootLeaf;
  std::int32_t Previous = 0;
  std::int32_t Next = 0;  // in a free page: the next free page
  bool Free = false;
  bool Dirty = false;
  int PinCount = 0;
  int Slot = 0;  // index that owns the page
  TPage* MruPrev = nullptr;  // recency links of the page cache
  TPage* MruNext = nullptr;

  std::size_t Count() const { return Refs.size(); }
  bool IsLeaf() const { return Type == ptLeaf || Type == ptRootLeaf; }
  bool IsRoot() const { return Type == ptRootInterior || Type == ptRootLeaf; }
  const TPageLayout& Layout() const { return PageLayout; }

  TConstBytes Key(std::size_t i) const { return TConstBytes(Keys.data() + i * PageLayout.KeyLength, PageLayout.KeyLength); }
  TBytes MutableKey(std::size_t i) { return TBytes(Keys.data() + i * PageLayout.KeyLength, PageLayout.KeyLength); }
  std::int32_t Ref(std::size_t i) const { return Refs[i]; }
  void SetRef(std::size_t i, std::int32_t v) { Refs[i] = v; }
  std::int32_t KeyCount(std::size_t i) const { return Counts[i]; }
  void SetKeyCount(std::size_t i, std::int32_t v) { Counts[i] = v; }
  void SetKey(std::size_t i, TConstBytes key);

  void Insert(std::size_t i, TConstBytes key, std::int32_t ref, std::int32_t count);
  void Erase(std::size_t i);
  // Moves entries [from, Count()) to the front of `other` (which must share the layout).
  void MoveTailTo(TPage& other, std::size_t from);
  // Moves the first n entries to the end of `other`.
  void MoveHeadTo(TPage& other, std::size_t n);
  void Clear();
  // The number of keys below this page: entries of a leaf, sum of counts of an interior page.
  std::int64_t SubtreeCount() const;

  // Entry capacity of an interior page or an uncompressed leaf.
  std::size_t Capacity() const;
  bool Compressed() const { return IsLeaf() && PageLayout.Compression != 0; }
  // Bytes the entries take on disk.
  std::size_t EncodedSize() const;
  bool Fits() const { return EncodedSize() <= PageEntryBytes; }

  // Writes the page image; the page must fit.
  void Encode(TBytes image) const;
  // Reads a page image; false when the bytes are not a consistent page of
  // this layout (the page is then left empty).
  bool Decode(TConstBytes image);

 private:
  TPageLayout PageLayout;
  std::vector<std::uint8_t> Keys;
  std::vector<std::int32_t> Refs;
  std::vector<std::int32_t> Counts;
};

}  // namespace store
