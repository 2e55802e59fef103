#include "DataCursor.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "FieldValues.h"
#include "Key.h"
#include "StoreError.h"

namespace store {
namespace {

// A record pinned in the data file's cache for the length of a scope.
class TRecordPin {
 public:
  TRecordPin(TDataFile& file, TRecord& record) : File(file), Record(record) {}
  ~TRecordPin() { File.ReleaseRecord(Record); }
  TRecordPin(const TRecordPin&) = delete;
  TRecordPin& operator=(const TRecordPin&) = delete;
  TRecord& operator*() const { return Record; }
  TRecord* operator->() const { return &Record; }

 private:
  TDataFile& File;
  TRecord& Record;
};

// Releases, at the end of a change, the record lock and then the write lock.
class TChangeLocks {
 public:
  explicit TChangeLocks(TDataTable& table) : Table(table) { Table.WriteLock(); }
  ~TChangeLocks() {
    try {
      if (Record != 0) Table.RecordUnlock(Record);
    } catch (...) {
    }
    try {
      Table.WriteUnlock();
    } catch (...) {
    }
  }
  TChangeLocks(const TChangeLocks&) = delete;
  TChangeLocks& operator=(const TChangeLocks&) = delete;
  void LockRecord(std::int32_t number, const TDataCursor* owner) {
    Table.RecordLock(number, owner);
    Record = number;
  }
  void AdoptRecord(std::int32_t number) { Record = number; }

 private:
  TDataTable& Table;
  std::int32_t Record = 0;
};

}  // namespace

TDataCursor::TDataCursor(TDataDirectory& directory) : Directory(directory) {}

TDataCursor::~TDataCursor() {
  try {
    Close();
  } catch (...) {
  }
}

void TDataCursor::Fail(std::uint16_t code) const { RaiseStoreError(code, Table->ErrorName()); }

void TDataCursor::Open(std::string_view tableName, bool exclusive, bool readOnly) {
  Close();
  Table = &Directory.AcquireTable(tableName, exclusive, readOnly);
  Slot = PrimaryIndex;
  At = TPlace::BeforeFirst;
  Current.assign(RecordSize(), 0);
  CurrentNumber = 0;
  CurrentKey.clear();
  Path.clear();
  PathGeneration = 0;
}

void TDataCursor::Close() {
  if (!Table) return;
  TDataTable* table = Table;
  Table = nullptr;
  EditLocked = false;
  Path.clear();
  try {
    table->ReleaseRecordLocks(this);
  } catch (...) {
    Directory.ReleaseTable(*table);
    throw;
  }
  Directory.ReleaseTable(*table);
}

const std::vector<TFieldDesc>& TDataCursor::Fields() const { return Table->TableFiles().DataFile().Fields(); }
std::size_t TDataCursor::RecordSize() const { return Table->TableFiles().DataFile().RecordSize(); }
std::uint16_t TDataCursor::LanguageId() const { return Table->TableFiles().DataFile().HeaderCopy().LanguageId(); }

std::int32_t TDataCursor::RecordCount() const {
  Table->ReadLock();
  const std::int32_t count = Table->TableFiles().IndexFile().Header().ActiveRecords();
  Table->ReadUnlock();
  return count;
}

void TDataCursor::SelectIndex(std::string_view name) {
  const int slot = Table->TableFiles().IndexFile().FindIndex(name);
  if (slot < 0) RaiseStoreError(STORE_INVALIDINDEXNAME, Table->ErrorName(), std::string(name), "");
  Slot = slot;
  if (At == TPlace::OnRecord) CurrentKey = KeyOf(Current);
  Path.clear();
  PathGeneration = 0;
}

std::string TDataCursor::IndexName() const { return Table->TableFiles().IndexFile().IndexDisplayName(Slot); }

void TDataCursor::InitRecord(std::vector<std::uint8_t>& buffer) const {
  buffer.assign(RecordSize(), 0);
  InitRecordBuffer(buffer, Fields(), Table->ErrorName());
}

bool TDataCursor::RecordOrder() const {
  return Slot == PrimaryIndex && Table->TableFiles().IndexFile().Header().NoPrimaryFields();
}

std::vector<std::uint8_t> TDataCursor::KeyOf(const std::vector<std::uint8_t>& image) const {
  if (RecordOrder()) return {};
  return Table->TableFiles().IndexFile().KeyDef(Slot).BuildKey(image);
}

void TDataCursor::First() {
  At = TPlace::BeforeFirst;
  Path.clear();
}

void TDataCursor::Last() {
  At = TPlace::AfterLast;
  Path.clear();
}

template <typename Action>
bool TDataCursor::Navigate(Action&& step) {
  for (int attempt = 0;; ++attempt) {
    Table->BeginRead();
    try {
      const bool moved = step();
      Table->EndRead();
      return moved;
    } catch (const TTableChanged&) {
      Table->EndRead();
      // Pages and records pinned when the change was found are stale as well.
      Table->TableFiles().DataFile().DiscardCache();
      Table->TableFiles().IndexFile().DiscardCache();
      Table->ResolvePendingCommit();
      if (attempt >= 1000) Fail(STORE_LOCKTIMEOUT);
    } catch (...) {
      Table->EndRead();
      throw;
    }
  }
}

bool TDataCursor::Next() {
  return Navigate([this] { return Step(true); });
}

bool TDataCursor::Prior() {
  return Navigate([this] { return Step(false); });
}

bool TDataCursor::Relocate(TIndexTree& tree, bool& exact) {
  exact = false;
  if (!tree.Seek(CurrentKey, Path)) return false;
  const TConstBytes key = tree.KeyAt(Path);
  exact = std::equal(key.begin(), key.end(), CurrentKey.begin(), CurrentKey.end()) && tree.RefAt(Path) == CurrentNumber;
  return true;
}

void TDataCursor::TakeRecord(std::int32_t number, TConstBytes key, TDirection direction) {
  TDataFile& data = Table->TableFiles().DataFile();
  // The key lives in an index page, which reading the record may drop.
  NextKey.assign(key.begin(), key.end());
  // Reading ahead pays only while the index walks the records in their
  // order; in any other order it would fill the cache with records the walk
  // does not want and push out the ones it comes back to.
  const std::int32_t step = direction == TDirection::drForward ? 1 : -1;
  const bool inRecordOrder = At == TPlace::OnRecord && number == CurrentNumber + step;
  TRecordPin record(data, data.GetRecord(number, inRecordOrder, direction));
  if (record->Buffer[0] != 0) RaiseStoreError(STORE_INDEXCORRUPT, Table->ErrorName());
  Current = record->Buffer;
  CurrentNumber = number;
  std::swap(CurrentKey, NextKey);
  At = TPlace::OnRecord;
}

bool TDataCursor::Step(bool forward) {
  const TPlace start = forward ? TPlace::BeforeFirst : TPlace::AfterLast;
  const TPlace end = forward ? TPlace::AfterLast : TPlace::BeforeFirst;
  const TDirection direction = forward ? TDirection::drForward : TDirection::drBackward;
  if (At == end) return false;
  TTableFiles& files = Table->TableFiles();
  if (RecordOrder()) {
    TDataFile& data = files.DataFile();
    const std::int32_t by = forward ? 1 : -1;
    std::int32_t n = At == start ? (forward ? 1 : data.RecordCount()) : CurrentNumber + by;
    for (; n >= 1 && n <= data.RecordCount(); n += by) {
      TRecordPin record(data, data.GetRecord(n, true, direction));
      if (record->Buffer[0] != 0) continue;
      Current = record->Buffer;
      CurrentNumber = n;
      At = TPlace::OnRecord;
      return true;
    }
    At = end;
    return false;
  }
  TIndexTree tree(files.IndexFile(), Slot);
  auto advance = [&] { return forward ? tree.Next(Path) : tree.Prior(Path); };
  bool more = false;
  if (At == start) {
    more = forward ? tree.First(Path) : tree.Last(Path);
  } else if (PathGeneration != Table->Generation() || Path.empty()) {
    // Found again by its key; a record gone since leaves the position where
    // its key stood, on the entry after it.
    bool exact = false;
    if (Relocate(tree, exact)) more = forward && !exact ? true : advance();
    else more = forward ? false : tree.Last(Path);
  } else {
    more = advance();
  }
  if (!more) {
    At = end;
    Path.clear();
    return false;
  }
  TakeRecord(tree.RefAt(Path), tree.KeyAt(Path), direction);
  PathGeneration = Table->Generation();
  return true;
}

void TDataCursor::PlaceOn(std::int32_t number, const std::vector<std::uint8_t>& image) {
  Current = image;
  CurrentNumber = number;
  CurrentKey = KeyOf(image);
  At = TPlace::OnRecord;
  Path.clear();
  PathGeneration = 0;
}

std::vector<std::uint8_t> TDataCursor::StoredRecord(std::int32_t number) {
  std::vector<std::uint8_t> image;
  Navigate([&] {
    TDataFile& data = Table->TableFiles().DataFile();
    if (number < 1 || number > data.RecordCount()) {
      image.clear();
      return false;
    }
    TRecordPin record(data, data.GetRecord(number, false, TDirection::drForward));
    image = record->Buffer;
    return true;
  });
  return image;
}

void TDataCursor::CheckFieldRules(const std::vector<std::uint8_t>& buffer) const {
  const std::string& table = Table->ErrorName();
  for (const TFieldDesc& field : Fields()) {
    if (field.IsAutoInc()) continue;
    const bool hasValue = GetField(buffer, field, {}, table);
    if (field.Required() && !hasValue) RaiseStoreError(STORE_REQDERR, table, "", field.Name());
    if (!hasValue) continue;
    // A limit the field's reader refuses is no limit; a value without a
    // place in the order passes neither.
    if (field.MinLength() != 0) {
      const auto order = CompareFieldWithLimit(buffer, field, field.MinValue(), table);
      if (order && !(*order >= 0)) RaiseStoreError(STORE_MINVALERR, table, "", field.Name());
    }
    if (field.MaxLength() != 0) {
      const auto order = CompareFieldWithLimit(buffer, field, field.MaxValue(), table);
      if (order && !(*order <= 0)) RaiseStoreError(STORE_MAXVALERR, table, "", field.Name());
    }
  }
}

void TDataCursor::RequireUnique(const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>* old) const {
  TIndexFile& index = Table->TableFiles().IndexFile();
  for (int slot = PrimaryIndex; slot <= MaxSecondaryIndexes; ++slot) {
    if (!index.SlotInUse(slot) || !index.KeyDef(slot).IsUnique()) continue;
    const std::vector<std::uint8_t> key = index.KeyDef(slot).BuildKey(image);
    if (old && key == index.KeyDef(slot).BuildKey(*old)) continue;
    TIndexTree(index, slot).RequireAbsent(key);
  }
}

void TDataCursor::RequireCurrent() const {
  if (At == TPlace::OnRecord) return;
  if (Table->TableFiles().IndexFile().Header().ActiveRecords() == 0) Fail(STORE_NOCURRREC);
  Fail(At == TPlace::BeforeFirst ? STORE_BOF : STORE_EOF);
}

void TDataCursor::ChangeAndCommit(const std::function<void()>& change) {
  try {
    change();
    Table->Commit();
  } catch (...) {
    Table->Rollback();
    throw;
  }
}

void TDataCursor::AddRecord(std::vector<std::uint8_t> buffer) {
  if (ReadOnly()) Fail(STORE_OSEACCES);
  buffer.resize(RecordSize(), 0);
  CheckFieldRules(buffer);
  TTableFiles& files = Table->TableFiles();
  TDataFile& data = files.DataFile();
  TIndexFile& index = files.IndexFile();
  TChangeLocks locks(*Table);

  // The slot and identifier the record will get; nothing changes before the
  // uniqueness test has passed.
  const bool reuse = files.ReuseSlots();
  const std::int32_t firstDeleted = data.HeaderCopy().FirstDeleted();
  const bool reused = reuse && firstDeleted != 0;
  const std::int32_t number = reused ? firstDeleted : data.HeaderCopy().NextRecord();
  // A full table is refused before anything changes: undoing a change on an
  // exclusive table would also drop the changes it has not written yet.
  if (!reused && (number > MaxRecordNumber ||
                  data.HeaderEnd() + static_cast<std::uint64_t>(number) * data.RecordSize() > MaxFileBytes))
    Fail(STORE_TABLEFULL);
  // A slot appended under the write lock is seen by nobody before the
  // commit, so it needs no record lock; a reused one may still be locked by
  // an editor that has not yet seen it deleted.
  if (reused) locks.LockRecord(number, this);
  const std::int32_t last = data.HeaderCopy().LastAutoInc();
  const std::int32_t identifier = last == INT32_MAX ? 1 : last + 1;
  buffer[0] = 0;
  PutI32(buffer, 1, number);
  PutI32(buffer, RecordIdentifierOffset, identifier);
  RequireUnique(buffer, nullptr);

  ChangeAndCommit([&] {
    std::vector<std::uint8_t> oldDeletedKey;
    if (reused) {
      TRecordPin old(data, data.GetRecord(number, false, TDirection::drForward));
      oldDeletedKey = SysDeletedKey(old->Buffer[0], GetI32(old->Buffer, RecordIdentifierOffset));
    }
    TRecordPin record(data, data.NewRecord(reuse));
    if (record->RecordNumber != number || GetI32(record->Buffer, RecordIdentifierOffset) != identifier)
      Fail(STORE_FILECORRUPT);
    for (int slot = PrimaryIndex; slot <= MaxSecondaryIndexes; ++slot)
      if (index.SlotInUse(slot)) TIndexTree(index, slot).Insert(index.KeyDef(slot).BuildKey(buffer), number);
    TIndexTree deleted(index, SysDeletedIndex);
    const std::vector<std::uint8_t> deletedKey = SysDeletedKey(0, identifier);
    if (reused) deleted.Replace(oldDeletedKey, number, deletedKey, number);
    else deleted.Insert(deletedKey, number);
    record->Buffer = buffer;
    data.MarkRecordDirty(*record);
    data.SetLastAutoInc(identifier);
    index.Header().SetActiveRecords(index.Header().ActiveRecords() + 1);
    index.MarkHeaderDirty();
  });
  PlaceOn(number, buffer);
}

std::vector<std::uint8_t> TDataCursor::RecordOnDisk(std::int32_t number) {
  if (Exclusive()) return StoredRecord(number);
  // Under the read lock, which also finds what other writers changed.
  const bool locked = Table->HoldsAnyLock();
  if (!locked) Table->ReadLock();
  std::vector<std::uint8_t> image;
  try {
    TDataFile& data = Table->TableFiles().DataFile();
    if (number >= 1 && number <= data.RecordCount()) image = data.ReadSlot(number);
  } catch (...) {
    if (!locked) Table->ReadUnlock();
    throw;
  }
  if (!locked) Table->ReadUnlock();
  return image;
}

void TDataCursor::BeginEdit(const std::vector<std::uint8_t>& copy) {
  RequireCurrent();
  const bool pessimistic = Table->Settings().LockProtocol == TLockProtocol::lpPessimistic;
  if (pessimistic) Table->RecordLock(CurrentNumber, this);
  // Compared with the slot in the file, not with a cached copy that another
  // process may have changed since: the lock keeps it as it is from now on.
  bool unchanged = false;
  try {
    unchanged = RecordOnDisk(CurrentNumber) == copy;
  } catch (...) {
    if (pessimistic) Table->RecordUnlock(CurrentNumber);
    throw;
  }
  if (!unchanged) {
    if (pessimistic) Table->RecordUnlock(CurrentNumber);
    Fail(STORE_KEYORRECDELETED);
  }
  EditLocked = pessimistic;
}

void TDataCursor::CancelEdit() {
  if (!EditLocked) return;
  EditLocked = false;
  Table->RecordUnlock(CurrentNumber);
}

void TDataCursor::ModifyRecord(std::vector<std::uint8_t> buffer, const std::vector<std::uint8_t>& copy) {
  if (ReadOnly()) Fail(STORE_OSEACCES);
  RequireCurrent();
  buffer.resize(RecordSize(), 0);
  CheckFieldRules(buffer);
  const std::int32_t number = CurrentNumber;
  TTableFiles& files = Table->TableFiles();
  TDataFile& data = files.DataFile();
  TIndexFile& index = files.IndexFile();
  TChangeLocks locks(*Table);
  if (EditLocked) {
    EditLocked = false;
    locks.AdoptRecord(number);
  } else {
    if (!Exclusive() && StoredRecord(number) != copy) Fail(STORE_KEYORRECDELETED);
    locks.LockRecord(number, this);
  }
  const std::vector<std::uint8_t> stored = StoredRecord(number);
  if (stored.empty() || stored[0] != 0) Fail(STORE_KEYORRECDELETED);
  std::memcpy(buffer.data(), stored.data(), 9);  // status, number, identifier stay
  RequireUnique(buffer, &stored);
  ChangeAndCommit([&] {
    for (int slot = PrimaryIndex; slot <= MaxSecondaryIndexes; ++slot) {
      if (!index.SlotInUse(slot)) continue;
      const auto oldKey = index.KeyDef(slot).BuildKey(stored);
      const auto newKey = index.KeyDef(slot).BuildKey(buffer);
      if (oldKey != newKey) TIndexTree(index, slot).Replace(oldKey, number, newKey, number);
    }
    TRecordPin record(data, data.GetRecord(number, false, TDirection::drForward));
    record->Buffer = buffer;
    data.MarkRecordDirty(*record);
  });
  PlaceOn(number, buffer);
}

void TDataCursor::DeleteRecord(const std::vector<std::uint8_t>& copy) {
  if (ReadOnly()) Fail(STORE_OSEACCES);
  RequireCurrent();
  const std::int32_t number = CurrentNumber;
  TTableFiles& files = Table->TableFiles();
  TDataFile& data = files.DataFile();
  TIndexFile& index = files.IndexFile();
  TChangeLocks locks(*Table);
  if (const TDataCursor* owner = Table->RecordLockOwner(number)) {
    if (owner != this) Fail(STORE_RECLOCKFAILED);
    EditLocked = false;
    locks.AdoptRecord(number);
  } else {
    if (!Exclusive() && StoredRecord(number) != copy) Fail(STORE_KEYORRECDELETED);
    locks.LockRecord(number, this);
  }
  const std::vector<std::uint8_t> stored = StoredRecord(number);
  if (stored.empty() || stored[0] != 0) Fail(STORE_KEYORRECDELETED);
  ChangeAndCommit([&] {
    for (int slot = PrimaryIndex; slot <= MaxSecondaryIndexes; ++slot)
      if (index.SlotInUse(slot)) TIndexTree(index, slot).Delete(index.KeyDef(slot).BuildKey(stored), number);
    const std::int32_t identifier = GetI32(stored, RecordIdentifierOffset);
    TIndexTree(index, SysDeletedIndex)
        .Replace(SysDeletedKey(0, identifier), number, SysDeletedKey(1, identifier), number);
    index.Header().SetActiveRecords(index.Header().ActiveRecords() - 1);
    index.MarkHeaderDirty();
    TRecordPin record(data, data.GetRecord(number, false, TDirection::drForward));
    data.DeleteRecord(*record, files.ReuseSlots());
  });
  // The bookmark stays where the key stood; the next step finds the neighbour.
  CurrentKey = KeyOf(stored);
  Path.clear();
  PathGeneration = 0;
}

}  // namespace store
