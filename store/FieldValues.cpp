#include "FieldValues.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "CharTable.h"
#include "StoreError.h"

namespace store {

int PhysicalSizeOf(std::uint8_t type, std::uint8_t declaredSize) {
  switch (type) {
    case ftcString: return declaredSize + 1;
    case ftcDate: return 4;
    case ftcBlob: return 8;
    case ftcBoolean: return 2;
    case ftcSmallint: return 2;
    case ftcInteger: return 4;
    case ftcFloat: return 8;
    case ftcBCD: return 34;
    case ftcBytes: return declaredSize;
    case ftcTime: return 4;
    case ftcTimestamp: return 8;
    case ftcWord: return 2;
    case ftcRawInteger: return 4;
    case ftcReal10: return 10;
    case ftcVarBytes: return declaredSize;
    case 16:
    case 17:
    case 19: return declaredSize;
    case ftcLargeint: return 8;
    default: return -1;
  }
}

bool TypeHasDeclaredSize(std::uint8_t type) {
  return type == ftcString || type == ftcBytes || type == ftcVarBytes;
}

std::int32_t DayNumber(int year, int month, int day) {
  // Days since 1970-01-01 (civil calendar), shifted so that 0001-01-01 is 1.
  int y = year - (month <= 2 ? 1 : 0);
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long long days1970 = static_cast<long long>(era) * 146097 + doe - 719468;
  return static_cast<std::int32_t>(days1970 + 719163);
}

namespace {

void CivilFromDays(std::int32_t dayNumber, int& year, int& month, int& day) {
  long long z = static_cast<long long>(dayNumber) - 719163 + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

bool ParseInt(std::string_view text, long long lo, long long hi, long long& out) {
  text = TrimText(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty() && out >= lo && out <= hi;
}

bool ParseDouble(std::string_view text, double& out) {
  std::string s(TrimText(text));
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && errno == 0 && std::isfinite(out);
}

bool ParseDate(std::string_view text, std::int32_t& out) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  std::string s(TrimText(text));
  if (std::sscanf(s.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return false;
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  int length = lengths[m - 1] + (m == 2 && leap ? 1 : 0);
  if (d > length) return false;
  out = DayNumber(y, m, d);
  return true;
}

bool ParseTime(std::string_view text, std::int32_t& out) {
  std::string s(TrimText(text));
  int h = 0, mi = 0, sec = 0, ms = 0, consumed = 0;
  if (std::sscanf(s.c_str(), "%2d:%2d%n", &h, &mi, &consumed) != 2) return false;
  std::size_t at = static_cast<std::size_t>(consumed);
  if (at < s.size() && s[at] == ':') {
    int c2 = 0;
    if (std::sscanf(s.c_str() + at, ":%2d%n", &sec, &c2) != 1) return false;
    at += static_cast<std::size_t>(c2);
    if (at < s.size() && s[at] == '.') {
      int c3 = 0;
      if (std::sscanf(s.c_str() + at, ".%3d%n", &ms, &c3) != 1) return false;
      at += static_cast<std::size_t>(c3);
    }
  }
  if (at != s.size() || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec > 59 || ms < 0) return false;
  out = ((h * 60 + mi) * 60 + sec) * 1000 + ms;
  return true;
}

bool ParseTimestamp(std::string_view text, double& out) {
  text = TrimText(text);
  std::size_t blank = text.find(' ');
  std::int32_t day = 0, ms = 0;
  if (!ParseDate(text.substr(0, blank), day)) return false;
  if (blank != std::string_view::npos && !ParseTime(text.substr(blank + 1), ms)) return false;
  out = static_cast<double>(day) * 86400000.0 + ms;
  return true;
}

void Now(std::int32_t& day, std::int32_t& ms) {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  day = DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  ms = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000;
}

template <typename T>
std::vector<std::uint8_t> BytesOf(T value) {
  std::vector<std::uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &value, sizeof(T));
  return out;
}

bool ParseBool(std::string_view text, std::uint16_t& out) {
  text = TrimText(text);
  if (SameTextNoCase(text, "true") || text == "1") return out = 1, true;
  if (SameTextNoCase(text, "false") || text == "0") return out = 0, true;
  return false;
}

// A decimal text as the 34-byte BCD record: precision, sign (bit 7) and
// scale, then up to 64 digits as nibbles, most significant first.
std::optional<std::vector<std::uint8_t>> ParseBCD(std::string_view text, std::uint8_t scale) {
  text = TrimText(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) negative = text[0] == '-', text.remove_prefix(1);
  std::string digits, fraction;
  bool point = false;
  for (char c : text) {
    if (c == '.' && !point) point = true;
    else if (c >= '0' && c <= '9') (point ? fraction : digits) += c;
    else return std::nullopt;
  }
  if (digits.empty() && fraction.empty()) return std::nullopt;
  if (fraction.size() > scale) return std::nullopt;
  fraction.append(scale - fraction.size(), '0');
  std::string all = digits + fraction;
  while (all.size() > 1 && all[0] == '0') all.erase(0, 1);
  if (all.size() > 32) return std::nullopt;
  std::vector<std::uint8_t> out(34, 0);
  out[0] = static_cast<std::uint8_t>(all.size());
  out[1] = static_cast<std::uint8_t>((negative ? 0x80 : 0) | (scale & 0x3F));
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::uint8_t nibble = static_cast<std::uint8_t>(all[i] - '0');
    out[2 + i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? nibble << 4 : nibble);
  }
  return out;
}

std::size_t ValueStart(const TFieldDesc& f) { return static_cast<std::size_t>(f.Offset()) + 1; }

void CheckBounds(std::size_t recordSize, const TFieldDesc& f, const std::string& table) {
  if (f.IsAutoInc()) {
    if (recordSize < RecordIdentifierOffset + 4) RaiseStoreError(STORE_FILECORRUPT, table);
    return;
  }
  if (static_cast<std::size_t>(f.Offset()) + 1 + f.PhysicalSize() > recordSize)
    RaiseStoreError(STORE_FILECORRUPT, table);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> NativeFromText(const TFieldDesc& field, std::string_view text,
                                                        bool defaultWords) {
  long long i = 0;
  double d = 0;
  std::int32_t day = 0, ms = 0;
  switch (field.Type()) {
    case ftcString: return std::vector<std::uint8_t>(text.begin(), text.end());
    case ftcDate:
      if (defaultWords && SameTextNoCase(TrimText(text), "CURRENT_DATE")) return Now(day, ms), BytesOf(day);
      if (!ParseDate(text, day)) return std::nullopt;
      return BytesOf(day);
    case ftcTime:
      if (defaultWords && SameTextNoCase(TrimText(text), "CURRENT_TIME")) return Now(day, ms), BytesOf(ms);
      if (!ParseTime(text, ms)) return std::nullopt;
      return BytesOf(ms);
    case ftcTimestamp:
      if (defaultWords) {
        std::string_view word = TrimText(text);
        if (SameTextNoCase(word, "CURRENT_TIMESTAMP")) return Now(day, ms), BytesOf(day * 86400000.0 + ms);
        if (SameTextNoCase(word, "CURRENT_DATE")) return Now(day, ms), BytesOf(day * 86400000.0);
        if (SameTextNoCase(word, "CURRENT_TIME")) return Now(day, ms), BytesOf(static_cast<double>(ms));
      }
      if (!ParseTimestamp(text, d)) return std::nullopt;
      return BytesOf(d);
    case ftcBoolean: {
      std::uint16_t b = 0;
      if (!ParseBool(text, b)) return std::nullopt;
      return BytesOf(b);
    }
    case ftcSmallint:
      if (!ParseInt(text, -32768, 32767, i)) return std::nullopt;
      return BytesOf(static_cast<std::int16_t>(i));
    case ftcWord:
      if (!ParseInt(text, 0, 65535, i)) return std::nullopt;
      return BytesOf(static_cast<std::uint16_t>(i));
    case ftcInteger:
    case ftcRawInteger:
      if (!ParseInt(text, -2147483648ll, 2147483647ll, i)) return std::nullopt;
      return BytesOf(static_cast<std::int32_t>(i));
    case ftcLargeint:
      if (!ParseInt(text, INT64_MIN, INT64_MAX, i)) return std::nullopt;
      return BytesOf(static_cast<std::int64_t>(i));
    case ftcFloat:
      if (!ParseDouble(text, d)) return std::nullopt;
      return BytesOf(d);
    case ftcBCD: return ParseBCD(text, field.Scale());
    case ftcBytes:
    case ftcVarBytes: {
      // Hexadecimal, two digits a byte, as FieldAsText writes them; missing
      // bytes at the end are zero.
      const std::size_t size = field.PhysicalSize();
      if (text.size() % 2 != 0 || text.size() / 2 > size) return std::nullopt;
      std::vector<std::uint8_t> bytes(size, 0);
      auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
      };
      for (std::size_t k = 0; k < text.size(); k += 2) {
        const int high = digit(text[k]), low = digit(text[k + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[k / 2] = static_cast<std::uint8_t>(high * 16 + low);
      }
      return bytes;
    }
    default: return std::nullopt;  // no text form (BLOBs)
  }
}

bool TextValidForField(const TFieldDesc& field, std::string_view text, bool defaultWords) {
  if (text.empty()) return true;
  if (field.Type() == ftcString) return text.size() <= field.DeclaredSize();
  return NativeFromText(field, text, defaultWords).has_value();
}

void PutFieldNull(TBytes record, const TFieldDesc& field, const std::string& table) {
  if (field.NoStorage() || field.IsAutoInc()) return;
  CheckBounds(record.size(), field, table);
  std::memset(record.data() + field.Offset(), 0, 1 + static_cast<std::size_t>(field.PhysicalSize()));
}

void PutFieldString(TBytes record, const TFieldDesc& field, std::string_view text, const std::string& table) {
  if (field.NoStorage()) return;
  if (field.Type() != ftcString) {
    PutFieldText(record, field, text, table);
    return;
  }
  CheckBounds(record.size(), field, table);
  if (text.size() > field.PhysicalSize()) text = text.substr(0, field.PhysicalSize());
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::string value(text);
  if (field.CaseOption() == 1) value = LowerText(value);
  if (field.CaseOption() == 2) value = UpperText(value);
  if (value.size() > field.DeclaredSize()) value.resize(field.DeclaredSize());
  std::memset(record.data() + field.Offset(), 0, 1 + static_cast<std::size_t>(field.PhysicalSize()));
  if (value.empty()) return;
  record[field.Offset()] = 1;
  std::memcpy(record.data() + ValueStart(field), value.data(), value.size());
}

void PutFieldNative(TBytes record, const TFieldDesc& field, TConstBytes native, const std::string& table) {
  if (field.NoStorage()) return;
  CheckBounds(record.size(), field, table);
  if (field.IsAutoInc()) {
    if (native.size() < 4) RaiseStoreError(STORE_INVALIDFLDTYPE, table, {}, field.Name());
    std::memcpy(record.data() + RecordIdentifierOffset, native.data(), 4);
    return;
  }
  const std::size_t size = field.PhysicalSize();
  if (native.size() < size) RaiseStoreError(STORE_INVALIDFLDTYPE, table, {}, field.Name());
  record[field.Offset()] = 1;
  std::memcpy(record.data() + ValueStart(field), native.data(), size);
  if (field.Type() == ftcBoolean) {
    std::uint16_t v = GetU16(record, ValueStart(field)) != 0 ? 1 : 0;
    PutU16(record, ValueStart(field), v);
  }
  if (field.Type() == ftcBlob) {
    bool set = GetU32(record, ValueStart(field)) != 0;
    record[field.Offset()] = set ? 1 : 0;
  }
}

bool PutFieldText(TBytes record, const TFieldDesc& field, std::string_view text, const std::string& table) {
  if (field.Type() == ftcString) {
    PutFieldString(record, field, text, table);
    return true;
  }
  auto native = NativeFromText(field, text, false);
  if (!native) return false;
  PutFieldNative(record, field, *native, table);
  return true;
}

bool GetField(TConstBytes record, const TFieldDesc& field, std::span<std::uint8_t> out, const std::string& table) {
  CheckBounds(record.size(), field, table);
  if (field.IsAutoInc()) {
    if (out.size() >= 4) std::memcpy(out.data(), record.data() + RecordIdentifierOffset, 4);
    return true;
  }
  const std::size_t size = field.PhysicalSize();
  if (out.size() >= size) std::memcpy(out.data(), record.data() + ValueStart(field), size);
  return record[field.Offset()] != 0;
}

std::string FieldAsText(TConstBytes record, const TFieldDesc& field, const std::string& table) {
  std::vector<std::uint8_t> value(field.IsAutoInc() ? 4 : field.PhysicalSize() + 1u, 0);
  if (!GetField(record, field, value, table)) return {};
  char buffer[64];
  switch (field.Type()) {
    case ftcString: return std::string(reinterpret_cast<const char*>(value.data()));
    case ftcBoolean: return GetU16(value, 0) ? "True" : "False";
    case ftcSmallint: return std::to_string(GetLE<std::int16_t>(value, 0));
    case ftcWord: return std::to_string(GetU16(value, 0));
    case ftcInteger:
    case ftcRawInteger: return std::to_string(GetI32(value, 0));
    case ftcLargeint: return std::to_string(GetI64(value, 0));
    case ftcFloat: std::snprintf(buffer, sizeof buffer, "%.17g", GetF64(value, 0)); return buffer;
    case ftcDate: {
      int y, m, d;
      CivilFromDays(GetI32(value, 0), y, m, d);
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
      return buffer;
    }
    case ftcTime: {
      std::int32_t t = GetI32(value, 0);
      std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", t / 3600000, t / 60000 % 60, t / 1000 % 60,
                    t % 1000);
      return buffer;
    }
    case ftcTimestamp: {
      double v = GetF64(value, 0);
      long long total = static_cast<long long>(v);
      int y, m, d;
      CivilFromDays(static_cast<std::int32_t>(total / 86400000), y, m, d);
      long long t = total % 86400000;
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02lld:%02lld:%02lld.%03lld", y, m, d, t / 3600000,
                    t / 60000 % 60, t / 1000 % 60, t % 1000);
      return buffer;
    }
    default: {
      std::string hex;
      for (std::size_t i = 0; i < field.PhysicalSize(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", value[i]);
        hex += buffer;
      }
      return hex;
    }
  }
}

namespace {

// A BCD value as its sign and its digits, `Scale` of them after the point.
struct TDecimal {
  bool Negative = false;
  std::string Digits;
  int Scale = 0;
};

// Nothing when the precision needs more nibbles than the value holds or a
// digit is not decimal.
std::optional<TDecimal> DecodeBCD(TConstBytes value) {
  if (value.size() < 2) return std::nullopt;
  const std::size_t precision = value[0];
  if (precision > (value.size() - 2) * 2) return std::nullopt;
  TDecimal decimal{(value[1] & 0x80) != 0, {}, value[1] & 0x3F};
  for (std::size_t i = 0; i < precision; ++i) {
    const std::uint8_t byte = value[2 + i / 2];
    const int digit = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    if (digit > 9) return std::nullopt;
    decimal.Digits += static_cast<char>('0' + digit);
  }
  return decimal;
}

std::partial_ordering CompareBCD(TConstBytes a, TConstBytes b) {
  std::optional<TDecimal> x = DecodeBCD(a), y = DecodeBCD(b);
  if (!x || !y) return std::partial_ordering::unordered;
  // With the same number of fraction digits and no leading zeros, the longer
  // magnitude is the larger, and equal lengths compare digit by digit.
  const int scale = std::max(x->Scale, y->Scale);
  auto magnitude = [scale](TDecimal& d) {
    d.Digits.append(static_cast<std::size_t>(scale - d.Scale), '0');
    d.Digits.erase(0, std::min(d.Digits.find_first_not_of('0'), d.Digits.size()));
    return d.Digits;
  };
  const std::string mx = magnitude(*x), my = magnitude(*y);
  const bool xNegative = x->Negative && !mx.empty(), yNegative = y->Negative && !my.empty();  // -0 is 0
  if (xNegative != yNegative) return xNegative ? std::partial_ordering::less : std::partial_ordering::greater;
  const std::strong_ordering order = mx.size() != my.size() ? mx.size() <=> my.size() : mx.compare(my) <=> 0;
  return xNegative ? 0 <=> order : order;
}

std::strong_ordering CompareBytes(TConstBytes a, TConstBytes b) {
  return std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end());
}

// Two stored values of the field's type (physical-size bytes; strings as
// their characters).
std::partial_ordering CompareNatives(const TFieldDesc& field, TConstBytes a, TConstBytes b) {
  const std::size_t size = field.Type() == ftcString ? 0 : static_cast<std::size_t>(field.PhysicalSize());
  if (a.size() < size || b.size() < size) return std::partial_ordering::unordered;
  switch (field.Type()) {
    case ftcSmallint: return GetLE<std::int16_t>(a, 0) <=> GetLE<std::int16_t>(b, 0);
    case ftcWord: return GetU16(a, 0) <=> GetU16(b, 0);
    case ftcBoolean: return (GetU16(a, 0) != 0) <=> (GetU16(b, 0) != 0);
    case ftcInteger:
    case ftcRawInteger:
    case ftcDate:
    case ftcTime: return GetI32(a, 0) <=> GetI32(b, 0);
    case ftcLargeint: return GetI64(a, 0) <=> GetI64(b, 0);
    case ftcFloat:
    case ftcTimestamp: return GetF64(a, 0) <=> GetF64(b, 0);
    case ftcBCD: return CompareBCD(a, b);
    default: return CompareBytes(a, b);
  }
}

}  // namespace

std::optional<std::partial_ordering> CompareFieldWithLimit(TConstBytes record, const TFieldDesc& field,
                                                           std::string_view limitText, const std::string& table) {
  const std::optional<std::vector<std::uint8_t>> limit = NativeFromText(field, limitText, false);
  if (!limit) return std::nullopt;
  std::vector<std::uint8_t> value(field.IsAutoInc() ? 4 : field.PhysicalSize(), 0);
  GetField(record, field, value, table);
  // A stored string ends at its first zero byte.
  if (field.Type() == ftcString) value.erase(std::find(value.begin(), value.end(), 0), value.end());
  return CompareNatives(field, value, *limit);
}

void InitRecordBuffer(TBytes record, std::span<const TFieldDesc> fields, const std::string& table) {
  std::memset(record.data(), 0, record.size());
  for (const TFieldDesc& field : fields) {
    std::string text = field.DefaultValue();
    if (text.empty() || field.IsAutoInc()) continue;
    if (field.Type() == ftcString) {
      PutFieldString(record, field, text, table);
      continue;
    }
    auto native = NativeFromText(field, text, true);
    if (native) PutFieldNative(record, field, *native, table);
  }
}

}  // namespace store
