// The files of one table in a database directory: their names, and the data
// and index file opened, created, verified and committed together.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "StoreExport.h"
#include "DataFile.h"
#include "IndexFile.h"

namespace store {

inline constexpr std::string_view DataExtension = ".DAT";
inline constexpr std::string_view IndexExtension = ".IDX";
inline constexpr std::string_view BlobExtension = ".BLB";

// The directory with a trailing separator (the current directory when empty).
SAUNO_STORE_EXPORT std::string NormaliseDirectory(std::string_view directory);
// Directory + table name + extension; a table name that already ends in the
// data extension (any case) has it replaced.
SAUNO_STORE_EXPORT std::string TableFilePath(std::string_view directory, std::string_view table, std::string_view extension);
// The path as made by TableFilePath when that file exists, else the one
// entry of the directory that matches it without regard to case, else the
// made path.
SAUNO_STORE_EXPORT std::string FindTableFile(std::string_view directory, std::string_view table, std::string_view extension);

struct SAUNO_STORE_EXPORT TTableDefinition {
  std::vector<TFieldDesc> Fields;  // laid out by TDataFile::LayoutFields
  TIndexDefinition Primary;        // no fields: the table has no primary index
  std::vector<TIndexDefinition> Secondaries;
  std::string Description;
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
};

class SAUNO_STORE_EXPORT TTableFiles {
 public:
  TTableFiles();
  ~TTableFiles();

  // Makes both files and commits, so that they hold their full headers.
  void Create(std::string_view directory, std::string_view table, const TTableDefinition& definition);
  // Opens both files and verifies them. A missing index file is made anew
  // with only the internal indexes, and "Sys Deleted" with the active-record
  // count is rebuilt from the data file.
  void Open(std::string_view directory, std::string_view table, TAccess access, bool exclusive);
  // The steps of Open one by one, for callers that lock in between: the
  // files opened (a missing index file made anew, see IndexCreated), then
  // verified, then "Sys Deleted" rebuilt when the index file was made.
  void OpenFiles(std::string_view directory, std::string_view table, TAccess access, bool exclusive);
  void VerifyOpened();
  // Opens both files for exclusive use, to mend them: the data file's
  // length is not held against its header (the repair takes the slots from
  // the file), and an index header whose trees do not verify keeps only its
  // index definitions, since every tree is built again anyway.
  void OpenForRepair(std::string_view directory, std::string_view table);
  // Mends whatever a power cut without flushes, a kill or a full disk can
  // leave, from what the data file holds: the slot count from its length
  // (whole slots past the header's count kept when they hold a record, a
  // piece of a slot cut), then RebuildFromRecords. Records whose slots are
  // whole are kept; nothing the header counted is cut.
  void RepairFromFiles(bool flushOs);
  bool IndexCreated() const { return MadeIndex; }
  // For an index file made because it was missing: "Sys Deleted" and the
  // active-record count built from the records and written.
  void FillMadeIndex(bool flushOs);
  // Forgets every change not yet committed: all cached records and pages,
  // dirty or not, are dropped and both headers are read again.
  void Revert();
  // Reserves the bytes the next commit will write past the ends of the
  // files, so that a full disk shows before anything is written. Raises
  // STORE_WRITEERR (the files keep their lengths).
  void ReserveCommitSpace();
  // Bytes of the data file that its header accounts for.
  std::uint64_t DataBytes() const;

  // A commit cut off by the end of its writer's process leaves a mark that
  // the next writer (under the write lock, or opening the table) repairs:
  // the change counters of the two files differ, because every commit
  // writes the data header first and the index header last. An older
  // writer that appended its slots before its header leaves instead a data
  // file longer than its header says, by slots of records whose
  // identifiers were never handed out.
  bool CountersDiffer() const;
  // True when the files show such a commit: the counters differ, or the
  // data file's length is not what its header accounts for.
  bool CommitPending();
  // Completes the repair of a pending commit, needing the write lock:
  // a tail of unhanded slots is cut; under the counter mark the data
  // file's slot count comes from its length, the deleted chain, its head
  // and the last identifier from the slots, and every index is built again
  // from the records. True when it changed anything; STORE_HEADERCORRUPT
  // when the files show damage no commit leaves.
  bool RepairInterruptedCommit(bool flushOs);
  // Builds every index again from the records and writes it, leaving the
  // data file as it is; the index header goes last and brings the counters
  // into step.
  void RebuildIndexes(bool flushOs);
  // A table's structures built again from its record slots, needing the
  // write lock or exclusive use: the deleted chain, its head and the last
  // identifier handed out, then every index the index file describes. Cut
  // off midway it leaves the mark of an unfinished commit, which the next
  // writer repairs the same way.
  void RebuildFromRecords(bool flushOs);
  // Adds a secondary index to a table open for exclusive use and builds it
  // (with every other index) from the records.
  void AddIndex(const TIndexDefinition& definition, bool flushOs);
  void Close();
  // While set, full caches grow instead of writing early, so that nothing
  // reaches the files between two commits.
  void DeferWrites(bool defer);
  // The session's cache limits, for the files opened from now on: record
  // cache bytes and records, index page cache bytes (8192 per page kept).
  void SetCacheLimits(std::size_t dataBytes, std::size_t dataRecords, std::size_t indexBytes) {
    DataCacheBytes = dataBytes;
    DataCacheRecords = dataRecords;
    IndexCacheBytes = indexBytes;
  }
  // Writes every dirty record and page and both headers (forced), in the
  // order that keeps a cut-off commit repairable: the data header first
  // (the mark), then the slots and the descriptor block, then the index
  // pages, then the index header. With `flushOs` the data file is flushed
  // after its header when slots are rewritten in place, and after its
  // slots; the index file after its pages. A commit that fails is undone
  // as far as the files allow (what cannot be undone keeps the mark) and
  // the error propagates.
  void Commit(bool flushOs = false);
  // Compares the change counters with the files. The data header moves with
  // every change of either file, so it is read first and alone when it has
  // not moved; when it has, it replaces the cached one and the records are
  // dropped, and the index header is read too (its pages dropped when it
  // moved). True when anything changed.
  bool DetectChanges();
  // Called just after the write lock is taken (true) and just before it is
  // given up (false): while it is held no other process writes the files,
  // so reads inside them copy from their mappings.
  void WriteLockHeld(bool held);
  bool ReadOnly() const { return Data->ReadOnly() || Index->ReadOnly(); }
  bool ReuseSlots() const { return !Index->Header().NoPrimaryFields(); }

  TDataFile& DataFile() { return *Data; }
  TIndexFile& IndexFile() { return *Index; }

 private:
  std::unique_ptr<TDataFile> Data;
  std::unique_ptr<TIndexFile> Index;
  bool MadeIndex = false;
  bool Deferring = false;
  enum class TCommitStage { csNothing, csHeader, csIndex };
  void UndoCommit(TCommitStage stage, const TDataHeader& before, const std::vector<TDataFile::TSlotImage>& undo,
                  bool flushOs);
  bool CutInterruptedAppend();
  // Raises STORE_KEYVIOL, naming the index and two records (the context's
  // Extra), when active records share a key of a unique index.
  void RequireUniqueKeys();
  // Allocates what a rebuild of every index may write, or raises
  // STORE_WRITEERR before anything is written.
  void ReserveRebuildSpace();
  void RepairDataFromSlots();
  void TakeSlotsFromLength();
  // Both files' lengths measured for writes through their mappings:
  // whenever another process may have changed them (the data counter
  // moved, a repair, a revert). Between two such moments only this
  // process changes them, and keeps its knowledge of them up to date.
  void MeasureFiles();
  std::size_t DataCacheBytes = 16384, DataCacheRecords = 8192, IndexCacheBytes = 16384;
};

}  // namespace store
