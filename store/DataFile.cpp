#include "DataFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "CharTable.h"
#include "Collation.h"
#include "FieldValues.h"
#include "StoreError.h"

namespace store {
namespace {

constexpr std::uint64_t RecordLockKey = 0x52ull << 40;  // 'R'
constexpr std::uint64_t SemaphoreKey = 0x53ull << 40;   // 'S'

// Local time as days since 30 December 1899 with fraction, less 693594.
double LastUpdateStamp() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  std::int32_t day = DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  double fraction = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) / 86400.0;
  const std::int32_t day1899 = DayNumber(1899, 12, 30);
  return static_cast<double>(day - day1899) + fraction - 693594.0;
}

void GrowTo(std::vector<std::uint8_t>& buffer, std::size_t size) {
  if (buffer.size() < size) buffer.resize((size + 4095) / 4096 * 4096);
}

}  // namespace

TDataFile::TDataFile(std::string tableName) : TFileHandler(std::move(tableName)) {}

TDataFile::~TDataFile() { TDataFile::Close(); }

void TDataFile::LayoutFields(std::vector<TFieldDesc>& fields, const std::string& table) {
  std::uint32_t offset = 9;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TFieldDesc& f = fields[i];
    f.SetNumber(static_cast<std::uint16_t>(i + 1));
    if (TypeHasDeclaredSize(f.Type())) {
      if (f.DeclaredSize() < 1 || f.DeclaredSize() > 250) RaiseStoreError(STORE_INVALIDFLDTYPE, table, {}, f.Name());
    } else if (f.DeclaredSize() != 0) {
      RaiseStoreError(STORE_INVALIDFLDTYPE, table, {}, f.Name());
    }
    int size = PhysicalSizeOf(f.Type(), f.DeclaredSize());
    if (size < 0 || f.Type() == 0 || (f.Type() >= 20 && f.Type() <= 23))
      RaiseStoreError(STORE_INVALIDFLDTYPE, table, {}, f.Name());
    f.SetPhysicalSize(static_cast<std::uint8_t>(size));
    if (f.IsAutoInc()) {
      f.SetOffset(5);
      continue;
    }
    f.SetOffset(static_cast<std::uint16_t>(std::min<std::uint32_t>(offset, 65535)));
    offset += static_cast<std::uint32_t>(size) + 1;
  }
}

void TDataFile::CreateTable(const std::string& path, const TDataCreateParams& params, bool exclusive) {
  if (params.Encrypted) RaiseStoreError(STORE_INVALIDPASSWORD, TableName());
  if (params.Fields.size() > MaxFields) RaiseStoreError(STORE_FLDLIMIT, TableName());
  TDataHeader header;
  header.SetLanguageId(params.LanguageId);
  header.SetSortId(params.SortId);
  header.SetUserVersion1(params.UserVersion1);
  header.SetUserVersion2(params.UserVersion2);
  header.SetDescription(params.Description);
  header.SetFieldCount(static_cast<std::uint16_t>(params.Fields.size()));
  header.SetBlobBlockSize(params.BlobBlockSize);
  std::uint32_t blobs = 0;
  std::uint32_t recordSize = 9;
  for (const TFieldDesc& f : params.Fields) {
    if (f.IsBlob() && ++blobs > MaxBlobFields) RaiseStoreError(STORE_BLOBLIMIT, TableName());
    if (!f.IsAutoInc() && !f.NoStorage()) recordSize += f.PhysicalSize() + 1u;
  }
  // Values of BLOB fields would live in a block file this engine does not make.
  for (const TFieldDesc& f : params.Fields)
    if (f.IsBlob()) RaiseStoreError(STORE_INVALIDFLDTYPE, TableName(), {}, f.Name());
  if (recordSize > 65535) RaiseStoreError(STORE_RECTOOBIG, TableName());
  header.SetBlobFieldCount(static_cast<std::uint16_t>(blobs));
  header.SetVersion(DataFileVersion);
  header.SetRecordSize(static_cast<std::uint16_t>(recordSize));
  header.SetFirstDeleted(0);
  header.SetNextRecord(1);
  header.SetLastAutoInc(0);

  Close();
  TFileHandler::Create(path, exclusive);
  Header = header;
  // Nothing is in the new file yet: every slot is an append, and the
  // header goes out whole.
  OnDisk = header;
  HeaderOnDisk = false;
  FieldList = params.Fields;
  IsHeaderDirty = true;
  DescriptorsPending = true;
  SizeCache();
}

void TDataFile::ReadHeaderAndDescriptors() {
  TDataHeader header;
  // A file too short for its header or descriptors is a damaged header.
  if (ReadAt(0, header.Raw(), true) != DataHeaderSize) RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  if (header.Version() != DataFileVersion) RaiseStoreError(STORE_OLDVERSION, TableName());
  if (header.FieldCount() > MaxFields) RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  if (header.Encrypted() != 0) RaiseStoreError(STORE_NOTSUFFTABLERIGHTS, TableName());
  header.SetDirtyMarker(0);
  std::vector<std::uint8_t> block(FieldDescSize * header.FieldCount());
  if (ReadAt(DataHeaderSize, block, true) != block.size()) RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  std::vector<TFieldDesc> fields(header.FieldCount());
  for (std::size_t i = 0; i < fields.size(); ++i)
    std::memcpy(fields[i].Raw().data(), block.data() + i * FieldDescSize, FieldDescSize);
  Header = header;
  OnDisk = header;
  HeaderOnDisk = true;
  FieldList = std::move(fields);
}

void TDataFile::OpenTable(const std::string& path, TAccess access, bool exclusive) {
  Close();
  TFileHandler::Open(path, access, exclusive);
  try {
    ReadHeaderAndDescriptors();
    IsHeaderDirty = false;
    DescriptorsPending = false;
    SizeCache();
  } catch (...) {
    Close();
    throw;
  }
}

void TDataFile::SizeCache() {
  const std::size_t recordSize = Header.RecordSize();
  ReadAheadCount = recordSize == 0 ? 1 : std::max<std::size_t>(1, 8192 / recordSize);
  BaseCapacity = recordSize == 0 ? CacheRecords
                                 : std::max<std::size_t>(1, std::min<std::size_t>(CacheBytes / recordSize, CacheRecords));
  Cache.Reset(recordSize, BaseCapacity);
}

void TDataFile::Verify() {
  VerifyLayout();
  VerifyLength();
}

void TDataFile::VerifyLayout() {
  const std::string& t = TableName();
  if (Header.Version() != DataFileVersion) RaiseStoreError(STORE_OLDVERSION, t);
  if (Header.LanguageId() != 0 && !LocaleAvailable(Header.LanguageId(), Header.SortId()))
    RaiseStoreError(STORE_CANNOTLOADLDDRV, t);
  const std::size_t n = FieldList.size();
  std::uint32_t running = 9;
  std::set<std::string> names;
  std::set<std::uint16_t> numbers;
  for (std::size_t i = 0; i < n; ++i) {
    const TFieldDesc& f = FieldList[i];
    auto corrupt = [&] { RaiseStoreError(STORE_HEADERCORRUPT, t); };
    if (f.NameLength() == 0) corrupt();
    if (!IsIdentifierStart(static_cast<unsigned char>(f.Raw()[3]))) corrupt();
    if (f.NameLength() > 30) corrupt();
    if (!names.insert(UpperText(TrimText(f.Name()))).second) corrupt();
    if (!numbers.insert(f.Number()).second) corrupt();
    if (f.Type() == 0) corrupt();
    if (TypeHasDeclaredSize(f.Type()) ? f.DeclaredSize() > 250 : f.DeclaredSize() != 0) corrupt();
    // A type code no table holds, or a physical size that disagrees with the
    // type, would let values run into their neighbours.
    int size = PhysicalSizeOf(f.Type(), f.DeclaredSize());
    if (size < 0 || size != f.PhysicalSize()) corrupt();
    if (f.MinLength() > 50 || f.MaxLength() > 50 || f.DefaultLength() > 50) corrupt();
    if (!TextValidForField(f, f.MinValue(), false) || !TextValidForField(f, f.MaxValue(), false) ||
        !TextValidForField(f, f.DefaultValue(), true))
      corrupt();
    if (f.Scale() != 0 && f.Type() != ftcBCD) corrupt();
    if (f.IsAutoInc()) {
      if (f.Offset() != 5) corrupt();
    } else {
      if (f.Offset() != running) corrupt();
      running += f.PhysicalSize() + 1u;
    }
    if (f.Number() != i + 1) corrupt();
  }
  if (running != Header.RecordSize()) RaiseStoreError(STORE_HEADERCORRUPT, t);
}

void TDataFile::VerifyLength() {
  const std::string& t = TableName();
  const std::uint64_t length = Size();
  const std::uint64_t headerEnd = HeaderEnd();
  if (length < headerEnd) RaiseStoreError(STORE_HEADERCORRUPT, t);
  const std::uint64_t body = length - headerEnd;
  if (body % Header.RecordSize() != 0) RaiseStoreError(STORE_HEADERCORRUPT, t);
  const std::uint64_t slots = body / Header.RecordSize();
  if (static_cast<std::uint64_t>(static_cast<std::int64_t>(Header.NextRecord()) - 1) != slots ||
      Header.NextRecord() < 1 || Header.FirstDeleted() < 0 ||
      static_cast<std::uint64_t>(Header.FirstDeleted()) > slots)
    RaiseStoreError(STORE_HEADERCORRUPT, t);
}

void TDataFile::Close() {
  Cache.Clear();
  HeaderOnDisk = false;
  FieldList.clear();
  IsHeaderDirty = false;
  DescriptorsPending = false;
  TFileHandler::Close();
}

bool TDataFile::RefreshHeader() {
  TDataHeader fresh;
  if (ReadAt(0, fresh.Raw(), true) != DataHeaderSize) RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  if (fresh.ChangeCounter() == Header.ChangeCounter()) return false;
  TakeHeader(fresh);
  return true;
}

void TDataFile::ReloadHeader() {
  TDataHeader fresh;
  if (ReadAt(0, fresh.Raw(), true) != DataHeaderSize) RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  TakeHeader(fresh);
}

void TDataFile::TakeHeader(TDataHeader& fresh) {
  // Another writer may change counts, never the shape of the table.
  if (fresh.Version() != DataFileVersion || fresh.RecordSize() != Header.RecordSize() ||
      fresh.FieldCount() != Header.FieldCount())
    RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  fresh.SetDirtyMarker(0);
  Header = fresh;
  OnDisk = fresh;
  HeaderOnDisk = true;
  IsHeaderDirty = false;
}

bool TDataFile::WriteHeader(bool force, bool flushOs) {
  bool written = false;
  if (IsHeaderDirty || force) {
    TDataHeader next = Header;
    next.SetChangeCounter(Header.ChangeCounter() + 1);
    next.SetEngineVersion(EngineVersionStamp);
    next.SetLastUpdate(LastUpdateStamp());
    WriteHeaderBytes(next);
    Header = next;
    OnDisk = next;
    IsHeaderDirty = false;
    written = true;
  }
  if (WriteDescriptors()) written = true;
  if (written && flushOs) Flush();
  return written;
}

namespace {
// The header fields a commit changes, as (offset, size): the first deleted
// record, the next record number, the last identifier, the last-update
// stamp, the dirty marker, the last BLOB number and the writer's version.
constexpr std::pair<std::size_t, std::size_t> CommitFields[] = {{9, 4},   {13, 4},  {17, 4}, {27, 8},
                                                                 {111, 1}, {112, 4}, {116, 8}};
}  // namespace

void TDataFile::WriteHeaderBytes(const TDataHeader& next) {
  const TConstBytes now = next.Raw(), was = OnDisk.Raw();
  bool fieldsOnly = HeaderOnDisk;
  for (std::size_t i = 4; fieldsOnly && i < DataHeaderSize; ++i) {
    if (now[i] == was[i]) continue;
    bool inField = false;
    for (const auto& [at, size] : CommitFields) inField = inField || (i >= at && i < at + size);
    fieldsOnly = inField;
  }
  if (!fieldsOnly) {
    // A header the file does not hold yet, or one whose shape or text
    // changed: one system call, so that a kill leaves all of it or none.
    WriteInOneCall(0, now);
    HeaderOnDisk = true;
    return;
  }
  // The counter first, the commit's mark, then each changed field with a
  // store of its own: a kill between any two leaves the mark over fields
  // each old or new, all of which the repair takes from the slots.
  WriteAt(0, now.first(4));
  for (const auto& [at, size] : CommitFields)
    if (!std::equal(now.begin() + at, now.begin() + at + size, was.begin() + at)) WriteAt(at, now.subspan(at, size));
}

void TDataFile::WriteRawHeader(const TDataHeader& header) {
  WriteInOneCall(0, header.Raw());
  HeaderOnDisk = true;
  Header = header;
  OnDisk = header;
  IsHeaderDirty = false;
}

bool TDataFile::WriteDescriptors() {
  if (!DescriptorsPending) return false;
  std::vector<std::uint8_t> block(FieldDescSize * FieldList.size());
  for (std::size_t i = 0; i < FieldList.size(); ++i)
    std::memcpy(block.data() + i * FieldDescSize, FieldList[i].Raw().data(), FieldDescSize);
  if (!block.empty()) WriteAt(DataHeaderSize, block);
  DescriptorsPending = false;
  return true;
}

std::uint64_t TDataFile::SlotOffset(std::int32_t recordNumber) const {
  return HeaderEnd() + static_cast<std::uint64_t>(recordNumber - 1) * Header.RecordSize();
}

TRecord& TDataFile::CacheSlot(std::int32_t recordNumber) {
  if (!Cache.MakeRoom()) {
    if (!TableLocked && !DeferWrites) FlushRecords();
    if (!Cache.MakeRoom()) Cache.Grow(64);
  }
  return Cache.Add(recordNumber);
}

TRecord& TDataFile::GetRecord(std::int32_t recordNumber, bool readAhead, TDirection direction) {
  if (TRecord* cached = Cache.Find(recordNumber)) {
    ++cached->PinCount;
    return *cached;
  }
  BeforeCacheMiss();
  const std::int32_t slots = RecordCount();
  if (recordNumber < 1 || recordNumber > slots) RaiseStoreError(STORE_FILECORRUPT, TableName());
  std::int32_t count = 1;
  if (readAhead) {
    std::int32_t remaining = direction == TDirection::drForward ? slots - recordNumber + 1 : recordNumber;
    count = std::min<std::int32_t>(static_cast<std::int32_t>(ReadAheadCount), remaining);
  }
  const std::int32_t first = direction == TDirection::drForward ? recordNumber : recordNumber - count + 1;
  const std::size_t recordSize = Header.RecordSize();
  const std::size_t bytes = static_cast<std::size_t>(count) * recordSize;
  GrowTo(IoBuffer, bytes);
  // The slots past the end of the file may exist only in the cache (not yet
  // written); such a short read is fine for them but not for the wanted one.
  std::size_t got = ReadAt(SlotOffset(first), std::span(IoBuffer.data(), bytes), true);
  const std::size_t wantedAt = static_cast<std::size_t>(recordNumber - first) * recordSize;
  if (got < wantedAt + recordSize) RaiseStoreError(STORE_FILECORRUPT, TableName());
  const std::int32_t complete = static_cast<std::int32_t>(got / recordSize);

  TRecord& wanted = CacheSlot(recordNumber);
  std::memcpy(wanted.Buffer.data(), IoBuffer.data() + wantedAt, recordSize);
  if (wanted.Buffer[0] == 0) PutI32(wanted.Buffer, 1, recordNumber);
  ++wanted.PinCount;
  for (std::int32_t i = 0; i < complete; ++i) {
    const std::int32_t number = first + i;
    if (number == recordNumber) continue;
    TRecord* record = Cache.Find(number);
    if (record && (record->PinCount > 0 || record->Dirty)) continue;
    if (!record) {
      if (!Cache.MakeRoom()) break;  // read-ahead never forces writes
      record = &Cache.Add(number);
    }
    std::memcpy(record->Buffer.data(), IoBuffer.data() + static_cast<std::size_t>(i) * recordSize, recordSize);
    if (record->Buffer[0] == 0) PutI32(record->Buffer, 1, number);
  }
  Cache.Find(recordNumber);  // the wanted record stays the most recent
  if (wanted.RecordNumber != recordNumber) RaiseStoreError(STORE_FILECORRUPT, TableName());
  return wanted;
}

void TDataFile::ReleaseRecord(TRecord& record) {
  if (record.PinCount > 0) --record.PinCount;
}

TRecord& TDataFile::NewRecord(bool reuseSlots, std::optional<std::int32_t> identifier) {
  TRecord* record = nullptr;
  const std::int32_t firstDeleted = Header.FirstDeleted();
  if (reuseSlots && firstDeleted != 0) {
    TRecord& reused = GetRecord(firstDeleted, false, TDirection::drForward);
    const std::int32_t next = GetI32(reused.Buffer, 1);
    if (reused.Buffer[0] != 1 || next < 0 || next > RecordCount() || next == firstDeleted) {
      ReleaseRecord(reused);
      RaiseStoreError(STORE_FILECORRUPT, TableName());
    }
    Header.SetFirstDeleted(next);
    record = &reused;
  } else {
    const std::int32_t number = Header.NextRecord();
    if (number > MaxRecordNumber ||
        HeaderEnd() + static_cast<std::uint64_t>(number) * Header.RecordSize() > MaxFileBytes)
      RaiseStoreError(STORE_TABLEFULL, TableName());
    if (TRecord* stale = Cache.Find(number)) Cache.Remove(*stale);
    record = &CacheSlot(number);
    ++record->PinCount;
    Header.SetNextRecord(number + 1);
  }
  MarkHeaderDirty();
  std::fill(record->Buffer.begin(), record->Buffer.end(), 0);
  record->Buffer[0] = 0;
  PutI32(record->Buffer, 1, record->RecordNumber);
  PutI32(record->Buffer, RecordIdentifierOffset, identifier ? *identifier : NextRecordIdentifier());
  MarkRecordDirty(*record);
  return *record;
}

void TDataFile::DeleteRecord(TRecord& record, bool reuseSlots) {
  record.Buffer[0] = 1;
  PutI32(record.Buffer, 1, reuseSlots ? Header.FirstDeleted() : 0);
  Header.SetFirstDeleted(record.RecordNumber);
  MarkHeaderDirty();
  MarkRecordDirty(record);
}

std::vector<std::uint8_t> TDataFile::ReadSlot(std::int32_t recordNumber) {
  if (recordNumber < 1 || recordNumber > RecordCount()) RaiseStoreError(STORE_FILECORRUPT, TableName());
  std::vector<std::uint8_t> slot(Header.RecordSize());
  if (ReadAt(SlotOffset(recordNumber), slot, true) != slot.size()) RaiseStoreError(STORE_FILECORRUPT, TableName());
  if (slot[0] == 0) PutI32(slot, 1, recordNumber);
  // A clean cached copy takes the file's bytes too.
  if (TRecord* cached = Cache.Find(recordNumber); cached && !cached->Dirty && cached->PinCount == 0)
    cached->Buffer = slot;
  return slot;
}

void TDataFile::CollectDirty(std::int32_t first, std::int32_t last, std::vector<TRecord*>& out) {
  out.clear();
  std::sort(DirtyNumbers.begin(), DirtyNumbers.end());
  DirtyNumbers.erase(std::unique(DirtyNumbers.begin(), DirtyNumbers.end()), DirtyNumbers.end());
  // Numbers whose records were written or dropped since leave the list.
  std::size_t kept = 0;
  for (std::int32_t number : DirtyNumbers) {
    TRecord* r = Cache.Peek(number);
    if (!r || !r->Dirty) continue;
    DirtyNumbers[kept++] = number;
    if (r->PinCount == 0 && number >= first && number <= last) out.push_back(r);
  }
  DirtyNumbers.resize(kept);
}

bool TDataFile::HasDirtyRecords(std::int32_t first, std::int32_t last) {
  std::vector<TRecord*>& dirty = DirtyScratch;
  CollectDirty(first, last, dirty);
  return !dirty.empty();
}

bool TDataFile::FlushRecords(std::int32_t first, std::int32_t last, std::vector<TSlotImage>* undo) {
  const std::size_t recordSize = Header.RecordSize();
  std::vector<TRecord*>& dirty = DirtyScratch;
  CollectDirty(first, last, dirty);
  if (dirty.empty()) return false;
  std::size_t i = 0;
  while (i < dirty.size()) {
    std::size_t j = i + 1;
    while (j < dirty.size() && dirty[j]->RecordNumber == dirty[j - 1]->RecordNumber + 1) ++j;
    const std::size_t bytes = (j - i) * recordSize;
    const std::uint64_t offset = SlotOffset(dirty[i]->RecordNumber);
    if (undo) {
      TSlotImage image{offset, std::vector<std::uint8_t>(bytes)};
      image.Bytes.resize(ReadAt(offset, image.Bytes, true));
      undo->push_back(std::move(image));
    }
    TConstBytes run(dirty[i]->Buffer.data(), recordSize);
    if (j - i > 1) {
      GrowTo(WriteBuffer, bytes);
      for (std::size_t k = i; k < j; ++k)
        std::memcpy(WriteBuffer.data() + (k - i) * recordSize, dirty[k]->Buffer.data(), recordSize);
      run = TConstBytes(WriteBuffer.data(), bytes);
    }
    // A slot rewritten in place holds a record that was there before: a
    // kill must leave it old or new, never half of each (appends go out
    // through the system call anyway).
    WriteInOneCall(offset, run);
    for (std::size_t k = i; k < j; ++k) dirty[k]->Dirty = false;
    i = j;
  }
  return true;
}

void TDataFile::TrimCache() {
  Cache.Trim(BaseCapacity);
  Cache.SetCapacity(std::max(BaseCapacity, Cache.Size()));
}

void TDataFile::DiscardCache() { Cache.DropUnpinned(); }

std::int32_t TDataFile::NextRecordIdentifier() {
  std::int32_t last = Header.LastAutoInc();
  std::int32_t next = last == 2147483647 ? 1 : last + 1;
  Header.SetLastAutoInc(next);
  MarkHeaderDirty();
  return next;
}

void TDataFile::SetLastAutoInc(std::int32_t value) {
  if (Header.LastAutoInc() == value) return;
  Header.SetLastAutoInc(value);
  MarkHeaderDirty();
}

TFieldDesc TDataFile::FieldByNumber(std::uint16_t number) const {
  if (number < 1 || number > FieldList.size())
    RaiseStoreError(STORE_OUTOFRANGE, TableName(), {}, std::to_string(number));
  return FieldList[number - 1u];
}

void TDataFile::SetFieldDescriptor(std::uint16_t number, const TFieldDesc& field) {
  const TFieldDesc current = FieldByNumber(number);
  if (field.Number() != current.Number() || field.Type() != current.Type() || field.Subtype() != current.Subtype() ||
      field.DeclaredSize() != current.DeclaredSize() || field.PhysicalSize() != current.PhysicalSize() ||
      field.Offset() != current.Offset() || field.Scale() != current.Scale())
    RaiseStoreError(STORE_INVALIDFLDTYPE, TableName(), {}, current.Name());
  if (!TextValidForField(field, field.MinValue(), false) || !TextValidForField(field, field.MaxValue(), false) ||
      !TextValidForField(field, field.DefaultValue(), true))
    RaiseStoreError(STORE_INVALIDVCHKSTRUCT, TableName(), {}, current.Name());
  const std::string name(TrimText(field.Name()));
  if (name.empty() || name.size() > 30 || !IsIdentifierStart(static_cast<unsigned char>(name[0])))
    RaiseStoreError(STORE_INVALIDFIELDNAME, TableName(), {}, field.Name());
  for (const TFieldDesc& other : FieldList)
    if (other.Number() != number && SameTextNoCase(TrimText(other.Name()), name))
      RaiseStoreError(STORE_INVALIDFIELDNAME, TableName(), {}, field.Name());
  FieldList[number - 1u] = field;
  DescriptorsPending = true;
}

std::uint16_t TDataFile::FieldNumber(std::string_view name) const {
  for (std::size_t i = 0; i < FieldList.size(); ++i)
    if (SameTextNoCase(TrimText(FieldList[i].Name()), TrimText(name))) return static_cast<std::uint16_t>(i + 1);
  return 0;
}

bool TDataFile::LockRecordByte(std::int32_t recordNumber) {
  return LockRange(RecordLockKey | static_cast<std::uint32_t>(recordNumber),
                   RecordLockBase - static_cast<std::uint64_t>(recordNumber), 1, TLockMode::lmWrite);
}

bool TDataFile::UnlockRecordByte(std::int32_t recordNumber) {
  return UnlockRange(RecordLockKey | static_cast<std::uint32_t>(recordNumber));
}

bool TDataFile::LockSemaphore(std::uint64_t holder) {
  return LockRange(SemaphoreKey | holder, SemaphoreByte, 1, TLockMode::lmWrite);
}

bool TDataFile::UnlockSemaphore(std::uint64_t holder) { return UnlockRange(SemaphoreKey | holder); }

}  // namespace store
