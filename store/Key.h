// Keys of an index: how a key is built from a record so that comparing its
// bytes orders records, and how two keys compare.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "StoreExport.h"
#include "Bytes.h"
#include "Collation.h"
#include "DataFormat.h"
#include "IndexFormat.h"

namespace store {

struct SAUNO_STORE_EXPORT TKeyField {
  std::uint8_t Type = 0;
  std::uint8_t Subtype = 0;
  std::uint16_t Offset = 0;
  std::size_t PhysicalSize = 0;
  std::size_t KeySize = 0;
  bool Descending = false;
  bool AutoInc = false;
};

// Key size of a field in a key (without its indicator byte).
SAUNO_STORE_EXPORT std::size_t KeySizeOf(const TFieldDesc& field);

class SAUNO_STORE_EXPORT TKeyDef {
 public:
  // Everything needed to build and compare the keys of one index slot. The
  // descriptor must have passed verification against `fields` (or been made
  // by the index definition operations). `collation` is needed only for a
  // non-zero language identifier.
  TKeyDef(const TIndexDesc& desc, int slot, std::span<const TFieldDesc> fields, std::uint16_t languageId,
          std::shared_ptr<const TCollation> collation);

  std::size_t KeyLength() const { return Length; }
  // Bytes of the key proper: all of it in a unique index, else all but the
  // 4-byte identifier suffix.
  std::size_t ProperLength() const { return Unique ? Length : (Length >= 4 ? Length - 4 : 0); }
  bool IsUnique() const { return Unique; }
  bool IsDescending() const { return DescendingIndex; }
  bool HasCounts() const { return Counts; }
  std::uint8_t Compression() const { return CompressionMode; }
  int Slot() const { return SlotNumber; }
  const std::vector<TKeyField>& Fields() const { return KeyFields; }

  // Builds the key of a record image (record size bytes) into `key`.
  void BuildKey(TConstBytes record, TBytes key) const;
  std::vector<std::uint8_t> BuildKey(TConstBytes record) const;
  // Negative, zero or positive as a sorts before, with or after b.
  int Compare(TConstBytes a, TConstBytes b) const;

 private:
  int CompareText(TConstBytes a, TConstBytes b) const;

  int SlotNumber;
  std::size_t Length;
  bool Unique;
  bool DescendingIndex;
  bool CaseInsensitive;
  bool Counts;
  std::uint8_t CompressionMode;
  std::uint16_t LanguageId;
  std::vector<TKeyField> KeyFields;
  std::shared_ptr<const TCollation> Collation;
};

// The "Sys Deleted" key of a slot: status byte, then the identifier encoded
// as an integer key value.
SAUNO_STORE_EXPORT std::vector<std::uint8_t> SysDeletedKey(std::uint8_t status, std::int32_t identifier);
// Key value encodings (order-preserving, big-endian).
SAUNO_STORE_EXPORT void EncodeInteger32(TBytes out, std::int32_t value);
SAUNO_STORE_EXPORT void EncodeDouble(TBytes out, double value);

}  // namespace store
