#include "TableFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "FieldValues.h"

#include "BTree.h"
#include "CharTable.h"
#include "Key.h"
#include "StoreError.h"

namespace store {

std::string NormaliseDirectory(std::string_view directory) {
  std::string dir(TrimText(directory));
  if (dir.empty()) dir = ".";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string TableFilePath(std::string_view directory, std::string_view table, std::string_view extension) {
  std::string name(table);
  if (name.size() >= DataExtension.size() &&
      SameTextNoCase(std::string_view(name).substr(name.size() - DataExtension.size()), DataExtension))
    name.resize(name.size() - DataExtension.size());
  return NormaliseDirectory(directory) + name + std::string(extension);
}

std::string FindTableFile(std::string_view directory, std::string_view table, std::string_view extension) {
  const std::string exact = TableFilePath(directory, table, extension);
  struct stat st {};
  if (::stat(exact.c_str(), &st) == 0) return exact;
  const std::string dir = NormaliseDirectory(directory);
  const std::string wanted = exact.substr(dir.size());
  std::string found;
  if (DIR* handle = ::opendir(dir.c_str())) {
    while (dirent* entry = ::readdir(handle)) {
      if (SameTextNoCase(entry->d_name, wanted)) {
        found = dir + entry->d_name;
        break;
      }
    }
    ::closedir(handle);
  }
  return found.empty() ? exact : found;
}

TTableFiles::TTableFiles() = default;
TTableFiles::~TTableFiles() { Close(); }

void TTableFiles::Create(std::string_view directory, std::string_view table, const TTableDefinition& definition) {
  Close();
  const std::string dataPath = TableFilePath(directory, table, DataExtension);
  auto data = std::make_unique<store::TDataFile>(dataPath);
  auto index = std::make_unique<store::TIndexFile>(dataPath);
  TDataCreateParams params;
  params.LanguageId = definition.LanguageId;
  params.SortId = definition.SortId;
  params.Description = definition.Description;
  params.Fields = definition.Fields;
  // Everything is checked in memory before the first file is touched.
  index->NewHeader();
  index->DefinePrimaryIndex(definition.Primary, definition.Fields);
  for (const TIndexDefinition& secondary : definition.Secondaries) index->AddSecondaryIndex(secondary, definition.Fields);
  index->Bind(definition.Fields, definition.LanguageId, definition.SortId);
  data->CreateTable(dataPath, params, true);
  index->CreateIndexFile(TableFilePath(directory, table, IndexExtension), true, true);
  Data = std::move(data);
  Index = std::move(index);
  Commit(true);
}

void TTableFiles::Open(std::string_view directory, std::string_view table, TAccess access, bool exclusive) {
  OpenFiles(directory, table, access, exclusive);
  try {
    VerifyOpened();
    if (MadeIndex) FillMadeIndex(false);
  } catch (...) {
    Close();
    throw;
  }
}

void TTableFiles::OpenFiles(std::string_view directory, std::string_view table, TAccess access, bool exclusive) {
  Close();
  const std::string dataPath = FindTableFile(directory, table, DataExtension);
  auto data = std::make_unique<store::TDataFile>(dataPath);
  auto index = std::make_unique<store::TIndexFile>(dataPath);
  data->SetCacheLimits(DataCacheBytes, DataCacheRecords);
  index->SetPageCacheCapacity(IndexCacheBytes / 8192);
  {
    struct stat st {};
    if (::stat(dataPath.c_str(), &st) != 0) RaiseOsError(errno, dataPath);
  }
  data->OpenTable(dataPath, access, exclusive);
  const std::string indexPath = FindTableFile(directory, table, IndexExtension);
  struct stat st {};
  bool made = false;
  // An empty index file is one whose maker died before writing its header:
  // it is made again, as a missing one is.
  const bool missing = ::stat(indexPath.c_str(), &st) != 0 ? errno == ENOENT : st.st_size == 0;
  if (missing && !data->ReadOnly()) {
    index->CreateIndexFile(indexPath, exclusive, false);
    made = true;
  } else if (missing) {
    // Nobody here may make it: the message names the file that is missing.
    RaiseStoreError(STORE_OSENOENT, indexPath);
  } else {
    index->OpenIndexFile(indexPath, data->ReadOnly() ? TAccess::acReadOnly : access, exclusive);
  }
  Data = std::move(data);
  Index = std::move(index);
  MadeIndex = made;
}

void TTableFiles::VerifyOpened() {
  Data->Verify();
  Index->Verify(Data->Fields());
  Index->Bind(Data->Fields(), Data->HeaderCopy().LanguageId(), Data->HeaderCopy().SortId());
  // Without a commit pending the index file ends where its header says: a
  // file cut short would give a tree whose pages are gone.
  if (!CountersDiffer() && Index->Size() != static_cast<std::uint64_t>(Index->Header().NextPage()) * PageSize)
    RaiseStoreError(STORE_HEADERCORRUPT, Index->Path());
}

void TTableFiles::OpenForRepair(std::string_view directory, std::string_view table) {
  OpenFiles(directory, table, TAccess::acReadWrite, true);
  try {
    if (ReadOnly()) RaiseStoreError(STORE_OSEACCES, Data->TableName());
    Data->VerifyLayout();
    if (!MadeIndex) {
      try {
        Index->Verify(Data->Fields());
      } catch (const EStoreEngineError& e) {
        if (e.Code() != STORE_HEADERCORRUPT) throw;
        // Half new (a commit's header cut off) or stale: the definitions
        // stay, the trees are rebuilt.
        Index->Empty();
        Index->Verify(Data->Fields());
      }
    }
    Index->Bind(Data->Fields(), Data->HeaderCopy().LanguageId(), Data->HeaderCopy().SortId());
  } catch (...) {
    Close();
    throw;
  }
}

namespace {
// Whether a slot past the header's count holds a record that reached the
// disk whole: an active slot names itself, a deleted one a slot of the
// file, and both carry an identifier (never 0). A slot the file was only
// lengthened for is zero.
bool HoldsRecord(TConstBytes slot, std::int32_t number, std::int32_t slots) {
  if (slot.size() < 9 || GetI32(slot, RecordIdentifierOffset) == 0) return false;
  const std::int32_t link = GetI32(slot, 1);
  if (slot[0] == 0) return link == number;
  return slot[0] == 1 && link >= 0 && link <= slots;
}
}  // namespace

void TTableFiles::TakeSlotsFromLength() {
  TDataFile& data = *Data;
  const std::uint64_t headerEnd = data.HeaderEnd();
  const std::uint64_t length = data.Size();
  const std::size_t recordSize = data.RecordSize();
  if (length < headerEnd || recordSize < 9) RaiseStoreError(STORE_HEADERCORRUPT, data.TableName());
  const std::uint64_t whole = std::min<std::uint64_t>((length - headerEnd) / recordSize, MaxRecordNumber);
  const auto counted = static_cast<std::uint64_t>(std::max(data.HeaderCopy().NextRecord() - 1, 0));
  std::uint64_t slots = std::min(whole, counted);
  std::vector<std::uint8_t> slot(recordSize);
  for (std::uint64_t n = counted + 1; n <= whole; ++n) {
    data.ReadAt(headerEnd + (n - 1) * recordSize, slot, false);
    if (!HoldsRecord(slot, static_cast<std::int32_t>(n), static_cast<std::int32_t>(whole))) break;
    slots = n;
  }
  // Only bytes no header accounts for go: a piece of a slot, or slots past
  // the header's count that hold no record.
  if (headerEnd + slots * recordSize < length) data.Truncate(headerEnd + slots * recordSize);
  TDataHeader header = data.HeaderCopy();
  header.SetNextRecord(static_cast<std::int32_t>(slots) + 1);
  if (header.FirstDeleted() < 0 || static_cast<std::uint64_t>(header.FirstDeleted()) > slots) header.SetFirstDeleted(0);
  data.ReplaceHeader(header);
}

void TTableFiles::RepairFromFiles(bool flushOs) {
  if (ReadOnly()) RaiseStoreError(STORE_OSEACCES, Data->TableName());
  MeasureFiles();
  Data->DiscardCache();
  Index->DiscardCache();
  TakeSlotsFromLength();
  if (MadeIndex) {
    // The new index file's header goes out first, with the mark, so that a
    // repair cut off leaves a file the next one reads.
    Index->Header().SetChangeCounter(Data->HeaderCopy().ChangeCounter());
    Index->WriteHeader(true, flushOs);
    MadeIndex = false;
  }
  RebuildFromRecords(flushOs);
}

void TTableFiles::Revert() {
  Data->DiscardCache();
  Index->DiscardCache();
  MeasureFiles();
  Data->ReloadHeader();
  Index->ReloadHeader();
}

std::uint64_t TTableFiles::DataBytes() const {
  return Data->HeaderEnd() + static_cast<std::uint64_t>(Data->RecordCount()) * Data->RecordSize();
}

bool TTableFiles::CutInterruptedAppend() {
  if (!Data || ReadOnly()) return false;
  const std::uint64_t accounted = DataBytes();
  const std::uint64_t length = Data->Size();
  const std::size_t recordSize = Data->RecordSize();
  if (length <= accounted || recordSize < 9) return false;
  // Only slots that show themselves as records of an append in flight are
  // cut: active, with identifiers rising past the last one handed out. A
  // piece too short to show that is cut only behind such a slot.
  std::int32_t previous = Data->HeaderCopy().LastAutoInc();
  bool recognised = false;
  std::vector<std::uint8_t> slot(recordSize);
  for (std::uint64_t at = accounted; at < length; at += recordSize) {
    const std::size_t got = Data->ReadAt(at, slot, true);
    if (got < 9) {
      if (at + got != length || !recognised) return false;
      break;
    }
    const std::int32_t identifier = GetI32(slot, RecordIdentifierOffset);
    if (slot[0] != 0 || identifier <= previous) return false;
    previous = identifier;
    recognised = true;
  }
  Data->Truncate(accounted);
  return true;
}

bool TTableFiles::CountersDiffer() const {
  return Data->HeaderCopy().ChangeCounter() != Index->Header().ChangeCounter();
}

bool TTableFiles::CommitPending() { return CountersDiffer() || Data->Size() != DataBytes(); }

bool TTableFiles::RepairInterruptedCommit(bool flushOs) {
  if (ReadOnly()) return false;
  MeasureFiles();
  const std::string& table = Data->TableName();
  const std::uint64_t accounted = DataBytes();
  const std::uint64_t length = Data->Size();
  if (!CountersDiffer()) {
    if (length == accounted) return false;
    if (CutInterruptedAppend()) return true;
    RaiseStoreError(STORE_HEADERCORRUPT, table);
  }
  Data->DiscardCache();
  Index->DiscardCache();
  if (length > accounted && !CutInterruptedAppend()) RaiseStoreError(STORE_HEADERCORRUPT, table);
  if (length < accounted) {
    // The header went out before the slots it counts: those slots, and a
    // piece of one, are the records in flight.
    const std::uint64_t headerEnd = Data->HeaderEnd();
    if (length < headerEnd) RaiseStoreError(STORE_HEADERCORRUPT, table);
    const std::uint64_t slots = (length - headerEnd) / Data->RecordSize();
    if (headerEnd + slots * Data->RecordSize() != length) Data->Truncate(headerEnd + slots * Data->RecordSize());
    TDataHeader header = Data->HeaderCopy();
    header.SetNextRecord(static_cast<std::int32_t>(slots) + 1);
    Data->ReplaceHeader(header);
  }
  RebuildFromRecords(flushOs);
  return true;
}

void TTableFiles::RebuildFromRecords(bool flushOs) {
  if (ReadOnly()) RaiseStoreError(STORE_OSEACCES, Data->TableName());
  MeasureFiles();
  Data->DiscardCache();
  Index->DiscardCache();
  // A full disk, or records whose keys clash in a unique index, stop the
  // rebuild here, before anything is written: the table stays as it was,
  // for readers and for the next writer.
  RequireUniqueKeys();
  ReserveRebuildSpace();
  RepairDataFromSlots();
  // The data header goes out with a counter that cannot equal the index's,
  // so that the mark holds until the rebuilt index header is written.
  TDataHeader header = Data->HeaderCopy();
  header.SetChangeCounter(std::max(header.ChangeCounter(), Index->Header().ChangeCounter()));
  Data->ReplaceHeader(header);
  Data->WriteHeader(true, flushOs);
  RebuildIndexes(flushOs);
  Index->ReleaseReserved();
}

void TTableFiles::AddIndex(const TIndexDefinition& definition, bool flushOs) {
  if (ReadOnly()) RaiseStoreError(STORE_OSEACCES, Data->TableName());
  Index->AddSecondaryIndex(definition, Data->Fields());
  // The new description reaches the disk with the rebuilt trees, in the
  // index header written last; cut off before that, the table keeps the
  // mark and its old indexes, which the next writer builds again.
  RebuildFromRecords(flushOs);
}

void TTableFiles::RepairDataFromSlots() {
  TDataFile& data = *Data;
  const std::int32_t slots = data.RecordCount();
  const std::size_t recordSize = data.RecordSize();
  if (recordSize < 9) return;
  std::vector<std::uint8_t> status(static_cast<std::size_t>(slots) + 1);
  std::vector<std::int32_t> link(static_cast<std::size_t>(slots) + 1);
  std::int32_t lastIdentifier = data.HeaderCopy().LastAutoInc();
  const std::size_t perRead = std::max<std::size_t>(1, (1u << 20) / recordSize);
  std::vector<std::uint8_t> chunk(perRead * recordSize);
  for (std::int32_t first = 1; first <= slots;) {
    const std::size_t count = std::min<std::size_t>(perRead, static_cast<std::size_t>(slots - first) + 1);
    const std::uint64_t offset = data.HeaderEnd() + static_cast<std::uint64_t>(first - 1) * recordSize;
    data.ReadAt(offset, std::span(chunk.data(), count * recordSize), false);
    for (std::size_t i = 0; i < count; ++i) {
      const std::span<const std::uint8_t> slot(chunk.data() + i * recordSize, recordSize);
      const std::size_t n = static_cast<std::size_t>(first) + i;
      status[n] = slot[0];
      link[n] = GetI32(slot, 1);
      lastIdentifier = std::max(lastIdentifier, GetI32(slot, RecordIdentifierOffset));
    }
    first += static_cast<std::int32_t>(count);
  }
  // The chain keeps its order as far as it leads through deleted slots;
  // deleted slots it does not reach follow it.
  std::vector<std::int32_t> chain;
  std::vector<bool> onChain(static_cast<std::size_t>(slots) + 1);
  const bool reuse = ReuseSlots();
  for (std::int32_t n = data.HeaderCopy().FirstDeleted(); reuse && n >= 1 && n <= slots;) {
    const auto at = static_cast<std::size_t>(n);
    if (status[at] != 1 || onChain[at]) break;
    onChain[at] = true;
    chain.push_back(n);
    n = link[at];
  }
  for (std::int32_t n = slots; n >= 1; --n)
    if (status[static_cast<std::size_t>(n)] == 1 && !onChain[static_cast<std::size_t>(n)]) chain.push_back(n);
  for (std::size_t i = 0; i < chain.size(); ++i) {
    // Without slot reuse every deleted slot links to nothing.
    const std::int32_t next = reuse && i + 1 < chain.size() ? chain[i + 1] : 0;
    const std::int32_t n = chain[i];
    if (link[static_cast<std::size_t>(n)] == next) continue;
    std::uint8_t bytes[4];
    PutI32(bytes, 0, next);
    data.WriteAt(data.HeaderEnd() + static_cast<std::uint64_t>(n - 1) * recordSize + 1, bytes);
  }
  TDataHeader header = data.HeaderCopy();
  std::int32_t head = chain.empty() ? 0 : chain.front();
  if (!reuse) {
    // The head of a table that never reuses slots is its last deletion;
    // any deleted slot will do when that one is not.
    const std::int32_t kept = header.FirstDeleted();
    if (kept >= 1 && kept <= slots && status[static_cast<std::size_t>(kept)] == 1) head = kept;
  }
  header.SetFirstDeleted(head);
  header.SetLastAutoInc(lastIdentifier);
  data.ReplaceHeader(header);
}

void TTableFiles::RebuildIndexes(bool flushOs) {
  MeasureFiles();
  // The rebuild may write pages early: the mark covers it until the header.
  const bool deferring = Deferring;
  DeferWrites(false);
  Index->Empty();
  std::int32_t active = 0;
  for (std::int32_t n = 1; n <= Data->RecordCount(); ++n) {
    TRecord& record = Data->GetRecord(n, true, TDirection::drForward);
    const std::vector<std::uint8_t> image = record.Buffer;
    Data->ReleaseRecord(record);
    const std::uint8_t status = image[0];
    if (status == 0) {
      for (int slot = PrimaryIndex; slot <= MaxSecondaryIndexes; ++slot)
        if (Index->SlotInUse(slot)) TIndexTree(*Index, slot).Insert(Index->KeyDef(slot).BuildKey(image), n);
      ++active;
    }
    TIndexTree(*Index, SysDeletedIndex).Insert(SysDeletedKey(status, GetI32(image, RecordIdentifierOffset)), n);
  }
  Index->Header().SetActiveRecords(active);
  Index->FlushPages();
  // Pages of the old trees past the new ones' end go.
  const std::uint64_t used = static_cast<std::uint64_t>(Index->Header().NextPage()) * PageSize;
  if (Index->Size() > used) Index->Truncate(used);
  // The index file stays behind its data file until its header is written,
  // last: a writer that dies before that leaves the same mark for the next
  // one, which builds the indexes again.
  Index->Header().SetChangeCounter(Data->HeaderCopy().ChangeCounter() - 1);
  Index->MarkHeaderDirty();
  Index->FlushPages();
  if (flushOs) Index->Flush();
  Index->WriteHeader(true);
  Data->TrimCache();
  Index->TrimCache();
  DeferWrites(deferring);
}

void TTableFiles::RequireUniqueKeys() {
  std::vector<int> unique;
  for (int slot = PrimaryIndex; slot <= MaxSecondaryIndexes; ++slot)
    if (Index->SlotInUse(slot) && Index->KeyDef(slot).IsUnique()) unique.push_back(slot);
  if (unique.empty()) return;
  std::vector<std::vector<std::pair<std::vector<std::uint8_t>, std::int32_t>>> keys(unique.size());
  for (std::int32_t n = 1; n <= Data->RecordCount(); ++n) {
    TRecord& record = Data->GetRecord(n, true, TDirection::drForward);
    const std::vector<std::uint8_t> image = record.Buffer;
    Data->ReleaseRecord(record);
    if (image[0] != 0) continue;
    for (std::size_t i = 0; i < unique.size(); ++i) keys[i].emplace_back(Index->KeyDef(unique[i]).BuildKey(image), n);
  }
  for (std::size_t i = 0; i < unique.size(); ++i) {
    const TKeyDef& def = Index->KeyDef(unique[i]);
    auto& entries = keys[i];
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const auto& a, const auto& b) { return def.Compare(a.first, b.first) < 0; });
    for (std::size_t e = 1; e < entries.size(); ++e) {
      if (def.Compare(entries[e - 1].first, entries[e].first) != 0) continue;
      TStoreErrorContext context;
      context.Table = Data->TableName();
      context.Index = Index->IndexDisplayName(unique[i]);
      context.Extra = "records " + std::to_string(entries[e - 1].second) + " and " + std::to_string(entries[e].second);
      throw EStoreEngineError(STORE_KEYVIOL, std::move(context));
    }
  }
}

void TTableFiles::ReserveRebuildSpace() {
  // Trees built key by key leave their pages about half full: two pages per
  // half page of entries, interior pages included, is more than they take.
  const std::uint64_t records = static_cast<std::uint64_t>(std::max(Data->RecordCount(), 0));
  std::uint64_t pages = 1;
  for (int slot = 0; slot < IndexSlots; ++slot) {
    if (!Index->SlotInUse(slot)) continue;
    const std::uint64_t entry = Index->KeyDef(slot).KeyLength() + 8u;
    pages += 2 * ((records * entry + PageSize / 2 - 1) / (PageSize / 2)) + 1;
  }
  try {
    Index->Reserve(std::max<std::uint64_t>(Index->Size(), pages * PageSize));
  } catch (...) {
    Index->ReleaseReserved();
    throw;
  }
}

void TTableFiles::ReserveCommitSpace() {
  try {
    Data->Reserve(DataBytes());
    Index->Reserve(static_cast<std::uint64_t>(Index->Header().NextPage()) * PageSize);
  } catch (...) {
    Data->ReleaseReserved();
    Index->ReleaseReserved();
    throw;
  }
}

void TTableFiles::FillMadeIndex(bool flushOs) {
  MeasureFiles();
  // The data counter moves, so that every other user of the table notices
  // the new index file. Then the new file's header goes out, behind the data
  // file: a writer that dies after it leaves an index the next one builds
  // again, one that dies before it an empty file the next one makes again.
  Data->WriteHeader(true, flushOs);
  Index->Header().SetChangeCounter(Data->HeaderCopy().ChangeCounter() - 2);
  Index->WriteHeader(true, flushOs);
  RebuildIndexes(flushOs);
}

bool TTableFiles::DetectChanges() {
  // Every commit and every repair writes the data header, so a data counter
  // that has not moved means that nothing has: one read in the usual case.
  if (!Data->RefreshHeader()) return false;
  // Another process committed: the files' lengths may have moved too. The
  // header is read again once they are known, in case it was read from
  // the mapping of a file since cut short.
  MeasureFiles();
  Data->ReloadHeader();
  if (Index->RefreshHeader()) Index->DiscardCache();
  Data->DiscardCache();
  return true;
}

void TTableFiles::Close() {
  MadeIndex = false;
  Index.reset();
  Data.reset();
}

void TTableFiles::DeferWrites(bool defer) {
  Deferring = defer;
  Data->SetDeferWrites(defer);
  Index->SetDeferWrites(defer);
}

void TTableFiles::MeasureFiles() {
  Data->MeasureForMappedWrites();
  Index->MeasureForMappedWrites();
}

void TTableFiles::WriteLockHeld(bool held) {
  Data->SetMappedReads(held);
  Index->SetMappedReads(held);
}

void TTableFiles::Commit(bool flushOs) {
  TDataFile& data = *Data;
  const TDataHeader before = data.DiskHeader();
  const std::int32_t inFile = data.DiskRecordCount();
  std::vector<TDataFile::TSlotImage> undo;
  TCommitStage stage = TCommitStage::csNothing;
  try {
    const bool inPlace = data.HasDirtyRecords(1, inFile) || data.DescriptorsDirty();
    stage = TCommitStage::csHeader;
    data.WriteHeader(true);
    // Slots rewritten in place must not reach the disk before the mark.
    if (flushOs && inPlace) data.Flush();
    data.FlushRecords(1, inFile, &undo);
    data.FlushRecords(inFile + 1, INT32_MAX);
    if (flushOs) data.Flush();
    stage = TCommitStage::csIndex;
    Index->FlushPages();
    if (flushOs) Index->Flush();
    Index->WriteHeader(true);
  } catch (...) {
    UndoCommit(stage, before, undo, flushOs);
    throw;
  }
  Data->TrimCache();
  Index->TrimCache();
}

void TTableFiles::UndoCommit(TCommitStage stage, const TDataHeader& before,
                             const std::vector<TDataFile::TSlotImage>& undo, bool flushOs) {
  TDataFile& data = *Data;
  const std::uint64_t bytesBefore =
      data.HeaderEnd() + static_cast<std::uint64_t>(before.NextRecord() - 1) * data.RecordSize();
  try {
    // Until the header is put back, the one this commit wrote keeps the mark.
    for (auto image = undo.rbegin(); image != undo.rend(); ++image) data.WriteAt(image->Offset, image->Bytes);
    if (data.Size() > bytesBefore) data.Truncate(bytesBefore);
    if (stage == TCommitStage::csIndex) {
      // Index pages may be half written: the data file goes back with the
      // mark, and the indexes are built again from it.
      TDataHeader marked = before;
      marked.SetChangeCounter(std::max(before.ChangeCounter(), Index->Header().ChangeCounter()) + 1);
      data.WriteRawHeader(marked);
      data.DiscardCache();
      Index->DiscardCache();
      RebuildIndexes(flushOs);
    } else if (stage == TCommitStage::csHeader) {
      data.WriteRawHeader(before);
    }
    if (flushOs) data.Flush();
  } catch (...) {
    // The mark stays on the disk; the next writer repairs.
  }
  Data->ReleaseReserved();
  Index->ReleaseReserved();
  try {
    Revert();
  } catch (...) {
  }
}

}  // namespace store
