// Little-endian and big-endian field access on byte spans. Every access is
// bounds-checked by the caller's span; out-of-range offsets are programming
// errors and stop with an assertion.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace store {

using TBytes = std::span<std::uint8_t>;
using TConstBytes = std::span<const std::uint8_t>;

template <typename T>
inline T GetLE(TConstBytes bytes, std::size_t offset) {
  assert(offset + sizeof(T) <= bytes.size());
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof(T));  // host is little-endian (x86-64)
  return value;
}

template <typename T>
inline void PutLE(TBytes bytes, std::size_t offset, T value) {
  assert(offset + sizeof(T) <= bytes.size());
  std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

inline std::uint8_t GetU8(TConstBytes b, std::size_t o) { return GetLE<std::uint8_t>(b, o); }
inline std::uint16_t GetU16(TConstBytes b, std::size_t o) { return GetLE<std::uint16_t>(b, o); }
inline std::uint32_t GetU32(TConstBytes b, std::size_t o) { return GetLE<std::uint32_t>(b, o); }
inline std::int32_t GetI32(TConstBytes b, std::size_t o) { return GetLE<std::int32_t>(b, o); }
inline std::int64_t GetI64(TConstBytes b, std::size_t o) { return GetLE<std::int64_t>(b, o); }
inline double GetF64(TConstBytes b, std::size_t o) { return GetLE<double>(b, o); }
inline void PutU8(TBytes b, std::size_t o, std::uint8_t v) { PutLE(b, o, v); }
inline void PutU16(TBytes b, std::size_t o, std::uint16_t v) { PutLE(b, o, v); }
inline void PutU32(TBytes b, std::size_t o, std::uint32_t v) { PutLE(b, o, v); }
inline void PutI32(TBytes b, std::size_t o, std::int32_t v) { PutLE(b, o, v); }
inline void PutI64(TBytes b, std::size_t o, std::int64_t v) { PutLE(b, o, v); }
inline void PutF64(TBytes b, std::size_t o, double v) { PutLE(b, o, v); }

// Writes the low `width` bytes of `value` most significant first.
inline void PutBE(TBytes bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
  assert(offset + width <= bytes.size());
  for (std::size_t i = 0; i < width; ++i)
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

// A length-prefixed text of at most `capacity` characters (capacity + 1 bytes).
// A length byte above capacity is clipped, so reading never leaves the field.
inline std::string GetLenStr(TConstBytes b, std::size_t o, std::size_t capacity) {
  assert(o + capacity + 1 <= b.size());
  std::size_t len = b[o];
  if (len > capacity) len = capacity;
  return std::string(reinterpret_cast<const char*>(b.data() + o + 1), len);
}

// Stores the text cut to capacity; the unused bytes become zero.
inline void PutLenStr(TBytes b, std::size_t o, std::size_t capacity, std::string_view text) {
  assert(o + capacity + 1 <= b.size());
  std::size_t len = text.size() < capacity ? text.size() : capacity;
  std::memset(b.data() + o, 0, capacity + 1);
  b[o] = static_cast<std::uint8_t>(len);
  std::memcpy(b.data() + o + 1, text.data(), len);
}

}  // namespace store
