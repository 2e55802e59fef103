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
  Keys.clear();
  Refs.clear();
  Counts.clear();
}

void TPage::SetKey(std::size_t i, TConstBytes key) {
  std::memcpy(Keys.data() + i * PageLayout.KeyLength, key.data(), PageLayout.KeyLength);
}

void TPage::Insert(std::size_t i, TConstBytes key, std::int32_t ref, std::int32_t count) {
  const std::size_t k = PageLayout.KeyLength;
  Keys.insert(Keys.begin() + static_cast<std::ptrdiff_t>(i * k), key.begin(), key.begin() + static_cast<std::ptrdiff_t>(k));
  Refs.insert(Refs.begin() + static_cast<std::ptrdiff_t>(i), ref);
  Counts.insert(Counts.begin() + static_cast<std::ptrdiff_t>(i), count);
}

void TPage::Erase(std::size_t i) {
  const std::size_t k = PageLayout.KeyLength;
  Keys.erase(Keys.begin() + static_cast<std::ptrdiff_t>(i * k), Keys.begin() + static_cast<std::ptrdiff_t>((i + 1) * k));
  Refs.erase(Refs.begin() + static_cast<std::ptrdiff_t>(i));
  Counts.erase(Counts.begin() + static_cast<std::ptrdiff_t>(i));
}

void TPage::MoveTailTo(TPage& other, std::size_t from) {
  const std::size_t k = PageLayout.KeyLength;
  const auto f = static_cast<std::ptrdiff_t>(from);
  other.Keys.insert(other.Keys.begin(), Keys.begin() + f * static_cast<std::ptrdiff_t>(k), Keys.end());
  other.Refs.insert(other.Refs.begin(), Refs.begin() + f, Refs.end());
  other.Counts.insert(other.Counts.begin(), Counts.begin() + f, Counts.end());
  Keys.resize(from * k);
  Refs.resize(from);
  Counts.resize(from);
}

void TPage::MoveHeadTo(TPage& other, std::size_t n) {
  const std::size_t k = PageLayout.KeyLength;
  const auto c = static_cast<std::ptrdiff_t>(n);
  other.Keys.insert(other.Keys.end(), Keys.begin(), Keys.begin() + c * static_cast<std::ptrdiff_t>(k));
  other.Refs.insert(other.Refs.end(), Refs.begin(), Refs.begin() + c);
  other.Counts.insert(other.Counts.end(), Counts.begin(), Counts.begin() + c);
  Keys.erase(Keys.begin(), Keys.begin() + c * static_cast<std::ptrdiff_t>(k));
  Refs.erase(Refs.begin(), Refs.begin() + c);
  Counts.erase(Counts.begin(), Counts.begin() + c);
}

std::int64_t TPage::SubtreeCount() const {
  if (IsLeaf()) return static_cast<std::int64_t>(Count());
  std::int64_t sum = 0;
  for (std::int32_t c : Counts) sum += c;
  return sum;
}

std::size_t TPage::Capacity() const {
  const std::size_t k = PageLayout.KeyLength;
  if (!IsLeaf() && PageLayout.Counts) return PageEntryBytes / (k + 8);
  return PageEntryBytes / (k + 4);
}

std::size_t TPage::EncodedSize() const {
  const std::size_t k = PageLayout.KeyLength;
  if (!IsLeaf()) return Count() * (k + (PageLayout.Counts ? 8 : 4));
  if (PageLayout.Compression == 0) return Count() * (k + 4);
  std::size_t total = 0;
  for (std::size_t i = 0; i < Count(); ++i) {
    const std::uint8_t* previous = i == 0 ? nullptr : Keys.data() + (i - 1) * k;
    total += EncodedEntrySize(PageLayout, EntryCodesFor(PageLayout, previous, Keys.data() + i * k));
  }
  return total;
}

void TPage::Encode(TBytes image) const {
  std::memset(image.data(), 0, PageSize);
  const std::size_t k = PageLayout.KeyLength;
  image[0] = Free ? 0 : Type;
  PutU16(image, 1, static_cast<std::uint16_t>(Free ? 0 : Count()));
  PutI32(image, 3, Free ? 0 : Previous);
  PutI32(image, 7, Next);
  if (Free) return;
  std::size_t at = PageHeaderBytes;
  if (!Compressed()) {
    for (std::size_t i = 0; i < Count(); ++i) {
      std::memcpy(image.data() + at, Keys.data() + i * k, k);
      PutI32(image, at + k, Refs[i]);
      at += k + 4;
      if (!IsLeaf() && PageLayout.Counts) {
        PutI32(image, at, Counts[i]);
        at += 4;
      }
    }
    return;
  }
  const std::size_t proper = PageLayout.ProperLength;
  for (std::size_t i = 0; i < Count(); ++i) {
    const std::uint8_t* key = Keys.data() + i * k;
    const TEntryCodes codes = EntryCodesFor(PageLayout, i == 0 ? nullptr : key - k, key);
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
    PutI32(image, at, Refs[i]);
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
  Keys.resize(count * k);
  Refs.resize(count);
  Counts.assign(count, 0);
  if (!Compressed()) {
    if (encoded != 0 || count > Capacity()) return Clear(), false;
    std::size_t at = PageHeaderBytes;
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(Keys.data() + i * k, image.data() + at, k);
      Refs[i] = GetI32(image, at + k);
      at += k + 4;
      if (!IsLeaf() && PageLayout.Counts) {
        Counts[i] = GetI32(image, at);
        if (Counts[i] < 0) return Clear(), false;
        at += 4;
      }
    }
    return true;
  }
  if (encoded > PageEntryBytes) return Clear(), false;
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
    std::uint8_t* key = Keys.data() + i * k;
    if (p > 0) std::memcpy(key, key - k, p);
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
    Refs[i] = GetI32(image, at);
    at += 4;
  }
  if (at != end) return Clear(), false;
  return true;
}

}  // namespace store
