// The common base of the data, index and BLOB files of a table: one handler
// over a shared physical file of the process-wide file list, with its own
// position. Short reads where a full count is demanded raise STORE_READERR,
// failed or short writes STORE_WRITEERR, both naming the owning table.
//
// Each handler holds its byte-range locks through an open file description
// of its own, so that two tables of one process (two sessions) lock against
// each other exactly as two processes do, and neither can release the other's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "StoreExport.h"
#include "Bytes.h"
#include "FileList.h"

namespace store {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class SAUNO_STORE_EXPORT TFileHandler {
 public:
  explicit TFileHandler(std::string tableName);
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  // Opens an existing file. A read-write open of a file that cannot be
  // written (no write bit, read-only file system, refused) opens read-only.
  virtual void Open(const std::string& path, TAccess access, bool exclusive);
  virtual void Close();
  // Makes the file anew, empty, replacing an existing one.
  virtual void Create(const std::string& path, bool exclusive);
  static void Delete(const std::string& path, const std::string& tableName);
  static void Rename(const std::string& from, const std::string& to, const std::string& tableName);

  std::size_t Read(TBytes buffer, bool tolerateShort);
  // Writes at the position; an empty buffer truncates the file there.
  void Write(TConstBytes buffer);
  std::size_t ReadAt(std::uint64_t offset, TBytes buffer, bool tolerateShort);
  void WriteAt(std::uint64_t offset, TConstBytes buffer);
  // One system call, never the mapping: a process killed meanwhile leaves
  // all of the bytes or none (headers whose counter marks a commit, slots
  // rewritten in place).
  void WriteInOneCall(std::uint64_t offset, TConstBytes buffer);
  void Truncate(std::uint64_t length);
  // The file's length measured again for writes through its mapping (see
  // TAbstractFile::MeasureForMappedWrites): before every commit or repair.
  void MeasureForMappedWrites();
  // While set, reads inside the measured length copy from the mapping: only
  // while a lock keeps every other writer out and after measuring under it.
  void SetMappedReads(bool on) { MappedReads = on; }
  // Allocates the file up to `length` bytes (never shrinks), and some room
  // beyond so that most calls find it done; STORE_WRITEERR when the disk has
  // no room, the file keeping its length.
  void Reserve(std::uint64_t length);
  // Gives back what Reserve allocated past the file's end.
  void ReleaseReserved();
  std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin);
  std::uint64_t Size();
  void Flush();

  bool IsOpen() const { return File != nullptr; }
  bool ReadOnly() const { return File != nullptr && File->ReadOnly(); }
  const std::string& Path() const { return FilePath; }
  const std::string& TableName() const { return OwnerName; }

  // Byte-range locks of this handler (see above).
  bool LockRange(std::uint64_t key, std::uint64_t start, std::uint64_t length, TLockMode mode);
  bool UnlockRange(std::uint64_t key);
  bool HoldsLock(std::uint64_t key);
  TLockMode LockModeAt(std::uint64_t offset);

  // Called before a record or page that is not cached is read from the disk
  // (the table takes its read lock there and may abandon the operation).
  void SetCacheMissHook(std::function<void()> hook) { CacheMissHook = std::move(hook); }

 protected:
  [[noreturn]] void Fail(std::uint16_t code) const;
  void Attach(TFileList::TOpened opened, const std::string& path);
  void BeforeCacheMiss() {
    if (CacheMissHook) CacheMissHook();
  }

 private:
  std::string OwnerName;
  std::string FilePath;
  TAbstractFile* File = nullptr;
  int HandlerId = 0;
  int LockFd = -1;
  std::unique_ptr<TRangeLockSet> Locks;
  std::mutex LockGuard;
  std::function<void()> CacheMissHook;
  std::uint64_t ReservedTo = 0;
  bool MappedReads = false;
};

}  // namespace store
