#include "FileHandler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "StoreError.h"

namespace store {

TFileHandler::TFileHandler(std::string tableName) : OwnerName(std::move(tableName)) {}

TFileHandler::~TFileHandler() { TFileHandler::Close(); }

void TFileHandler::Fail(std::uint16_t code) const { RaiseStoreError(code, OwnerName); }

namespace {
// A second open file description of an open file, for locks of its own.
int ReopenForLocks(int fd, const std::string& path, bool readOnly) {
  const int flags = (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  int again = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), flags);
  if (again < 0) again = ::open(path.c_str(), flags);
  if (again < 0) return -1;
  struct stat a {}, b {};
  if (::fstat(fd, &a) != 0 || ::fstat(again, &b) != 0 || a.st_dev != b.st_dev || a.st_ino != b.st_ino) {
    ::close(again);
    return -1;
  }
  return again;
}
}  // namespace

void TFileHandler::Attach(TFileList::TOpened opened, const std::string& path) {
  File = opened.File;
  HandlerId = opened.HandlerId;
  FilePath = path;
  LockFd = ReopenForLocks(File->Descriptor(), path, File->ReadOnly());
  if (LockFd < 0) {
    const int error = errno == 0 ? EBADF : errno;
    TFileHandler::Close();
    RaiseOsError(error, OwnerName);
  }
  Locks = std::make_unique<TRangeLockSet>(LockFd);
}

void TFileHandler::Open(const std::string& path, TAccess access, bool exclusive) {
  TFileHandler::Close();
  Attach(TFileList::Instance().Open(path, access, exclusive, false, OwnerName), path);
}

void TFileHandler::Create(const std::string& path, bool exclusive) {
  TFileHandler::Close();
  Attach(TFileList::Instance().Open(path, TAccess::acReadWrite, exclusive, true, OwnerName), path);
}

void TFileHandler::Close() {
  if (Locks) {
    Locks->ReleaseAll();
    Locks.reset();
  }
  if (LockFd >= 0) ::close(LockFd);
  LockFd = -1;
  if (File == nullptr) return;
  TFileList::Instance().Release(File, HandlerId);
  File = nullptr;
  HandlerId = 0;
  ReservedTo = 0;
}

void TFileHandler::Delete(const std::string& path, const std::string& tableName) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) RaiseStoreError(STORE_FILEDELETEFAIL, tableName);
}

void TFileHandler::Rename(const std::string& from, const std::string& to, const std::string& tableName) {
  if (std::rename(from.c_str(), to.c_str()) != 0) RaiseOsError(errno, tableName);
}

std::size_t TFileHandler::Read(TBytes buffer, bool tolerateShort) {
  if (File == nullptr) Fail(STORE_OSEBADF);
  long long n = File->Read(HandlerId, buffer);
  if (n < 0 || (!tolerateShort && static_cast<std::size_t>(n) != buffer.size())) Fail(STORE_READERR);
  return static_cast<std::size_t>(n);
}

void TFileHandler::Write(TConstBytes buffer) {
  if (File == nullptr) Fail(STORE_OSEBADF);
  if (buffer.empty()) {
    if (File->TruncateAt(HandlerId, Seek(0, TSeekOrigin::soCurrent)) != 0) Fail(STORE_WRITEERR);
    return;
  }
  long long n = File->Write(HandlerId, buffer);
  if (n < 0 || static_cast<std::size_t>(n) != buffer.size()) Fail(STORE_WRITEERR);
}

std::size_t TFileHandler::ReadAt(std::uint64_t offset, TBytes buffer, bool tolerateShort) {
  if (File == nullptr) Fail(STORE_OSEBADF);
  long long n = File->ReadAt(HandlerId, offset, buffer, MappedReads);
  if (n < 0 || (!tolerateShort && static_cast<std::size_t>(n) != buffer.size())) Fail(STORE_READERR);
  return static_cast<std::size_t>(n);
}

void TFileHandler::Reserve(std::uint64_t length) {
  constexpr std::uint64_t Step = 65536;
  if (File == nullptr) Fail(STORE_OSEBADF);
  if (length <= ReservedTo) return;
  const std::uint64_t ahead = (length + Step - 1) / Step * Step;
  if (File->ReserveTo(ahead) == 0) {
    ReservedTo = ahead;
    return;
  }
  // Not that much room: the bytes needed now are enough.
  if (File->ReserveTo(length) != 0) {
    // What a failed allocation got is of no use to anybody: the disk is full.
    ReleaseReserved();
    Fail(STORE_WRITEERR);
  }
  ReservedTo = length;
}

void TFileHandler::ReleaseReserved() {
  if (File == nullptr) return;
  File->ReleaseReserved();
  ReservedTo = 0;
}

void TFileHandler::WriteAt(std::uint64_t offset, TConstBytes buffer) {
  if (File == nullptr) Fail(STORE_OSEBADF);
  long long n = File->WriteAt(HandlerId, offset, buffer);
  if (n < 0 || static_cast<std::size_t>(n) != buffer.size()) Fail(STORE_WRITEERR);
}

void TFileHandler::WriteInOneCall(std::uint64_t offset, TConstBytes buffer) {
  if (File == nullptr) Fail(STORE_OSEBADF);
  long long n = File->WriteAt(HandlerId, offset, buffer, true);
  if (n < 0 || static_cast<std::size_t>(n) != buffer.size()) Fail(STORE_WRITEERR);
}

void TFileHandler::Truncate(std::uint64_t length) {
  if (File == nullptr) Fail(STORE_OSEBADF);
  ReservedTo = 0;  // cutting gives the blocks back
  if (File->TruncateAt(HandlerId, length) != 0) Fail(STORE_WRITEERR);
}

void TFileHandler::MeasureForMappedWrites() {
  if (File == nullptr) Fail(STORE_OSEBADF);
  File->MeasureForMappedWrites();
}

std::uint64_t TFileHandler::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (File == nullptr) Fail(STORE_OSEBADF);
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  long long at = File->Seek(HandlerId, offset, whence);
  if (at < 0) Fail(STORE_READERR);
  return static_cast<std::uint64_t>(at);
}

std::uint64_t TFileHandler::Size() {
  if (File == nullptr) Fail(STORE_OSEBADF);
  long long size = File->Size();
  if (size < 0) Fail(STORE_READERR);
  return static_cast<std::uint64_t>(size);
}

void TFileHandler::Flush() {
  if (File == nullptr) Fail(STORE_OSEBADF);
  if (File->Flush() != 0) Fail(STORE_WRITEERR);
}

bool TFileHandler::LockRange(std::uint64_t key, std::uint64_t start, std::uint64_t length, TLockMode mode) {
  if (!Locks) Fail(STORE_OSEBADF);
  std::lock_guard guard(LockGuard);
  return Locks->Acquire(key, start, length, mode);
}

bool TFileHandler::UnlockRange(std::uint64_t key) {
  if (!Locks) Fail(STORE_OSEBADF);
  std::lock_guard guard(LockGuard);
  return Locks->Release(key);
}

bool TFileHandler::HoldsLock(std::uint64_t key) {
  if (!Locks) Fail(STORE_OSEBADF);
  std::lock_guard guard(LockGuard);
  return Locks->Holds(key);
}

TLockMode TFileHandler::LockModeAt(std::uint64_t offset) {
  if (!Locks) Fail(STORE_OSEBADF);
  std::lock_guard guard(LockGuard);
  return Locks->ModeAt(offset);
}

}  // namespace store
