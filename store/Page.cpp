#include "Page.h"

#include <algorithm>
#include <cstring>

namespace store {

TEntryCodes EntryCodesFor(const TPageLayout& layout, const std::uint8_t* previousKey, const std::uint8_t* key) {
  TEntryCodes codes;
  const std::size_t k = layout.KeyLength;
  const std::size_t proper = layout.ProperLength;
  if (previousKey && (layout.Compression == 1 || layout.Compression == 3)) {
    std::size_t p = 0;
    while (p < k && p < 255 && previousKey[p] == key[p]) ++p;
    codes.Prefix = p;
  }
  if (layout.Compression == 2 || layout.Compression == 3) {
    const std::size_t from = std::min(codes.Prefix, proper);
    std::size_t t = 0;
    while (proper - t > from && t < 255 && key[proper - t - 1] == 0) ++t;
    codes.TrailingZeros = t;
  }
  return codes;
}

std::size_t EncodedEntrySize(const TPageLayout& layout, const TEntryCodes& codes) {
  const std::size_t k = layout.KeyLength;
  switch (layout.Compression) {
    case 1: return k - codes.Prefix + 5;
    case 2: return k - codes.TrailingZeros + 5;
    case 3: return k - codes.Prefix - codes.TrailingZeros + 6;
    default: return k + 4;
  }
}

void TPage::Reset(std::int32_t number, const TPageLayout& layout) {
  Number = number;
  Type = ptRootLeaf;
  Previous = Next = 0;
  Free = false;
  Dirty = false;
  PinCount = 0;
  PageLayout = layout;
  Clear();
}

void TPage::Clear() {
  Entries.clear();
  EntryCount = 0;
  Stride = 0;
  // An emptied page is written whole: it may be reused as another kind.
  ImageKnown = false;
}

std::size_t TPage::StrideFor(std::uint8_t type) const {
  const bool leaf = type == ptLeaf || type == ptRootLeaf;
  return PageLayout.KeyLength + (!leaf && PageLayout.Counts ? 8 : 4);
}

void TPage::StartEntries() {
  if (EntryCount == 0) Stride = StrideFor(Type);
}

void TPage::Touch(std::size_t from, std::size_t to) {
  if (ChangedFrom >= ChangedTo) {
    ChangedFrom = from;
    ChangedTo = to;
  } else {
    ChangedFrom = std::min(ChangedFrom, from);
    ChangedTo = std::max(ChangedTo, to);
  }
}

void TPage::SetKey(std::size_t i, TConstBytes key) {
  std::memcpy(Entry(i), key.data(), PageLayout.KeyLength);
  Touch(i, i + 1);
}

void TPage::SetRef(std::size_t i, std::int32_t v) {
  PutI32(TBytes(Entry(i), Stride), PageLayout.KeyLength, v);
  Touch(i, i + 1);
}

void TPage::SetKeyCount(std::size_t i, std::int32_t v) {
  if (!HoldsCounts()) return;
  PutI32(TBytes(Entry(i), Stride), PageLayout.KeyLength + 4, v);
  Touch(i, i + 1);
}

void TPage::Insert(std::size_t i, TConstBytes key, std::int32_t ref, std::int32_t count) {
  StartEntries();
  const std::size_t k = PageLayout.KeyLength;
  Entries.insert(Entries.begin() + static_cast<std::ptrdiff_t>(i * Stride), Stride, 0);
  ++EntryCount;
  TBytes entry(Entry(i), Stride);
  std::memcpy(entry.data(), key.data(), k);
  PutI32(entry, k, ref);
  if (HoldsCounts()) PutI32(entry, k + 4, count);
  Touch(i, EntryCount);
}

void TPage::Erase(std::size_t i) {
  Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(i * Stride),
                Entries.begin() + static_cast<std::ptrdiff_t>((i + 1) * Stride));
  Touch(i, EntryCount);
  --EntryCount;
}

void TPage::MoveTailTo(TPage& other, std::size_t from) {
  other.StartEntries();
  const auto cut = Entries.begin() + static_cast<std::ptrdiff_t>(from * Stride);
  const std::size_t moved = EntryCount - from;
  other.Entries.insert(other.Entries.begin(), cut, Entries.end());
  other.EntryCount += moved;
  other.Touch(0, other.EntryCount);
  Entries.erase(cut, Entries.end());
  Touch(from, EntryCount);
  EntryCount = from;
}

void TPage::MoveHeadTo(TPage& other, std::size_t n) {
  other.StartEntries();
  const auto cut = Entries.begin() + static_cast<std::ptrdiff_t>(n * Stride);
  other.Entries.insert(other.Entries.end(), Entries.begin(), cut);
  other.Touch(other.EntryCount, other.EntryCount + n);
  other.EntryCount += n;
  Entries.erase(Entries.begin(), cut);
  Touch(0, EntryCount);
  EntryCount -= n;
}

std::int64_t TPage::SubtreeCount() const {
  if (IsLeaf()) return static_cast<std::int64_t>(Count());
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < EntryCount; ++i) sum += KeyCount(i);
  return sum;
}

std::size_t TPage::Capacity() const { return PageEntryBytes / StrideFor(Type); }

std::size_t TPage::EncodedSize() const {
  if (!Compressed()) return Count() * StrideFor(Type);
  std::size_t total = 0;
  for (std::size_t i = 0; i < Count(); ++i) {
    const std::uint8_t* previous = i == 0 ? nullptr : Entry(i - 1);
    total += EncodedEntrySize(PageLayout, EntryCodesFor(PageLayout, previous, Entry(i)));
  }
  return total;
}

void TPage::EncodeHeader(TBytes image) const {
  image[0] = Free ? 0 : Type;
  PutU16(image, 1, static_cast<std::uint16_t>(Free ? 0 : Count()));
  PutI32(image, 3, Free ? 0 : Previous);
  PutI32(image, 7, Next);
  PutU16(image, 11, 0);
}

void TPage::Encode(TBytes image) const {
  EncodeHeader(image);
  std::memset(image.data() + PageHeaderBytes, 0, PageSize - PageHeaderBytes);
  if (Free) return;
  if (!Compressed()) {
    if (EntryCount > 0) std::memcpy(image.data() + PageHeaderBytes, Entries.data(), EntryCount * Stride);
    return;
  }
  const std::size_t k = PageLayout.KeyLength;
  const std::size_t proper = PageLayout.ProperLength;
  std::size_t at = PageHeaderBytes;
  for (std::size_t i = 0; i < Count(); ++i) {
    const std::uint8_t* key = Entry(i);
    const TEntryCodes codes = EntryCodesFor(PageLayout, i == 0 ? nullptr : Entry(i - 1), key);
    const std::size_t p = codes.Prefix, t = codes.TrailingZeros;
    if (PageLayout.Compression != 2) image[at++] = static_cast<std::uint8_t>(p);
    if (PageLayout.Compression != 1) image[at++] = static_cast<std::uint8_t>(t);
    // Key proper from p on without its t trailing zeros, then the suffix
    // (from p on when the shared prefix reaches into it).
    if (p < proper) {
      std::memcpy(image.data() + at, key + p, proper - t - p);
      at += proper - t - p;
    }
    const std::size_t suffixFrom = std::max(p, proper);
    std::memcpy(image.data() + at, key + suffixFrom, k - suffixFrom);
    at += k - suffixFrom;
    PutI32(image, at, Ref(i));
    at += 4;
  }
  PutU16(image, 11, static_cast<std::uint16_t>(at - PageHeaderBytes));
}

bool TPage::Decode(TConstBytes image) {
  Clear();
  Free = false;
  const std::size_t k = PageLayout.KeyLength;
  Type = image[0];
  const std::size_t count = GetU16(image, 1);
  Previous = GetI32(image, 3);
  Next = GetI32(image, 7);
  const std::size_t encoded = GetU16(image, 11);
  if (Type > ptParameters || k == 0) return false;
  if (Type == ptParameters) return count == 0;
  if (count == 0) {
    Free = true;
    return true;
  }
  Stride = StrideFor(Type);
  if (!Compressed()) {
    if (encoded != 0 || count > Capacity()) return Clear(), false;
    Entries.assign(image.begin() + PageHeaderBytes,
                   image.begin() + static_cast<std::ptrdiff_t>(PageHeaderBytes + count * Stride));
    EntryCount = count;
    if (HoldsCounts())
      for (std::size_t i = 0; i < count; ++i)
        if (KeyCount(i) < 0) return Clear(), false;
    ImageWritten();
    return true;
  }
  if (encoded > PageEntryBytes) return Clear(), false;
  Entries.assign(count * Stride, 0);
  const std::size_t proper = PageLayout.ProperLength;
  const std::size_t end = PageHeaderBytes + encoded;
  std::size_t at = PageHeaderBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t codeBytes = PageLayout.Compression == 3 ? 2 : 1;
    if (at + codeBytes > end) return Clear(), false;
    std::size_t p = 0, t = 0;
    if (PageLayout.Compression != 2) p = image[at++];
    if (PageLayout.Compression != 1) t = image[at++];
    if (p > k || (i == 0 && p != 0)) return Clear(), false;
    if (p >= proper ? t != 0 : t > proper - p) return Clear(), false;
    std::uint8_t* key = Entry(i);
    if (p > 0) std::memcpy(key, key - Stride, p);
    std::size_t stored = k - p - t;
    if (at + stored + 4 > end) return Clear(), false;
    if (p < proper) {
      std::memcpy(key + p, image.data() + at, proper - t - p);
      std::memset(key + proper - t, 0, t);
      at += proper - t - p;
    }
    const std::size_t suffixFrom = std::max(p, proper);
    std::memcpy(key + suffixFrom, image.data() + at, k - suffixFrom);
    at += k - suffixFrom;
    std::memcpy(key + k, image.data() + at, 4);
    at += 4;
  }
  if (at != end) return Clear(), false;
  EntryCount = count;
  ImageWritten();
  return true;
}

bool TPage::HeaderChanged() const {
  return ImageType != Type || ImageCount != EntryCount || ImagePrevious != Previous || ImageNext != Next;
}

std::pair<std::size_t, std::size_t> TPage::ChangedBytes() const {
  std::size_t from = SIZE_MAX, to = 0;
  if (ChangedFrom < ChangedTo) {
    const std::size_t end = std::min(ChangedTo, EntryCount);
    if (ChangedFrom < end) {
      from = ChangedFrom * Stride;
      to = end * Stride;
    }
  }
  if (ImageCount > EntryCount) {
    from = std::min(from, EntryCount * Stride);
    to = std::max(to, ImageCount * Stride);
  }
  if (from >= to) return {0, 0};
  return {PageHeaderBytes + from, PageHeaderBytes + to};
}

void TPage::EncodeRange(std::size_t from, TBytes out) const {
  const std::size_t used = PageHeaderBytes + EntryCount * Stride;
  std::size_t at = 0;
  if (from < used) {
    at = std::min(out.size(), used - from);
    std::memcpy(out.data(), Entries.data() + (from - PageHeaderBytes), at);
  }
  std::memset(out.data() + at, 0, out.size() - at);
}

void TPage::ImageWritten() {
  ImageKnown = !Free;
  ImageCount = EntryCount;
  ImageStride = Stride;
  ImageType = Type;
  ImagePrevious = Previous;
  ImageNext = Next;
  ChangedFrom = ChangedTo = 0;
}

}  // namespace store
