// The index file of a table: the header with the 33 index descriptors, a
// page cache per index, page allocation with per-index free lists, and the
// definition of the primary and secondary indexes.
//
// Contract: pages handed out by GetPage / NewPage are pinned until
// ReleasePage; a pinned or dirty page is never replaced from the disk. The
// key definitions are valid after Bind (the data file's fields are needed
// to build keys) and are rebuilt whenever the descriptors change.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "StoreExport.h"
#include "DataFormat.h"
#include "FileHandler.h"
#include "IndexFormat.h"
#include "Key.h"
#include "PageCache.h"

namespace store {

struct SAUNO_STORE_EXPORT TIndexDefinition {
  std::string Name;
  std::vector<std::uint16_t> Fields;  // field numbers, in key order
  std::vector<bool> FieldDescending;  // per key field; missing entries are ascending
  bool Descending = false;
  bool CaseInsensitive = false;
  bool Unique = false;
  bool NoCounts = false;
  std::uint8_t Compression = 0;
};

class SAUNO_STORE_EXPORT TIndexFile : public TFileHandler {
 public:
  explicit TIndexFile(std::string tableName);
  ~TIndexFile() override;

  // Makes the file anew with a fresh header in memory (version 5, next page 1,
  // the two internal indexes, no primary fields); written by WriteHeader.
  // `keepHeader` keeps the header built in memory since NewHeader.
  void CreateIndexFile(const std::string& path, bool exclusive, bool keepHeader = false);
  // A fresh header in memory, without any file.
  void NewHeader();
  void DefinePrimaryIndex(const TIndexDefinition& definition, std::span<const TFieldDesc> fields);
  void AddSecondaryIndex(const TIndexDefinition& definition, std::span<const TFieldDesc> fields);
  // Removes secondary slot 1 ... count; its pages join the free list of
  // "Sys Deleted" so that none is lost.
  void DeleteSecondaryIndex(int slot, std::span<const TFieldDesc> fields);
  void OpenIndexFile(const std::string& path, TAccess access, bool exclusive);
  // The header's tests against the data file's fields.
  void Verify(std::span<const TFieldDesc> fields);
  // Builds the key definitions; STORE_CANNOTLOADLDDRV when a non-zero
  // language has no installed locale.
  void Bind(std::span<const TFieldDesc> fields, std::uint16_t languageId, std::uint16_t sortId);
  void Close() override;

  bool RefreshHeader();
  // Reads the header again whatever its change counter says; pending
  // changes of the header copy are lost.
  void ReloadHeader();
  bool WriteHeader(bool force, bool flushOs = false);
  // Every tree and free list emptied in the header copy; the file keeps its
  // pages until they are written over (the caller cuts what is left).
  void Empty();

  TPage& GetPage(int slot, std::int32_t number);
  TPage& NewPage(int slot, std::uint8_t type);
  void FreePage(TPage& page);
  void ReleasePage(TPage& page);
  void MarkPageDirty(TPage& page) {
    page.Dirty = true;
  }
  bool FlushPages();
  void TrimCache();
  void DiscardCache();
  // Pages each index keeps after a commit (2 by default).
  void SetPageCacheCapacity(std::size_t pages);

  TIndexHeader& Header() { return HeaderCopy; }
  const TIndexHeader& Header() const { return HeaderCopy; }
  void MarkHeaderDirty() { IsHeaderDirty = true; }
  bool HeaderDirty() const { return IsHeaderDirty; }
  const TKeyDef& KeyDef(int slot) const;
  TPageLayout Layout(int slot) const;
  bool SlotInUse(int slot) const;
  // The slot of a named index (the primary answers to "" and "Primary"); -1 if none.
  int FindIndex(std::string_view name) const;
  std::string IndexDisplayName(int slot) const;
  std::size_t CachedPages(int slot) const { return Caches[static_cast<std::size_t>(slot)].Size(); }
  // While set, a full cache grows instead of writing dirty pages early.
  void SetDeferWrites(bool defer) { DeferWrites = defer; }

 private:
  void FillDescriptor(TIndexDesc desc, const TIndexDefinition& definition, std::span<const TFieldDesc> fields,
                      bool primary);
  void RebuildKeyDefs();
  void TakeHeader(TIndexHeader& fresh);
  TPage& CachePage(int slot, std::int32_t number);

  TIndexHeader HeaderCopy;
  bool IsHeaderDirty = false;
  bool PrimaryDefined = false;
  bool DeferWrites = false;
  std::array<TPageCache, IndexSlots> Caches;
  std::size_t BaseCapacity = 2;
  std::vector<std::unique_ptr<TKeyDef>> KeyDefs;
  std::vector<TFieldDesc> BoundFields;
  std::uint16_t BoundLanguage = 0;
  std::uint16_t BoundSort = 0;
  std::shared_ptr<const TCollation> Collation;
  bool Bound = false;
  std::vector<std::uint8_t> IoBuffer;
  std::vector<std::uint8_t> ReadBuffer;
  std::vector<TPage*> DirtyScratch;
};

}  // namespace store
