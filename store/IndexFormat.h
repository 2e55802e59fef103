// The index file's header and index descriptors as byte images with named
// accessors, so that reserved bytes travel through unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "StoreExport.h"
#include "Bytes.h"

namespace store {

constexpr std::size_t PageSize = 4096;
constexpr std::size_t PageEntryBytes = 4083;
constexpr std::size_t PageHeaderBytes = 13;
constexpr std::size_t IndexDescSize = 120;
constexpr std::size_t IndexDescOffset = 14;
constexpr int IndexSlots = 33;
constexpr int PrimaryIndex = 0;
constexpr int MaxSecondaryIndexes = 30;
constexpr int SysDeletedIndex = 31;
constexpr int SysTextIndex = 32;
constexpr int MaxKeyFields = 16;
constexpr std::size_t MaxKeyLength = 522;
constexpr std::uint8_t IndexFileVersion = 5;
constexpr std::int32_t MaxPageNumber = 2000000000;
constexpr std::uint64_t IndexLockRangeStart = 4294901759ull;
constexpr std::uint64_t IndexLockRangeLength = 65536ull;
constexpr std::uint64_t ReadLockTop = 4294967295ull;  // read lock r sits at ReadLockTop - r
constexpr std::size_t SysDeletedKeyLength = 5;
constexpr std::size_t SysTextKeyLength = 68;

class SAUNO_STORE_EXPORT TIndexDesc {
 public:
  explicit TIndexDesc(std::uint8_t* bytes) : Bytes(bytes, IndexDescSize) {}
  TBytes Raw() { return Bytes; }
  TConstBytes Raw() const { return Bytes; }

  std::uint8_t NameLength() const { return Bytes[0]; }
  std::string Name() const { return GetLenStr(Bytes, 0, 30); }
  void SetName(std::string_view v) { PutLenStr(Bytes, 0, 30, v); }
  std::uint16_t KeyLength() const { return GetU16(Bytes, 31); }
  void SetKeyLength(std::uint16_t v) { PutU16(Bytes, 31, v); }
  bool Descending() const { return Bytes[33] != 0; }
  void SetDescending(bool v) { Bytes[33] = v ? 1 : 0; }
  bool CaseInsensitive() const { return Bytes[34] != 0; }
  void SetCaseInsensitive(bool v) { Bytes[34] = v ? 1 : 0; }
  bool Unique() const { return Bytes[35] != 0; }
  void SetUnique(bool v) { Bytes[35] = v ? 1 : 0; }
  std::uint8_t Compression() const { return Bytes[36]; }
  void SetCompression(std::uint8_t v) { Bytes[36] = v; }
  std::uint8_t FieldCount() const { return Bytes[37]; }
  void SetFieldCount(std::uint8_t v) { Bytes[37] = v; }
  bool FieldDescending(int i) const { return Bytes[38 + static_cast<std::size_t>(i)] != 0; }
  void SetFieldDescending(int i, bool v) { Bytes[38 + static_cast<std::size_t>(i)] = v ? 1 : 0; }
  std::uint16_t FieldNumber(int i) const { return GetU16(Bytes, 54 + 2 * static_cast<std::size_t>(i)); }
  void SetFieldNumber(int i, std::uint16_t v) { PutU16(Bytes, 54 + 2 * static_cast<std::size_t>(i), v); }
  std::int32_t Root() const { return GetI32(Bytes, 86); }
  void SetRoot(std::int32_t v) { PutI32(Bytes, 86, v); }
  std::int32_t FreeHead() const { return GetI32(Bytes, 90); }
  void SetFreeHead(std::int32_t v) { PutI32(Bytes, 90, v); }
  std::int32_t ParameterPage() const { return GetI32(Bytes, 96); }
  void SetParameterPage(std::int32_t v) { PutI32(Bytes, 96, v); }
  bool NoCounts() const { return Bytes[100] != 0; }
  void SetNoCounts(bool v) { Bytes[100] = v ? 1 : 0; }
  bool Temporary() const { return Bytes[101] != 0; }

 private:
  std::span<std::uint8_t> Bytes;
};

class SAUNO_STORE_EXPORT TIndexHeader {
 public:
  TIndexHeader() { Bytes.fill(0); }
  TIndexHeader(const TIndexHeader& other) : Bytes(other.Bytes) {}
  TIndexHeader& operator=(const TIndexHeader& other) {
    Bytes = other.Bytes;
    return *this;
  }
  TBytes Raw() { return Bytes; }
  TConstBytes Raw() const { return Bytes; }

  std::uint32_t ChangeCounter() const { return GetU32(Bytes, 0); }
  void SetChangeCounter(std::uint32_t v) { PutU32(Bytes, 0, v); }
  std::uint8_t Version() const { return Bytes[8]; }
  void SetVersion(std::uint8_t v) { Bytes[8] = v; }
  std::int32_t NextPage() const { return GetI32(Bytes, 9); }
  void SetNextPage(std::int32_t v) { PutI32(Bytes, 9, v); }
  std::uint8_t SecondaryCount() const { return Bytes[13]; }
  void SetSecondaryCount(std::uint8_t v) { Bytes[13] = v; }
  TIndexDesc Desc(int slot) { return TIndexDesc(Bytes.data() + IndexDescOffset + IndexDescSize * slot); }
  const TIndexDesc Desc(int slot) const {
    return TIndexDesc(const_cast<std::uint8_t*>(Bytes.data()) + IndexDescOffset + IndexDescSize * slot);
  }
  std::int32_t ActiveRecords() const { return GetI32(Bytes, 3974); }
  void SetActiveRecords(std::int32_t v) { PutI32(Bytes, 3974, v); }
  bool NoPrimaryFields() const { return Bytes[3978] != 0; }
  std::uint8_t NoPrimaryFieldsByte() const { return Bytes[3978]; }
  void SetNoPrimaryFields(bool v) { Bytes[3978] = v ? 1 : 0; }
  std::uint8_t DirtyMarker() const { return Bytes[3979]; }
  void SetDirtyMarker(std::uint8_t v) { Bytes[3979] = v; }

 private:
  std::array<std::uint8_t, PageSize> Bytes;
};

}  // namespace store
