// The data file of a table: header, field descriptors and fixed-size record
// slots, with a cache of records that are read ahead in the direction of
// travel and written back in runs of consecutive slots.
//
// Contract: records handed out by GetRecord and NewRecord are pinned until
// ReleaseRecord; a pinned or dirty record is never replaced by bytes read
// from the disk. Header changes are kept in memory until WriteHeader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DataFormat.h"
#include "FileHandler.h"
#include "RecordCache.h"

namespace store {

enum class TDirection { drForward, drBackward };

struct TDataCreateParams {
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  std::string Description;
  std::string Password;
  bool Encrypted = false;
  std::vector<TFieldDesc> Fields;
  std::uint32_t BlobBlockSize = 0;
  std::uint16_t UserVersion1 = 0;
  std::uint16_t UserVersion2 = 0;
};

class TDataFile : public TFileHandler {
 public:
  explicit TDataFile(std::string tableName);
  ~TDataFile() override;

  // Numbers the fields 1 ... n and gives each its physical size and offset
  // (autoinc fields at the identifier, offset 5). Raises STORE_INVALIDFLDTYPE
  // for a type no table may hold or a declared size out of range.
  static void LayoutFields(std::vector<TFieldDesc>& fields, const std::string& table);

  // Builds header and descriptors in memory and makes the file; both reach
  // the disk with the first WriteHeader / WriteDescriptors.
  void CreateTable(const std::string& path, const TDataCreateParams& params, bool exclusive);
  void OpenTable(const std::string& path, TAccess access, bool exclusive);
  // Tests header, descriptors and file length together.
  void Verify();
  void Close() override;

  bool RefreshHeader();
  void ReloadHeader();
  // Takes a header read from disk after checking that the table's shape is unchanged.
  void TakeHeader(TDataHeader& fresh);
  bool WriteHeader(bool force, bool flushOs = false);
  bool WriteDescriptors();

  TRecord& GetRecord(std::int32_t recordNumber, bool readAhead, TDirection direction);
  void ReleaseRecord(TRecord& record);
  // A pinned, dirty record with status 0, its number and an identifier.
  // `reuseSlots` is false when the table has no primary-index fields.
  TRecord& NewRecord(bool reuseSlots, std::optional<std::int32_t> identifier = std::nullopt);
  void DeleteRecord(TRecord& record, bool reuseSlots);
  void MarkRecordDirty(TRecord& record) { record.Dirty = true; }
  bool FlushRecords();
  void TrimCache();
  // Drops every unpinned cached record (another process changed the file).
  void DiscardCache();

  std::int32_t NextRecordIdentifier();
  void SetLastAutoInc(std::int32_t value);
  TFieldDesc FieldByNumber(std::uint16_t number) const;
  // Replaces a descriptor's name, description, limits, default and flags;
  // the layout (number, type, sizes, offset) must stay as it is, else
  // STORE_INVALIDFLDTYPE. The descriptor block is rewritten at the next
  // header write.
  void SetFieldDescriptor(std::uint16_t number, const TFieldDesc& field);
  // 1-based number of the field, compared without regard to case; 0 if none.
  std::uint16_t FieldNumber(std::string_view name) const;
  const std::vector<TFieldDesc>& Fields() const { return FieldList; }
  std::int32_t RecordCount() const { return Header.NextRecord() - 1; }
  const TDataHeader& HeaderCopy() const { return Header; }
  std::uint64_t HeaderEnd() const { return DataHeaderSize + FieldDescSize * std::uint64_t{Header.FieldCount()}; }
  std::size_t RecordSize() const { return Header.RecordSize(); }
  bool HeaderDirty() const { return IsHeaderDirty; }
  void SetTableLocked(bool locked) { TableLocked = locked; }
  // While set, a full cache grows instead of writing dirty records early.
  void SetDeferWrites(bool defer) { DeferWrites = defer; }
  // The record cache holds bytes div record size records, at most `records`;
  // takes effect when the file is opened.
  void SetCacheLimits(std::size_t bytes, std::size_t records) {
    CacheBytes = bytes;
    CacheRecords = records < 1 ? 1 : records;
  }
  std::size_t CachedRecords() const { return Cache.Size(); }

  bool LockRecordByte(std::int32_t recordNumber);
  bool UnlockRecordByte(std::int32_t recordNumber);
  bool LockSemaphore(std::uint64_t holder);
  bool UnlockSemaphore(std::uint64_t holder);

 private:
  void ReadHeaderAndDescriptors();
  void SizeCache();
  TRecord& CacheSlot(std::int32_t recordNumber);
  std::uint64_t SlotOffset(std::int32_t recordNumber) const;
  void MarkHeaderDirty() { IsHeaderDirty = true; }

  TDataHeader Header;
  std::vector<TFieldDesc> FieldList;
  bool IsHeaderDirty = false;
  bool DescriptorsDirty = false;
  bool TableLocked = false;
  bool DeferWrites = false;
  std::size_t CacheBytes = 16384;
  std::size_t CacheRecords = 8192;
  std::size_t ReadAheadCount = 1;
  std::size_t BaseCapacity = 1;
  TRecordCache Cache;
  std::vector<std::uint8_t> IoBuffer;     // reads
  std::vector<std::uint8_t> WriteBuffer;  // runs being written, which may happen mid-read
};

}  // namespace store
