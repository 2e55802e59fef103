// One 4096-byte page of an index: its header and its entries expanded to
// fixed-size slots, with the encoding of every page kind (interior with or
// without counts, leaves in the four compression modes) in both directions.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "StoreExport.h"
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
struct SAUNO_STORE_EXPORT TPageLayout {
  std::size_t KeyLength = 0;
  std::size_t ProperLength = 0;  // key bytes before the identifier suffix
  std::uint8_t Compression = 0;
  bool Counts = true;
};

// Shared-prefix and trailing-zero counts of a compressed leaf entry.
struct SAUNO_STORE_EXPORT TEntryCodes {
  std::size_t Prefix = 0;
  std::size_t TrailingZeros = 0;
};
SAUNO_STORE_EXPORT TEntryCodes EntryCodesFor(const TPageLayout& layout, const std::uint8_t* previousKey, const std::uint8_t* key);
SAUNO_STORE_EXPORT std::size_t EncodedEntrySize(const TPageLayout& layout, const TEntryCodes& codes);

class SAUNO_STORE_EXPORT TPage {
 public:
  TPage() = default;
  void Reset(std::int32_t number, const TPageLayout& layout);

  std::int32_t Number = 0;
  std::uint8_t Type = ptRootLeaf;  // a page keeps being a leaf or not while it has entries
  std::int32_t Previous = 0;
  std::int32_t Next = 0;  // in a free page: the next free page
  bool Free = false;
  bool Dirty = false;
  int PinCount = 0;
  int Slot = 0;  // index that owns the page
  TPage* MruPrev = nullptr;  // recency links of the page cache
  TPage* MruNext = nullptr;

  std::size_t Count() const { return EntryCount; }
  bool IsLeaf() const { return Type == ptLeaf || Type == ptRootLeaf; }
  bool IsRoot() const { return Type == ptRootInterior || Type == ptRootLeaf; }
  const TPageLayout& Layout() const { return PageLayout; }

  TConstBytes Key(std::size_t i) const { return TConstBytes(Entry(i), PageLayout.KeyLength); }
  std::int32_t Ref(std::size_t i) const { return GetI32(TConstBytes(Entry(i), Stride), PageLayout.KeyLength); }
  void SetRef(std::size_t i, std::int32_t v);
  // Keys below an entry of an interior page of a counting index; 0 elsewhere.
  std::int32_t KeyCount(std::size_t i) const {
    return HoldsCounts() ? GetI32(TConstBytes(Entry(i), Stride), PageLayout.KeyLength + 4) : 0;
  }
  void SetKeyCount(std::size_t i, std::int32_t v);
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
  // this layout (the page is then left empty). The page then matches the
  // image (see MatchesImage).
  bool Decode(TConstBytes image);

  // Whether the file is known to hold this page's image as it was last
  // read or written, so that writing the parts that changed since brings
  // it up to date (uncompressed pages only: a compressed leaf is written
  // whole).
  bool Patchable() const { return ImageKnown && !Free && !Compressed() && ImageStride == Stride; }
  // Whether the first PageHeaderBytes of the image changed; EncodeHeader
  // writes them.
  bool HeaderChanged() const;
  void EncodeHeader(TBytes header) const;
  // Bytes [from, to) of the image past its header that changed: the
  // entries touched since, and the entries' bytes the page no longer uses.
  std::pair<std::size_t, std::size_t> ChangedBytes() const;
  // Image bytes [from, from + out.size()) of a page that is not compressed.
  void EncodeRange(std::size_t from, TBytes out) const;
  // The file now holds the page as it stands.
  void ImageWritten();

 private:
  const std::uint8_t* Entry(std::size_t i) const { return Entries.data() + i * Stride; }
  std::uint8_t* Entry(std::size_t i) { return Entries.data() + i * Stride; }
  bool HoldsCounts() const { return Stride == PageLayout.KeyLength + 8; }
  // Entry bytes for a page of this type: key and reference, and the count
  // of an interior page of a counting index. Entries are kept laid out as
  // on the disk (little-endian numbers).
  std::size_t StrideFor(std::uint8_t type) const;
  void StartEntries();  // the stride fixed when an empty page gets entries
  void Touch(std::size_t from, std::size_t to);

  TPageLayout PageLayout;
  std::vector<std::uint8_t> Entries;
  std::size_t EntryCount = 0;
  std::size_t Stride = 0;
  // What the file holds of the page, for writing only what changed.
  bool ImageKnown = false;
  std::size_t ImageCount = 0, ImageStride = 0;
  std::uint8_t ImageType = 0;
  std::int32_t ImagePrevious = 0, ImageNext = 0;
  std::size_t ChangedFrom = 0, ChangedTo = 0;  // entries touched since
};

}  // namespace store
