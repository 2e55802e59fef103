#include "Key.h"

#include <cstring>

#include "CharTable.h"
#include "FieldValues.h"

namespace store {

std::size_t KeySizeOf(const TFieldDesc& field) {
  return field.Type() == ftcBCD ? 8 : field.PhysicalSize();
}

void EncodeInteger32(TBytes out, std::int32_t value) {
  PutBE(out, 0, static_cast<std::uint32_t>(value) ^ 0x80000000u, 4);
}

void EncodeDouble(TBytes out, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  bits = value >= 0 ? (bits | 0x8000000000000000ull) : ~bits;
  PutBE(out, 0, bits, 8);
}

namespace {

// The BCD record (precision, sign and scale, digits as nibbles) as a value
// scaled by 10000, saturated at the limits of 64 bits.
std::int64_t BcdToScaled(TConstBytes value) {
  const int precision = value[0] > 64 ? 64 : value[0];
  const bool negative = (value[1] & 0x80) != 0;
  const int scale = value[1] & 0x3F;
  __int128 result = 0;
  for (int i = 0; i < precision; ++i) {
    std::uint8_t byte = value[2 + static_cast<std::size_t>(i) / 2];
    int digit = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    if (digit > 9) digit = 9;
    if (result < (static_cast<__int128>(1) << 100)) result = result * 10 + digit;
  }
  // Bring to four decimals.
  for (int s = scale; s < 4; ++s)
    if (result < (static_cast<__int128>(1) << 100)) result *= 10;
  for (int s = scale; s > 4; --s) result /= 10;
  if (negative) result = -result;
  if (result > INT64_MAX) return INT64_MAX;
  if (result < INT64_MIN) return INT64_MIN;
  return static_cast<std::int64_t>(result);
}

}  // namespace

TKeyDef::TKeyDef(const TIndexDesc& desc, int slot, std::span<const TFieldDesc> fields, std::uint16_t languageId,
                 std::shared_ptr<const TCollation> collation)
    : SlotNumber(slot),
      Length(desc.KeyLength()),
      Unique(desc.Unique()),
      DescendingIndex(desc.Descending()),
      CaseInsensitive(desc.CaseInsensitive()),
      Counts(!desc.NoCounts() && slot != SysTextIndex),
      CompressionMode(desc.Compression()),
      LanguageId(languageId),
      Collation(std::move(collation)) {
  if (slot == SysDeletedIndex || slot == SysTextIndex) return;
  const int count = desc.FieldCount() > MaxKeyFields ? MaxKeyFields : desc.FieldCount();
  for (int i = 0; i < count; ++i) {
    const std::uint16_t number = desc.FieldNumber(i);
    if (number < 1 || number > fields.size()) continue;  // refused by verification
    const TFieldDesc& f = fields[number - 1u];
    TKeyField k;
    k.Type = f.Type();
    k.Subtype = f.Subtype();
    k.Offset = f.Offset();
    k.PhysicalSize = f.PhysicalSize();
    k.KeySize = KeySizeOf(f);
    k.Descending = desc.FieldDescending(i);
    k.AutoInc = f.IsAutoInc();
    KeyFields.push_back(k);
  }
}

void TKeyDef::BuildKey(TConstBytes record, TBytes key) const {
  std::memset(key.data(), 0, key.size());
  std::size_t at = 0;
  for (const TKeyField& f : KeyFields) {
    if (at + 1 + f.KeySize > key.size()) return;
    const std::size_t start = at;
    const bool autoinc = f.AutoInc;
    const std::size_t valueAt = autoinc ? RecordIdentifierOffset : f.Offset + 1u;
    const bool present = autoinc ? true : record[f.Offset] != 0;
    key[at++] = present ? 1 : 0;
    TBytes out = key.subspan(at, f.KeySize);
    if (present) {
      TConstBytes value = record.subspan(valueAt, autoinc ? 4 : f.PhysicalSize);
      switch (f.Type) {
        case ftcString: {
          for (std::size_t i = 0; i + 1 < f.KeySize && value[i] != 0; ++i)
            out[i] = CaseInsensitive ? UpperChar(value[i]) : value[i];
          break;
        }
        case ftcDate:
        case ftcInteger:
        case ftcTime: EncodeInteger32(out, GetI32(value, 0)); break;
        case ftcSmallint: PutBE(out, 0, static_cast<std::uint16_t>(GetU16(value, 0) ^ 0x8000u), 2); break;
        case ftcBoolean:
        case ftcWord: PutBE(out, 0, GetU16(value, 0), 2); break;
        case ftcFloat:
        case ftcTimestamp: EncodeDouble(out, GetF64(value, 0)); break;
        case ftcBCD:
          PutBE(out, 0, static_cast<std::uint64_t>(BcdToScaled(value)) ^ 0x8000000000000000ull, 8);
          break;
        case ftcLargeint:
          PutBE(out, 0, static_cast<std::uint64_t>(GetI64(value, 0)) ^ 0x8000000000000000ull, 8);
          break;
        default: std::memcpy(out.data(), value.data(), f.KeySize); break;
      }
    }
    at += f.KeySize;
    if (f.Descending && !DescendingIndex && LanguageId == 0) {
      const std::size_t end = f.Type == ftcString ? at - 1 : at;
      for (std::size_t i = start; i < end; ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
    }
  }
  if (!Unique && SlotNumber != SysDeletedIndex && SlotNumber != SysTextIndex && at + 4 <= key.size())
    EncodeInteger32(key.subspan(at, 4), GetI32(record, RecordIdentifierOffset));
}

std::vector<std::uint8_t> TKeyDef::BuildKey(TConstBytes record) const {
  std::vector<std::uint8_t> key(Length);
  BuildKey(record, key);
  return key;
}

int TKeyDef::CompareText(TConstBytes a, TConstBytes b) const {
  if (LanguageId == 0 || !Collation) {
    int r = std::memcmp(a.data(), b.data(), a.size());
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }
  return Collation->Compare(std::string_view(reinterpret_cast<const char*>(a.data()), a.size()),
                            std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

namespace {
int Bytewise(TConstBytes a, TConstBytes b) {
  int r = std::memcmp(a.data(), b.data(), a.size() < b.size() ? a.size() : b.size());
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}
}  // namespace

int TKeyDef::Compare(TConstBytes a, TConstBytes b) const {
  a = a.first(Length);
  b = b.first(Length);
  if (SlotNumber == SysDeletedIndex) return Bytewise(a, b);
  if (SlotNumber == SysTextIndex) {
    if (int r = Bytewise(a.first(3), b.first(3))) return r;
    if (int r = CompareText(a.subspan(3, 61), b.subspan(3, 61))) return r;
    return Bytewise(a.subspan(64), b.subspan(64));
  }
  if (LanguageId == 0 || !Collation) {
    int r = Bytewise(a, b);
    return DescendingIndex ? -r : r;
  }
  std::size_t at = 0;
  for (const TKeyField& f : KeyFields) {
    const std::size_t width = 1 + f.KeySize;
    int r;
    if (f.Type == ftcString) {
      r = Bytewise(a.subspan(at, 1), b.subspan(at, 1));
      if (r == 0) r = CompareText(a.subspan(at + 1, f.KeySize), b.subspan(at + 1, f.KeySize));
    } else {
      r = Bytewise(a.subspan(at, width), b.subspan(at, width));
    }
    if (DescendingIndex || f.Descending) r = -r;
    if (r != 0) return r;
    at += width;
  }
  int r = Bytewise(a.subspan(at), b.subspan(at));
  return DescendingIndex ? -r : r;
}

std::vector<std::uint8_t> SysDeletedKey(std::uint8_t status, std::int32_t identifier) {
  std::vector<std::uint8_t> key(SysDeletedKeyLength);
  key[0] = status;
  EncodeInteger32(std::span(key).subspan(1, 4), identifier);
  return key;
}

}  // namespace store
