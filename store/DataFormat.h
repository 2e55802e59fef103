// The data file's header and field descriptors as byte images with named
// accessors, so that reserved bytes travel through unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "StoreExport.h"
#include "Bytes.h"

namespace store {

constexpr std::size_t DataHeaderSize = 127;
constexpr std::size_t FieldDescSize = 768;
constexpr std::uint8_t DataFileVersion = 5;
constexpr std::int64_t EngineVersionStamp = 32700;
constexpr std::uint16_t MaxFields = 1024;
constexpr std::uint16_t MaxBlobFields = 128;
constexpr std::int32_t MaxRecordNumber = 200000000;
constexpr std::uint64_t MaxFileBytes = 4000000000ull;
constexpr std::uint64_t SemaphoreByte = 4294967295ull;
constexpr std::uint64_t RecordLockBase = 4294967294ull;  // record n locks RecordLockBase - n

// Type codes of field descriptors.
enum TFieldTypeCode : std::uint8_t {
  ftcString = 1,
  ftcDate = 2,
  ftcBlob = 3,
  ftcBoolean = 4,
  ftcSmallint = 5,
  ftcInteger = 6,
  ftcFloat = 7,
  ftcBCD = 8,
  ftcBytes = 9,
  ftcTime = 10,
  ftcTimestamp = 11,
  ftcWord = 12,
  ftcRawInteger = 13,
  ftcReal10 = 14,
  ftcVarBytes = 15,
  ftcLargeint = 18,
};
constexpr std::uint8_t SubtypeFixedChar = 31;
constexpr std::uint8_t SubtypeAutoInc = 29;
constexpr std::uint8_t SubtypeCurrency = 21;

class SAUNO_STORE_EXPORT TDataHeader {
 public:
  TDataHeader() { Bytes.fill(0); }
  TBytes Raw() { return Bytes; }
  TConstBytes Raw() const { return Bytes; }

  std::uint32_t ChangeCounter() const { return GetU32(Bytes, 0); }
  void SetChangeCounter(std::uint32_t v) { PutU32(Bytes, 0, v); }
  std::uint32_t BlobBlockSize() const { return GetU32(Bytes, 4); }
  void SetBlobBlockSize(std::uint32_t v) { PutU32(Bytes, 4, v); }
  std::uint8_t Version() const { return Bytes[8]; }
  void SetVersion(std::uint8_t v) { Bytes[8] = v; }
  std::int32_t FirstDeleted() const { return GetI32(Bytes, 9); }
  void SetFirstDeleted(std::int32_t v) { PutI32(Bytes, 9, v); }
  std::int32_t NextRecord() const { return GetI32(Bytes, 13); }
  void SetNextRecord(std::int32_t v) { PutI32(Bytes, 13, v); }
  std::int32_t LastAutoInc() const { return GetI32(Bytes, 17); }
  void SetLastAutoInc(std::int32_t v) { PutI32(Bytes, 17, v); }
  std::uint16_t RecordSize() const { return GetU16(Bytes, 21); }
  void SetRecordSize(std::uint16_t v) { PutU16(Bytes, 21, v); }
  std::uint16_t FieldCount() const { return GetU16(Bytes, 23); }
  void SetFieldCount(std::uint16_t v) { PutU16(Bytes, 23, v); }
  std::uint16_t BlobFieldCount() const { return GetU16(Bytes, 25); }
  void SetBlobFieldCount(std::uint16_t v) { PutU16(Bytes, 25, v); }
  double LastUpdate() const { return GetF64(Bytes, 27); }
  void SetLastUpdate(double v) { PutF64(Bytes, 27, v); }
  std::string Description() const { return GetLenStr(Bytes, 35, 50); }
  void SetDescription(std::string_view v) { PutLenStr(Bytes, 35, 50, v); }
  std::uint8_t Encrypted() const { return Bytes[86]; }
  void SetEncrypted(std::uint8_t v) { Bytes[86] = v; }
  std::string Password() const { return GetLenStr(Bytes, 87, 15); }
  std::uint16_t LanguageId() const { return GetU16(Bytes, 103); }
  void SetLanguageId(std::uint16_t v) { PutU16(Bytes, 103, v); }
  std::uint16_t SortId() const { return GetU16(Bytes, 105); }
  void SetSortId(std::uint16_t v) { PutU16(Bytes, 105, v); }
  std::uint16_t UserVersion1() const { return GetU16(Bytes, 107); }
  void SetUserVersion1(std::uint16_t v) { PutU16(Bytes, 107, v); }
  std::uint16_t UserVersion2() const { return GetU16(Bytes, 109); }
  void SetUserVersion2(std::uint16_t v) { PutU16(Bytes, 109, v); }
  std::uint8_t DirtyMarker() const { return Bytes[111]; }
  void SetDirtyMarker(std::uint8_t v) { Bytes[111] = v; }
  std::int32_t LastBlobNumber() const { return GetI32(Bytes, 112); }
  void SetLastBlobNumber(std::int32_t v) { PutI32(Bytes, 112, v); }
  std::int64_t EngineVersion() const { return GetI64(Bytes, 116); }
  void SetEngineVersion(std::int64_t v) { PutI64(Bytes, 116, v); }

 private:
  std::array<std::uint8_t, DataHeaderSize> Bytes;
};

class SAUNO_STORE_EXPORT TFieldDesc {
 public:
  TFieldDesc() { Bytes.fill(0); }
  TBytes Raw() { return Bytes; }
  TConstBytes Raw() const { return Bytes; }

  std::uint16_t Number() const { return GetU16(Bytes, 0); }
  void SetNumber(std::uint16_t v) { PutU16(Bytes, 0, v); }
  std::uint8_t NameLength() const { return Bytes[2]; }
  std::string Name() const { return GetLenStr(Bytes, 2, 30); }
  void SetName(std::string_view v) { PutLenStr(Bytes, 2, 30, v); }
  std::string Description() const { return GetLenStr(Bytes, 33, 50); }
  void SetDescription(std::string_view v) { PutLenStr(Bytes, 33, 50, v); }
  std::uint8_t Type() const { return Bytes[84]; }
  void SetType(std::uint8_t v) { Bytes[84] = v; }
  std::uint8_t Subtype() const { return Bytes[85]; }
  void SetSubtype(std::uint8_t v) { Bytes[85] = v; }
  std::uint8_t DeclaredSize() const { return Bytes[86]; }
  void SetDeclaredSize(std::uint8_t v) { Bytes[86] = v; }
  std::uint8_t Scale() const { return Bytes[87]; }
  void SetScale(std::uint8_t v) { Bytes[87] = v; Bytes[89] = v; }
  std::uint8_t PhysicalSize() const { return Bytes[88]; }
  void SetPhysicalSize(std::uint8_t v) { Bytes[88] = v; }
  std::uint8_t ScaleCopy() const { return Bytes[89]; }
  std::uint16_t Offset() const { return GetU16(Bytes, 90); }
  void SetOffset(std::uint16_t v) { PutU16(Bytes, 90, v); }
  std::uint8_t Required() const { return Bytes[92]; }
  void SetRequired(std::uint8_t v) { Bytes[92] = v; }
  std::uint8_t CaseOption() const { return Bytes[93]; }
  void SetCaseOption(std::uint8_t v) { Bytes[93] = v; }
  std::uint8_t MinLength() const { return Bytes[94]; }
  std::string MinValue() const { return GetLenStr(Bytes, 94, 50); }
  void SetMinValue(std::string_view v) { PutLenStr(Bytes, 94, 50, v); }
  std::uint8_t MaxLength() const { return Bytes[145]; }
  std::string MaxValue() const { return GetLenStr(Bytes, 145, 50); }
  void SetMaxValue(std::string_view v) { PutLenStr(Bytes, 145, 50, v); }
  std::uint8_t DefaultLength() const { return Bytes[196]; }
  std::string DefaultValue() const { return GetLenStr(Bytes, 196, 50); }
  void SetDefaultValue(std::string_view v) { PutLenStr(Bytes, 196, 50, v); }
  std::uint8_t NoStorage() const { return Bytes[247]; }
  void SetNoStorage(std::uint8_t v) { Bytes[247] = v; }
  std::uint8_t Hidden() const { return Bytes[252]; }
  void SetHidden(std::uint8_t v) { Bytes[252] = v; }

  bool IsAutoInc() const { return Type() == ftcInteger && Subtype() == SubtypeAutoInc; }
  bool IsBlob() const { return Type() == ftcBlob; }
  bool IsString() const { return Type() == ftcString; }

 private:
  std::array<std::uint8_t, FieldDescSize> Bytes;
};

// Bytes the value of a field of this type occupies in a record (without the
// indicator byte); -1 for a code that no table may hold.
SAUNO_STORE_EXPORT int PhysicalSizeOf(std::uint8_t type, std::uint8_t declaredSize);
// Whether the type takes a declared size (1 ... 250).
SAUNO_STORE_EXPORT bool TypeHasDeclaredSize(std::uint8_t type);

}  // namespace store
