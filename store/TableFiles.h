// The files of one table in a database directory: their names, and the data
// and index file opened, created, verified and committed together.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DataFile.h"
#include "IndexFile.h"

namespace store {

inline constexpr std::string_view DataExtension = ".DAT";
inline constexpr std::string_view IndexExtension = ".IDX";
inline constexpr std::string_view BlobExtension = ".BLB";

// The directory with a trailing separator (the current directory when empty).
std::string NormaliseDirectory(std::string_view directory);
// Directory + table name + extension; a table name that already ends in the
// data extension (any case) has it replaced.
std::string TableFilePath(std::string_view directory, std::string_view table, std::string_view extension);
// The path as made by TableFilePath when that file exists, else the one
// entry of the directory that matches it without regard to case, else the
// made path.
std::string FindTableFile(std::string_view directory, std::string_view table, std::string_view extension);

struct TTableDefinition {
  std::vector<TFieldDesc> Fields;  // laid out by TDataFile::LayoutFields
  TIndexDefinition Primary;        // no fields: the table has no primary index
  std::vector<TIndexDefinition> Secondaries;
  std::string Description;
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
};

class TTableFiles {
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

  // Repairs of a commit that was cut off (the writer's process ended inside
  // it); both need the write lock. The data file longer than its header
  // says, by slots of records whose identifiers were never handed out: the
  // tail is cut, the records in flight are lost. True when it cut.
  bool CutInterruptedAppend();
  // Commits move both change counters together; a data file one commit
  // ahead of its index file means the index was not (or only partly)
  // written, and every index is built again from the records.
  bool IndexLags() const;
  // Builds every index again from the records and writes it, leaving the
  // data file as it is; the index header goes last and brings the counters
  // into step. Only for an index that lags its data file by one commit.
  void RebuildIndexes(bool flushOs);
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
  // Writes every dirty record and page and both headers (forced).
  void Commit(bool flushOs = false);
  // Compares the change counters with the files: when the index file moved,
  // both headers are re-read and every cached record and page is dropped;
  // when only the data file moved, its header is replaced and the records
  // dropped. True when anything changed.
  bool DetectChanges();
  bool ReadOnly() const { return Data->ReadOnly() || Index->ReadOnly(); }
  bool ReuseSlots() const { return !Index->Header().NoPrimaryFields(); }

  TDataFile& DataFile() { return *Data; }
  TIndexFile& IndexFile() { return *Index; }

 private:
  std::unique_ptr<TDataFile> Data;
  std::unique_ptr<TIndexFile> Index;
  bool MadeIndex = false;
  std::size_t DataCacheBytes = 16384, DataCacheRecords = 8192, IndexCacheBytes = 16384;
};

}  // namespace store
