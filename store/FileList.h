// The process-wide list of open physical files. Every path is opened once per
// process and shared by all handlers; each handler has its own position, and
// every operation on a shared file is serialised under the file's own lock.
// Paths are matched without regard to letter case (the same file reached
// through another spelling shares the entry; a different file does not).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "StoreExport.h"
#include "Bytes.h"
#include "RangeLocks.h"

namespace store {

// The byte (one past the last lock offset of the table protocol) on which
// every open takes a read lock, or a write lock when it wants exclusive use.
constexpr std::uint64_t ShareLockOffset = 4294967296ull;

class SAUNO_STORE_EXPORT TAbstractFile {
 public:
  TAbstractFile(std::string path, int fd, bool readOnly, bool exclusive);
  ~TAbstractFile();
  TAbstractFile(const TAbstractFile&) = delete;
  TAbstractFile& operator=(const TAbstractFile&) = delete;

  const std::string& Path() const { return FilePath; }
  bool ReadOnly() const { return IsReadOnly; }
  bool Exclusive() const { return IsExclusive; }

  int AddHandler();
  void RemoveHandler(int id);
  std::size_t HandlerCount();

  // All return -1 with errno set on a system failure. `mapped` lets a read
  // that falls inside the file as last measured copy from the mapping; the
  // caller vouches that no other process can have cut the file since.
  long long ReadAt(int id, std::uint64_t offset, TBytes buffer, bool mapped = false);
  // With `oneCall` the bytes go out in one system call, never through the
  // mapping: a process killed meanwhile leaves all of them or none.
  long long WriteAt(int id, std::uint64_t offset, TConstBytes buffer, bool oneCall = false);
  long long Read(int id, TBytes buffer);
  long long Write(int id, TConstBytes buffer);
  int TruncateAt(int id, std::uint64_t offset);
  // Writes that fall inside the file's length as last known go through a
  // shared mapping of it, without a system call each; the others, and
  // every write of a file that could not be mapped, are written. The
  // length is measured when the file opens and kept up to date with this
  // process's own writes and cuts; it must be measured again whenever
  // another process may have changed it (a table does when the change
  // counter moved). A copy that meets a page past the file's real end (a
  // file cut short by somebody else) measures and uses the system call.
  void MeasureForMappedWrites();
  // Allocates the bytes up to `length` without changing the file's length;
  // returns an errno value, 0 when done.
  int ReserveTo(std::uint64_t length);
  // Gives back the blocks allocated past the file's end (after a failure).
  void ReleaseReserved();
  long long Seek(int id, long long offset, int whence);
  long long Size();
  int Flush();

  bool Lock(std::uint64_t key, std::uint64_t start, std::uint64_t length, TLockMode mode);
  bool Unlock(std::uint64_t key);
  bool HoldsLock(std::uint64_t key);
  TLockMode LockModeAt(std::uint64_t offset);
  int Descriptor() const { return Fd; }

 private:
  void MeasureLength();  // under Guard

  std::string FilePath;
  int Fd;
  bool IsReadOnly;
  bool IsExclusive;
  std::mutex Guard;
  std::map<int, std::uint64_t> Positions;
  std::uint8_t* Mapping = nullptr;
  std::uint64_t MappedLength = 0;   // reserved address space
  std::uint64_t WritableLength = 0;  // the file's length as last known
  int NextHandlerId = 1;
  TRangeLockSet Locks;
};

enum class TAccess { acReadWrite, acReadOnly };

class SAUNO_STORE_EXPORT TFileList {
 public:
  static TFileList& Instance();

  struct TOpened {
    TAbstractFile* File;
    int HandlerId;
  };
  // Opens (or shares) the file. `create` makes it or empties it. Raises the
  // engine's operating-system errors under `tableName`; an exclusive open of a
  // file in use, or any open of a file used exclusively, is STORE_OSEACCES.
  TOpened Open(const std::string& path, TAccess access, bool exclusive, bool create, const std::string& tableName);
  void Release(TAbstractFile* file, int handlerId);
  std::size_t OpenFileCount();

 private:
  std::mutex Guard;
  std::vector<std::unique_ptr<TAbstractFile>> Files;
};

}  // namespace store
