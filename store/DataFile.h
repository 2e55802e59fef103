// The data file of a table: header, field descriptors and fixed-size record
// slots, with a cache of records that are read ahead in the direction of
// travel and written back in runs of consecutive slots.
//
// Contract: records handed out by GetRecord and NewRecord are pinned until
// ReleaseRecord; a pinned or dirty record is never replaced by bytes read
// from the disk. Header changes are kept in memory until WriteHeader.
#pragma once

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "StoreExport.h"
#include "DataFormat.h"
#include "FileHandler.h"
#include "RecordCache.h"

namespace store {

enum class TDirection { drForward, drBackward };

struct SAUNO_STORE_EXPORT TDataCreateParams {
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

class SAUNO_STORE_EXPORT TDataFile : public TFileHandler {
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
  // The two halves of Verify: header and descriptors, then the file's
  // length against the header's slot count and deleted chain head.
  void VerifyLayout();
  void VerifyLength();
  void Close() override;

  bool RefreshHeader();
  void ReloadHeader();
  // Takes a header read from disk after checking that the table's shape is unchanged.
  void TakeHeader(TDataHeader& fresh);
  // Replaces the header copy in memory (same table shape); written by the
  // next WriteHeader.
  void ReplaceHeader(const TDataHeader& header) {
    Header = header;
    IsHeaderDirty = true;
  }
  // Writes the header (change counter + 1) and then the descriptor block
  // when it is dirty.
  bool WriteHeader(bool force, bool flushOs = false);
  // Writes these header bytes as they are (no counter step, no stamp): how
  // an undone commit puts back exactly the header it replaced.
  void WriteRawHeader(const TDataHeader& header);
  bool WriteDescriptors();
  bool DescriptorsDirty() const { return DescriptorsPending; }
  // The header as it is in the file: as last read or written.
  const TDataHeader& DiskHeader() const { return OnDisk; }
  std::int32_t DiskRecordCount() const { return OnDisk.NextRecord() - 1; }

  TRecord& GetRecord(std::int32_t recordNumber, bool readAhead, TDirection direction);
  void ReleaseRecord(TRecord& record);
  // A pinned, dirty record with status 0, its number and an identifier.
  // `reuseSlots` is false when the table has no primary-index fields.
  TRecord& NewRecord(bool reuseSlots, std::optional<std::int32_t> identifier = std::nullopt);
  void DeleteRecord(TRecord& record, bool reuseSlots);
  void MarkRecordDirty(TRecord& record) {
    record.Dirty = true;
    DirtyNumbers.push_back(record.RecordNumber);
  }
  // The bytes a slot holds in the file, past the cache.
  std::vector<std::uint8_t> ReadSlot(std::int32_t recordNumber);
  // Slot bytes as they were before a commit overwrote them.
  struct TSlotImage {
    std::uint64_t Offset;
    std::vector<std::uint8_t> Bytes;
  };
  // Writes the dirty, unpinned records numbered first ... last, a run of
  // consecutive slots with one write. With `undo`, the file's bytes of each
  // run are read first and kept there.
  bool FlushRecords(std::int32_t first = 1, std::int32_t last = INT32_MAX, std::vector<TSlotImage>* undo = nullptr);
  bool HasDirtyRecords(std::int32_t first, std::int32_t last);
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
  TDataHeader OnDisk;
  bool HeaderOnDisk = false;  // the file holds OnDisk's bytes at offset 0
  void WriteHeaderBytes(const TDataHeader& next);
  std::vector<TFieldDesc> FieldList;
  bool IsHeaderDirty = false;
  bool DescriptorsPending = false;
  bool TableLocked = false;
  bool DeferWrites = false;
  std::size_t CacheBytes = 16384;
  std::size_t CacheRecords = 8192;
  std::size_t ReadAheadCount = 1;
  std::size_t BaseCapacity = 1;
  TRecordCache Cache;
  // Numbers of records marked dirty since they were last written (a hint:
  // the record's own flag decides), so that a commit does not search the
  // whole cache.
  std::vector<std::int32_t> DirtyNumbers;
  // The dirty, unpinned cached records numbered first ... last, in order.
  void CollectDirty(std::int32_t first, std::int32_t last, std::vector<TRecord*>& out);
  std::vector<TRecord*> DirtyScratch;
  std::vector<std::uint8_t> IoBuffer;     // reads
  std::vector<std::uint8_t> WriteBuffer;  // runs being written, which may happen mid-read
};

}  // namespace store
