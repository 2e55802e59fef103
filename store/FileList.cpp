#include "FileList.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "CharTable.h"
#include "MappedCopy.h"
#include "StoreError.h"
#include "WriteFaults.h"

namespace store {

namespace {
// Room for the largest file a table may have.
constexpr std::uint64_t MappableBytes = 4000000000ull + 65536;
}  // namespace

TAbstractFile::TAbstractFile(std::string path, int fd, bool readOnly, bool exclusive)
    : FilePath(std::move(path)), Fd(fd), IsReadOnly(readOnly), IsExclusive(exclusive), Locks(fd) {
  if (!IsReadOnly) {
    void* at = ::mmap(nullptr, MappableBytes, PROT_READ | PROT_WRITE, MAP_SHARED, Fd, 0);
    if (at != MAP_FAILED) {
      Mapping = static_cast<std::uint8_t*>(at);
      MappedLength = MappableBytes;
      PrepareGuardedCopies();
      MeasureLength();
    }
  }
}

TAbstractFile::~TAbstractFile() {
  if (Mapping) ::munmap(Mapping, MappedLength);
  Locks.ReleaseAll();
  ::close(Fd);
}

void TAbstractFile::MeasureForMappedWrites() {
  std::lock_guard guard(Guard);
  MeasureLength();
}

void TAbstractFile::MeasureLength() {
  struct stat st {};
  WritableLength = Mapping && ::fstat(Fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

int TAbstractFile::AddHandler() {
  std::lock_guard guard(Guard);
  int id = NextHandlerId++;
  Positions[id] = 0;
  return id;
}

void TAbstractFile::RemoveHandler(int id) {
  std::lock_guard guard(Guard);
  Positions.erase(id);
}

std::size_t TAbstractFile::HandlerCount() {
  std::lock_guard guard(Guard);
  return Positions.size();
}

namespace {
long long FullPread(int fd, std::uint64_t offset, TBytes buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    ssize_t n = ::pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(done);
}

long long FullPwrite(int fd, std::uint64_t offset, TConstBytes buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    ssize_t n = ::pwrite(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) {
      errno = ENOSPC;
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(done);
}
}  // namespace

long long TAbstractFile::ReadAt(int id, std::uint64_t offset, TBytes buffer, bool mapped) {
  std::lock_guard guard(Guard);
  long long n = 0;
  if (mapped && Mapping && offset + buffer.size() <= WritableLength &&
      GuardedCopy(buffer.data(), Mapping + offset, buffer.size())) {
    n = static_cast<long long>(buffer.size());
  } else {
    // Past the length last known, or the file is shorter than that now.
    if (mapped && Mapping && offset + buffer.size() <= WritableLength) MeasureLength();
    n = FullPread(Fd, offset, buffer);
  }
  if (n >= 0) Positions[id] = offset + static_cast<std::uint64_t>(n);
  return n;
}

long long TAbstractFile::WriteAt(int id, std::uint64_t offset, TConstBytes buffer, bool oneCall) {
  std::lock_guard guard(Guard);
  if (IsReadOnly) {
    errno = EBADF;
    return -1;
  }
  if (WriteShouldFail()) return -1;
  long long n = 0;
  const std::uint64_t end = offset + buffer.size();
  if (!oneCall && Mapping && end <= WritableLength && GuardedCopy(Mapping + offset, buffer.data(), buffer.size())) {
    // The bytes exist: a copy into the shared pages is the write.
    n = static_cast<long long>(buffer.size());
  } else {
    // Cut short behind this process's back: what is there now is measured
    // and the write goes through the system call.
    if (!oneCall && Mapping && end <= WritableLength) MeasureLength();
    n = FullPwrite(Fd, offset, buffer);
    // What this write appended exists now too.
    if (n >= 0 && Mapping && end > WritableLength) WritableLength = end;
  }
  if (n >= 0) Positions[id] = offset + static_cast<std::uint64_t>(n);
  if (n >= 0) JournalWrite(FilePath, offset, buffer, false);
  AfterWrite();
  return n;
}

long long TAbstractFile::Read(int id, TBytes buffer) {
  std::uint64_t at;
  {
    std::lock_guard guard(Guard);
    at = Positions[id];
  }
  return ReadAt(id, at, buffer);
}

long long TAbstractFile::Write(int id, TConstBytes buffer) {
  std::uint64_t at;
  {
    std::lock_guard guard(Guard);
    at = Positions[id];
  }
  return WriteAt(id, at, buffer);
}

int TAbstractFile::ReserveTo(std::uint64_t length) {
  std::lock_guard guard(Guard);
  if (IsReadOnly) return EBADF;
  struct stat st {};
  if (::fstat(Fd, &st) != 0) return errno;
  if (static_cast<std::uint64_t>(st.st_size) >= length) return 0;
  // The blocks are allocated but the length stays, so that nothing of an
  // interrupted commit shows in the file's size.
  if (::fallocate(Fd, FALLOC_FL_KEEP_SIZE, st.st_size,
                  static_cast<off_t>(length - static_cast<std::uint64_t>(st.st_size))) == 0)
    return 0;
  // A file system without allocation support gives no guarantee, and no failure either.
  if (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS) return 0;
  return errno;
}

void TAbstractFile::ReleaseReserved() {
  std::lock_guard guard(Guard);
  if (IsReadOnly) return;
  struct stat st {};
  if (::fstat(Fd, &st) != 0) return;
  // Blocks past the end, allocated for writes that did not happen: cutting
  // the file at its own length frees them (a hole punched past the end
  // would not).
  if (::ftruncate(Fd, st.st_size) == 0) WritableLength = Mapping ? static_cast<std::uint64_t>(st.st_size) : 0;
}

int TAbstractFile::TruncateAt(int id, std::uint64_t offset) {
  std::lock_guard guard(Guard);
  if (IsReadOnly) {
    errno = EBADF;
    return -1;
  }
  if (::ftruncate(Fd, static_cast<off_t>(offset)) != 0) return -1;
  Positions[id] = offset;
  WritableLength = offset;
  return 0;
}

long long TAbstractFile::Seek(int id, long long offset, int whence) {
  std::lock_guard guard(Guard);
  long long base = 0;
  if (whence == SEEK_CUR) base = static_cast<long long>(Positions[id]);
  if (whence == SEEK_END) {
    struct stat st {};
    if (::fstat(Fd, &st) != 0) return -1;
    base = st.st_size;
  }
  long long target = base + offset;
  if (target < 0) {
    errno = EINVAL;
    return -1;
  }
  Positions[id] = static_cast<std::uint64_t>(target);
  return target;
}

long long TAbstractFile::Size() {
  struct stat st {};
  if (::fstat(Fd, &st) != 0) return -1;
  return st.st_size;
}

int TAbstractFile::Flush() {
  JournalWrite(FilePath, 0, {}, true);
  return ::fdatasync(Fd);
}

bool TAbstractFile::Lock(std::uint64_t key, std::uint64_t start, std::uint64_t length, TLockMode mode) {
  std::lock_guard guard(Guard);
  return Locks.Acquire(key, start, length, mode);
}

bool TAbstractFile::Unlock(std::uint64_t key) {
  std::lock_guard guard(Guard);
  return Locks.Release(key);
}

bool TAbstractFile::HoldsLock(std::uint64_t key) {
  std::lock_guard guard(Guard);
  return Locks.Holds(key);
}

TLockMode TAbstractFile::LockModeAt(std::uint64_t offset) {
  std::lock_guard guard(Guard);
  return Locks.ModeAt(offset);
}

TFileList& TFileList::Instance() {
  static TFileList list;
  return list;
}

namespace {
constexpr std::uint64_t ShareLockKey = 0x5348415245ull;  // "SHARE"

bool SameFile(const std::string& a, int fd) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::fstat(fd, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

TFileList::TOpened TFileList::Open(const std::string& path, TAccess access, bool exclusive, bool create,
                                   const std::string& tableName) {
  std::lock_guard guard(Guard);
  for (auto& file : Files) {
    if (!SameTextNoCase(file->Path(), path)) continue;
    if (file->Path() != path && !SameFile(path, file->Descriptor())) continue;
    if (exclusive || file->Exclusive() || create) RaiseStoreError(STORE_OSEACCES, tableName);
    if (access == TAccess::acReadWrite && file->ReadOnly()) {
      // Shared with a read-only opener: this handler reads only as well.
    }
    return {file.get(), file->AddHandler()};
  }

  bool readOnly = access == TAccess::acReadOnly;
  int fd = -1;
  if (create) {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) RaiseOsError(errno, tableName);
  } else {
    if (!readOnly) {
      struct stat st {};
      if (::stat(path.c_str(), &st) != 0) RaiseOsError(errno, tableName);
      // No write bit at all means read-only, even for a user who could write.
      if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) readOnly = true;
    }
    if (!readOnly) {
      fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) readOnly = true;
      else if (fd < 0) RaiseOsError(errno, tableName);
    }
    if (readOnly) {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) RaiseOsError(errno, tableName);
    }
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    RaiseOsError(error == 0 ? EINVAL : error, tableName);
  }
  auto file = std::make_unique<TAbstractFile>(path, fd, readOnly, exclusive);
  // Exclusive use between processes: a write lock on the share byte against
  // the read locks every other open holds there.
  if (!file->Lock(ShareLockKey, ShareLockOffset, 1, exclusive || create ? TLockMode::lmWrite : TLockMode::lmRead))
    RaiseStoreError(STORE_OSEACCES, tableName);
  int id = file->AddHandler();
  if (create) {
    // Emptied only once no other process uses it; then shared again unless
    // exclusive use was asked for.
    if (file->TruncateAt(id, 0) != 0) RaiseOsError(errno, tableName);
    if (!exclusive) {
      file->Lock(ShareLockKey + 1, ShareLockOffset, 1, TLockMode::lmRead);
      file->Unlock(ShareLockKey);
    }
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  TAbstractFile* raw = file.get();
  Files.push_back(std::move(file));
  return {raw, id};
}

void TFileList::Release(TAbstractFile* file, int handlerId) {
  std::lock_guard guard(Guard);
  file->RemoveHandler(handlerId);
  if (file->HandlerCount() != 0) return;
  Files.erase(std::remove_if(Files.begin(), Files.end(), [file](const auto& f) { return f.get() == file; }),
              Files.end());
}

std::size_t TFileList::OpenFileCount() {
  std::lock_guard guard(Guard);
  return Files.size();
}

}  // namespace store
