#include "IndexFile.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "CharTable.h"
#include "StoreError.h"

namespace store {

TIndexFile::TIndexFile(std::string tableName) : TFileHandler(std::move(tableName)) {}

TIndexFile::~TIndexFile() { TIndexFile::Close(); }

namespace {
void InitInternalDescriptors(TIndexHeader& header) {
  TIndexDesc deleted = header.Desc(SysDeletedIndex);
  deleted.SetName("Sys Deleted");
  deleted.SetKeyLength(SysDeletedKeyLength);
  deleted.SetCompression(0);
  TIndexDesc text = header.Desc(SysTextIndex);
  text.SetName("Sys Text");
  text.SetKeyLength(SysTextKeyLength);
  text.SetCompression(3);
}
}  // namespace

void TIndexFile::CreateIndexFile(const std::string& path, bool exclusive, bool keepHeader) {
  TIndexHeader kept = HeaderCopy;
  const bool primaryDefined = PrimaryDefined;
  Close();
  TFileHandler::Create(path, exclusive);
  if (keepHeader) {
    HeaderCopy = kept;
    PrimaryDefined = primaryDefined;
    IsHeaderDirty = true;
    RebuildKeyDefs();
  } else {
    NewHeader();
  }
}

void TIndexFile::NewHeader() {
  HeaderCopy = TIndexHeader();
  HeaderCopy.SetVersion(IndexFileVersion);
  HeaderCopy.SetNextPage(1);
  HeaderCopy.SetNoPrimaryFields(true);
  InitInternalDescriptors(HeaderCopy);
  IsHeaderDirty = true;
  PrimaryDefined = false;
  RebuildKeyDefs();
}

void TIndexFile::FillDescriptor(TIndexDesc desc, const TIndexDefinition& definition,
                                std::span<const TFieldDesc> fields, bool primary) {
  const std::string& t = TableName();
  const std::string name = primary ? std::string() : std::string(TrimText(definition.Name));
  const std::string shown = primary ? std::string("Primary") : name;
  if (definition.Compression > 3) RaiseStoreError(STORE_INVALIDIDXDESC, t, shown, {});
  std::size_t keyLength = 0;
  for (std::uint16_t number : definition.Fields) {
    if (number < 1 || number > fields.size()) RaiseStoreError(STORE_OUTOFRANGE, t, shown, std::to_string(number));
    const TFieldDesc& f = fields[number - 1u];
    if (f.IsBlob()) RaiseStoreError(STORE_SEARCHCOLREQD, t, shown, f.Name());
    keyLength += KeySizeOf(f) + 1;
  }
  const bool unique = primary ? !definition.Fields.empty() : definition.Unique;
  if (!unique && !definition.Fields.empty()) keyLength += 4;
  if (keyLength > MaxKeyLength) RaiseStoreError(STORE_INDEXLIMIT, t);
  std::memset(desc.Raw().data(), 0, IndexDescSize);
  desc.SetName(name);
  desc.SetKeyLength(static_cast<std::uint16_t>(keyLength));
  desc.SetDescending(definition.Descending);
  desc.SetCaseInsensitive(definition.CaseInsensitive);
  desc.SetUnique(unique);
  desc.SetCompression(definition.Compression);
  desc.SetFieldCount(static_cast<std::uint8_t>(definition.Fields.size()));
  for (std::size_t i = 0; i < definition.Fields.size(); ++i) {
    desc.SetFieldNumber(static_cast<int>(i), definition.Fields[i]);
    desc.SetFieldDescending(static_cast<int>(i), i < definition.FieldDescending.size() && definition.FieldDescending[i]);
  }
  desc.SetNoCounts(definition.NoCounts);
}

void TIndexFile::DefinePrimaryIndex(const TIndexDefinition& definition, std::span<const TFieldDesc> fields) {
  if (definition.Fields.size() > MaxKeyFields) RaiseStoreError(STORE_INDEXLIMIT, TableName());
  if (PrimaryDefined) RaiseStoreError(STORE_PRIMARYKEYREDEFINE, TableName());
  TIndexHeader next = HeaderCopy;
  FillDescriptor(next.Desc(PrimaryIndex), definition, fields, true);
  next.SetNoPrimaryFields(definition.Fields.empty());
  HeaderCopy = next;
  PrimaryDefined = true;
  IsHeaderDirty = true;
  RebuildKeyDefs();
}

void TIndexFile::AddSecondaryIndex(const TIndexDefinition& definition, std::span<const TFieldDesc> fields) {
  const std::string& t = TableName();
  const std::string name(TrimText(definition.Name));
  const int count = HeaderCopy.SecondaryCount();
  if (count >= MaxSecondaryIndexes || definition.Fields.size() > MaxKeyFields || definition.Fields.empty())
    RaiseStoreError(STORE_INDEXLIMIT, t);
  if (name.empty()) RaiseStoreError(STORE_INDEXNAMEREQUIRED, t);
  if (!IsIdentifierStart(static_cast<unsigned char>(name[0])) || name.size() > 30)
    RaiseStoreError(STORE_INVALIDINDEXNAME, t, name, {});
  for (int slot = 1; slot <= count; ++slot)
    if (SameTextNoCase(TrimText(HeaderCopy.Desc(slot).Name()), name)) RaiseStoreError(STORE_INDEXEXISTS, t, name, {});
  TIndexHeader next = HeaderCopy;
  FillDescriptor(next.Desc(count + 1), definition, fields, false);
  next.SetSecondaryCount(static_cast<std::uint8_t>(count + 1));
  HeaderCopy = next;
  IsHeaderDirty = true;
  RebuildKeyDefs();
}

void TIndexFile::DeleteSecondaryIndex(int slot, std::span<const TFieldDesc> /*fields*/) {
  const int count = HeaderCopy.SecondaryCount();
  if (slot < 1 || slot > count) RaiseStoreError(STORE_INVALIDINDEXDELETE, TableName(), std::to_string(slot), {});
  // Collect the index's pages (tree and free list) before the slot goes.
  std::vector<std::int32_t> pages;
  std::set<std::int32_t> seen;
  std::vector<std::int32_t> pending;
  if (HeaderCopy.Desc(slot).Root() != 0) pending.push_back(HeaderCopy.Desc(slot).Root());
  while (!pending.empty()) {
    std::int32_t number = pending.back();
    pending.pop_back();
    if (!seen.insert(number).second) RaiseStoreError(STORE_INDEXCORRUPT, TableName());
    TPage& page = GetPage(slot, number);
    if (!page.IsLeaf())
      for (std::size_t i = 0; i < page.Count(); ++i) pending.push_back(page.Ref(i));
    ReleasePage(page);
    pages.push_back(number);
  }
  for (std::int32_t f = HeaderCopy.Desc(slot).FreeHead(); f != 0;) {
    if (!seen.insert(f).second) RaiseStoreError(STORE_INDEXCORRUPT, TableName());
    TPage& page = GetPage(slot, f);
    std::int32_t next = page.Next;
    ReleasePage(page);
    pages.push_back(f);
    f = next;
  }
  FlushPages();
  Caches[static_cast<std::size_t>(slot)].DropUnpinned();
  // The pages are taken over as they stand, without reading them in the
  // other index's layout.
  for (std::int32_t number : pages) {
    if (Caches[SysDeletedIndex].Find(number)) RaiseStoreError(STORE_INDEXCORRUPT, TableName());
    TPage& page = CachePage(SysDeletedIndex, number);
    FreePage(page);
  }
  for (int s = slot; s < count; ++s) {
    std::memcpy(HeaderCopy.Desc(s).Raw().data(), HeaderCopy.Desc(s + 1).Raw().data(), IndexDescSize);
    std::swap(Caches[static_cast<std::size_t>(s)], Caches[static_cast<std::size_t>(s + 1)]);
  }
  std::memset(HeaderCopy.Desc(count).Raw().data(), 0, IndexDescSize);
  HeaderCopy.SetSecondaryCount(static_cast<std::uint8_t>(count - 1));
  IsHeaderDirty = true;
  RebuildKeyDefs();
  // Pages cached under the moved slots carry their new slot number.
  for (int s = 0; s < IndexSlots; ++s)
    for (auto& page : Caches[static_cast<std::size_t>(s)].Sorted()) page->Slot = s;
}

void TIndexFile::OpenIndexFile(const std::string& path, TAccess access, bool exclusive) {
  Close();
  TFileHandler::Open(path, access, exclusive);
  try {
    TIndexHeader header;
    if (ReadAt(0, header.Raw(), true) != PageSize) RaiseStoreError(STORE_HEADERCORRUPT, path);
    if (header.Version() != IndexFileVersion) RaiseStoreError(STORE_OLDVERSION, path);
    if (header.SecondaryCount() > MaxSecondaryIndexes) RaiseStoreError(STORE_HEADERCORRUPT, path);
    header.SetDirtyMarker(0);
    HeaderCopy = header;
    IsHeaderDirty = false;
    PrimaryDefined = true;
  } catch (...) {
    Close();
    throw;
  }
}

void TIndexFile::Verify(std::span<const TFieldDesc> fields) {
  // A damaged index header is the index file's fault: the message names it.
  const std::string& t = Path();
  auto corrupt = [&] { RaiseStoreError(STORE_HEADERCORRUPT, t); };
  if (HeaderCopy.Version() != IndexFileVersion) RaiseStoreError(STORE_OLDVERSION, t);
  const int count = HeaderCopy.SecondaryCount();
  if (count > MaxSecondaryIndexes) corrupt();
  std::set<std::string> names;
  for (int slot = 1; slot <= count; ++slot) {
    const TIndexDesc d = HeaderCopy.Desc(slot);
    std::string name(TrimText(d.Name()));
    if (d.NameLength() > 30 || name.empty() || !IsIdentifierStart(static_cast<unsigned char>(name[0]))) corrupt();
    if (!names.insert(UpperText(name)).second) corrupt();
  }
  const TIndexDesc primary = HeaderCopy.Desc(PrimaryIndex);
  if (primary.NameLength() != 0) corrupt();
  if (!HeaderCopy.NoPrimaryFields() && !primary.Unique()) corrupt();
  if (HeaderCopy.NoPrimaryFieldsByte() > 1 || HeaderCopy.NoPrimaryFields() != (primary.FieldCount() == 0)) corrupt();
  const std::int32_t nextPage = HeaderCopy.NextPage();
  if (nextPage < 1) corrupt();
  for (int slot = 0; slot < IndexSlots; ++slot) {
    const bool internal = slot == SysDeletedIndex || slot == SysTextIndex;
    const bool inUse = slot == PrimaryIndex || (slot >= 1 && slot <= count) || internal;
    if (!inUse) continue;
    const TIndexDesc d = HeaderCopy.Desc(slot);
    if (d.FieldCount() > MaxKeyFields) corrupt();
    if (d.Compression() > 3) corrupt();
    std::size_t keyLength = 0;
    for (int i = 0; i < MaxKeyFields; ++i) {
      const std::uint16_t number = d.FieldNumber(i);
      if (i < d.FieldCount()) {
        if (number == 0 || number > fields.size()) corrupt();
        const TFieldDesc& f = fields[number - 1u];
        if (slot == SysTextIndex) {
          if (!(f.IsString() || (f.IsBlob() && f.Subtype() == 22))) corrupt();
        } else if (f.IsBlob()) {
          corrupt();
        }
        keyLength += KeySizeOf(f) + 1;
      } else if (number != 0) {
        corrupt();
      }
    }
    if (keyLength > MaxKeyLength) corrupt();
    if (!internal) {
      if (d.FieldCount() == 0 && !(slot == PrimaryIndex && HeaderCopy.NoPrimaryFields())) corrupt();
      // The stored key length must be the one the fields make, or keys would
      // not fit their entries.
      if (d.FieldCount() > 0 && d.KeyLength() != keyLength + (d.Unique() ? 0 : 4)) corrupt();
      if (d.FieldCount() == 0 && d.KeyLength() != 0) corrupt();
    } else {
      if (d.KeyLength() != (slot == SysDeletedIndex ? SysDeletedKeyLength : SysTextKeyLength)) corrupt();
      if (slot == SysDeletedIndex && d.FieldCount() != 0) corrupt();
    }
    for (std::int32_t page : {d.Root(), d.FreeHead(), d.ParameterPage()})
      if (page < 0 || page >= nextPage) corrupt();
    if (d.FieldCount() == 0 && !internal && (d.Root() != 0)) corrupt();
  }
  if (HeaderCopy.ActiveRecords() < 0) corrupt();
}

void TIndexFile::Bind(std::span<const TFieldDesc> fields, std::uint16_t languageId, std::uint16_t sortId) {
  std::shared_ptr<const TCollation> collation;
  if (languageId != 0) {
    collation = TCollation::ForLocale(languageId, sortId);
    if (!collation) RaiseStoreError(STORE_CANNOTLOADLDDRV, TableName());
  }
  BoundFields.assign(fields.begin(), fields.end());
  BoundLanguage = languageId;
  BoundSort = sortId;
  Collation = std::move(collation);
  Bound = true;
  RebuildKeyDefs();
}

void TIndexFile::RebuildKeyDefs() {
  if (!Bound) return;  // Bind builds them
  KeyDefs.clear();
  for (int slot = 0; slot < IndexSlots; ++slot)
    KeyDefs.push_back(std::make_unique<TKeyDef>(HeaderCopy.Desc(slot), slot, BoundFields, BoundLanguage, Collation));
}

const TKeyDef& TIndexFile::KeyDef(int slot) const { return *KeyDefs[static_cast<std::size_t>(slot)]; }

TPageLayout TIndexFile::Layout(int slot) const {
  const TKeyDef& def = KeyDef(slot);
  TPageLayout layout;
  layout.KeyLength = def.KeyLength();
  layout.ProperLength = def.ProperLength();
  layout.Compression = def.Compression();
  layout.Counts = def.HasCounts();
  return layout;
}

bool TIndexFile::SlotInUse(int slot) const {
  if (slot == PrimaryIndex) return !HeaderCopy.NoPrimaryFields();
  if (slot == SysDeletedIndex) return true;
  if (slot == SysTextIndex) return false;
  return slot >= 1 && slot <= HeaderCopy.SecondaryCount();
}

int TIndexFile::FindIndex(std::string_view name) const {
  std::string_view trimmed = TrimText(name);
  if (trimmed.empty() || SameTextNoCase(trimmed, "Primary")) return PrimaryIndex;
  for (int slot = 1; slot <= HeaderCopy.SecondaryCount(); ++slot)
    if (SameTextNoCase(TrimText(HeaderCopy.Desc(slot).Name()), trimmed)) return slot;
  return -1;
}

std::string TIndexFile::IndexDisplayName(int slot) const {
  return slot == PrimaryIndex ? std::string("Primary") : HeaderCopy.Desc(slot).Name();
}

void TIndexFile::Close() {
  for (auto& cache : Caches) {
    cache = TPageCache(BaseCapacity);
  }
  IsHeaderDirty = false;
  TFileHandler::Close();
}

void TIndexFile::ReloadHeader() {
  TIndexHeader fresh;
  if (ReadAt(0, fresh.Raw(), true) != PageSize) RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  TakeHeader(fresh);
}

bool TIndexFile::RefreshHeader() {
  TIndexHeader fresh;
  if (ReadAt(0, fresh.Raw(), true) != PageSize) RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  if (fresh.ChangeCounter() == HeaderCopy.ChangeCounter()) return false;
  TakeHeader(fresh);
  return true;
}

void TIndexFile::TakeHeader(TIndexHeader& fresh) {
  if (fresh.Version() != IndexFileVersion || fresh.SecondaryCount() > MaxSecondaryIndexes)
    RaiseStoreError(STORE_HEADERCORRUPT, TableName());
  fresh.SetDirtyMarker(0);
  HeaderCopy = fresh;
  IsHeaderDirty = false;
  RebuildKeyDefs();
}

bool TIndexFile::WriteHeader(bool force, bool flushOs) {
  if (!IsHeaderDirty && !force) return false;
  // The counter moves in the copy itself (a 4 KB page), and back when the write fails.
  const std::uint32_t counter = HeaderCopy.ChangeCounter();
  HeaderCopy.SetChangeCounter(counter + 1);
  try {
    // The counter goes last, in a store of its own: until it moves, the
    // counters differ and the commit stays marked, so a kill between the
    // two writes cannot leave new counters over old roots and counts.
    const TConstBytes raw = HeaderCopy.Raw();
    WriteAt(4, raw.subspan(4));
    WriteAt(0, raw.first(4));
  } catch (...) {
    HeaderCopy.SetChangeCounter(counter);
    throw;
  }
  IsHeaderDirty = false;
  if (flushOs) Flush();
  return true;
}

void TIndexFile::Empty() {
  for (auto& cache : Caches) cache.DropUnpinned();
  // The file keeps its length, and with it its blocks: the trees built
  // next are written over the old pages, so that a full disk rarely stops
  // them, and what lies past the new end is cut once they are written.
  HeaderCopy.SetNextPage(1);
  for (int slot = 0; slot < IndexSlots; ++slot) {
    TIndexDesc d = HeaderCopy.Desc(slot);
    d.SetRoot(0);
    d.SetFreeHead(0);
    d.SetParameterPage(0);
  }
  HeaderCopy.SetActiveRecords(0);
  IsHeaderDirty = true;
}

TPage& TIndexFile::CachePage(int slot, std::int32_t number) {
  TPageCache& cache = Caches[static_cast<std::size_t>(slot)];
  if (!cache.MakeRoom()) {
    if (!DeferWrites) FlushPages();
    if (!cache.MakeRoom()) cache.Grow(4);
  }
  TPage& page = cache.Add(number, Layout(slot));
  page.Slot = slot;
  return page;
}

TPage& TIndexFile::GetPage(int slot, std::int32_t number) {
  TPageCache& cache = Caches[static_cast<std::size_t>(slot)];
  if (TPage* cached = cache.Find(number)) {
    ++cached->PinCount;
    return *cached;
  }
  BeforeCacheMiss();
  if (number < 1 || number >= HeaderCopy.NextPage()) RaiseStoreError(STORE_INDEXCORRUPT, TableName());
  // Room first: making room may write pages through the I/O buffer.
  TPage& page = CachePage(slot, number);
  ReadBuffer.resize(PageSize);
  if (ReadAt(static_cast<std::uint64_t>(number) * PageSize, ReadBuffer, true) != PageSize) {
    cache.Remove(page);
    RaiseStoreError(STORE_INDEXCORRUPT, TableName());
  }
  if (!page.Decode(ReadBuffer)) {
    cache.Remove(page);
    RaiseStoreError(STORE_INDEXCORRUPT, TableName());
  }
  ++page.PinCount;
  return page;
}

TPage& TIndexFile::NewPage(int slot, std::uint8_t type) {
  TIndexDesc desc = HeaderCopy.Desc(slot);
  TPage* page = nullptr;
  if (desc.FreeHead() != 0) {
    TPage& reused = GetPage(slot, desc.FreeHead());
    if (!reused.Free || reused.Next < 0 || reused.Next >= HeaderCopy.NextPage() || reused.Next == reused.Number) {
      ReleasePage(reused);
      RaiseStoreError(STORE_INDEXCORRUPT, TableName());
    }
    desc.SetFreeHead(reused.Next);
    page = &reused;
  } else {
    const std::int32_t number = HeaderCopy.NextPage();
    if (number > MaxPageNumber || (static_cast<std::uint64_t>(number) + 1) * PageSize > MaxFileBytes)
      RaiseStoreError(STORE_TABLEFULL, TableName());
    page = &CachePage(slot, number);
    ++page->PinCount;
    HeaderCopy.SetNextPage(number + 1);
  }
  page->Clear();
  page->Free = false;
  page->Type = type;
  page->Previous = 0;
  page->Next = 0;
  page->Dirty = true;
  IsHeaderDirty = true;
  return *page;
}

void TIndexFile::FreePage(TPage& page) {
  TIndexDesc desc = HeaderCopy.Desc(page.Slot);
  page.Clear();
  page.Free = true;
  page.Previous = 0;
  page.Next = desc.FreeHead();
  desc.SetFreeHead(page.Number);
  page.Dirty = true;
  IsHeaderDirty = true;
}

void TIndexFile::ReleasePage(TPage& page) {
  if (page.PinCount > 0) --page.PinCount;
}

bool TIndexFile::FlushPages() {
  std::vector<TPage*>& dirty = DirtyScratch;
  dirty.clear();
  // A page over its capacity is in the middle of a split and stays behind.
  for (auto& cache : Caches)
    for (auto& page : cache.Sorted())
      if (page->Dirty && page->PinCount == 0 && (page->Free || page->Fits())) dirty.push_back(page.get());
  if (dirty.empty()) return false;
  std::sort(dirty.begin(), dirty.end(), [](const TPage* a, const TPage* b) { return a->Number < b->Number; });
  // A page the file holds as last read or written gets only the bytes that
  // changed (a count in an interior page, the entries from an insertion on);
  // the others are written whole, runs of consecutive pages at once.
  std::size_t i = 0;
  while (i < dirty.size()) {
    TPage& first = *dirty[i];
    const std::uint64_t at = static_cast<std::uint64_t>(first.Number) * PageSize;
    if (first.Patchable()) {
      if (first.HeaderChanged()) {
        std::uint8_t header[PageHeaderBytes];
        first.EncodeHeader(header);
        WriteAt(at, header);
      }
      const auto [from, to] = first.ChangedBytes();
      if (to > from) {
        IoBuffer.resize(to - from);
        first.EncodeRange(from, IoBuffer);
        WriteAt(at + from, IoBuffer);
      }
      first.ImageWritten();
      first.Dirty = false;
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < dirty.size() && dirty[j]->Number == dirty[j - 1]->Number + 1 && !dirty[j]->Patchable()) ++j;
    IoBuffer.resize((j - i) * PageSize);
    for (std::size_t k = i; k < j; ++k) dirty[k]->Encode(std::span(IoBuffer).subspan((k - i) * PageSize, PageSize));
    WriteAt(at, IoBuffer);
    for (std::size_t k = i; k < j; ++k) {
      dirty[k]->ImageWritten();
      dirty[k]->Dirty = false;
    }
    i = j;
  }
  return true;
}

void TIndexFile::SetPageCacheCapacity(std::size_t pages) {
  BaseCapacity = pages < 1 ? 1 : pages;
  for (auto& cache : Caches) cache.SetCapacity(BaseCapacity);
}

void TIndexFile::TrimCache() {
  for (auto& cache : Caches) cache.Trim(BaseCapacity);
}

void TIndexFile::DiscardCache() {
  for (auto& cache : Caches) cache.DropUnpinned();
}

}  // namespace store
