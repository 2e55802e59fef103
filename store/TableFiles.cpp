#include "TableFiles.h"

#include <dirent.h>
#include <sys/stat.h>

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
}

void TTableFiles::Revert() {
  Data->DiscardCache();
  Index->DiscardCache();
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
  const std::int32_t lastIdentifier = Data->HeaderCopy().LastAutoInc();
  std::vector<std::uint8_t> slot(recordSize);
  std::int32_t expected = lastIdentifier;
  for (std::uint64_t at = accounted; at < length; at += recordSize) {
    const std::size_t got = Data->ReadAt(at, slot, true);
    if (got < 9) {
      if (at + got != length) return false;
      break;  // a slot cut inside its first bytes
    }
    expected = expected == INT32_MAX ? 1 : expected + 1;
    if (slot[0] != 0 || GetI32(slot, RecordIdentifierOffset) != expected) return false;
  }
  Data->Truncate(accounted);
  return true;
}

bool TTableFiles::IndexLags() const {
  return Data->HeaderCopy().ChangeCounter() == Index->Header().ChangeCounter() + 1;
}

void TTableFiles::RebuildIndexes(bool flushOs) {
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
  // The index file stays one commit behind its data file until its header
  // is written, last: a writer that dies before that leaves the same mark
  // for the next one, which builds the indexes again.
  Index->Header().SetChangeCounter(Data->HeaderCopy().ChangeCounter() - 1);
  Index->MarkHeaderDirty();
  Index->FlushPages();
  Index->WriteHeader(true);
  if (flushOs) Index->Flush();
  Data->TrimCache();
  Index->TrimCache();
}

void TTableFiles::ReserveCommitSpace() {
  Data->Reserve(DataBytes());
  Index->Reserve(static_cast<std::uint64_t>(Index->Header().NextPage()) * PageSize);
}

void TTableFiles::FillMadeIndex(bool flushOs) {
  // The new file's header goes out first, one commit behind the data file:
  // a writer that dies after it leaves an index the next one builds again,
  // one that dies before it an empty file the next one makes again.
  Index->Header().SetChangeCounter(Data->HeaderCopy().ChangeCounter() - 2);
  Index->WriteHeader(true, flushOs);
  RebuildIndexes(flushOs);
}

bool TTableFiles::DetectChanges() {
  if (Index->RefreshHeader()) {
    Data->ReloadHeader();
    Data->DiscardCache();
    Index->DiscardCache();
    return true;
  }
  if (Data->RefreshHeader()) {
    Data->DiscardCache();
    return true;
  }
  return false;
}

void TTableFiles::Close() {
  MadeIndex = false;
  Index.reset();
  Data.reset();
}

void TTableFiles::DeferWrites(bool defer) {
  Data->SetDeferWrites(defer);
  Index->SetDeferWrites(defer);
}

void TTableFiles::Commit(bool flushOs) {
  Data->FlushRecords();
  Data->WriteHeader(true);
  Index->FlushPages();
  Index->WriteHeader(true);
  if (flushOs) {
    Data->Flush();
    Index->Flush();
  }
  Data->TrimCache();
  Index->TrimCache();
}

}  // namespace store
