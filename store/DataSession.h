// The engine session and its directories: the settings a session component
// hands down, the default directory, and one directory object per distinct
// path (compared without regard to case), each with its open tables.
//
// Contract: a directory hands out one TDataTable per table name (compared
// without regard to case) and counts its users; the table's files close
// with the last user. Everything here is guarded by the session's lock.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "StoreExport.h"

namespace store {

class TDataTable;

enum class TLockProtocol { lpPessimistic, lpOptimistic };

struct SAUNO_STORE_EXPORT TSessionSettings {
  bool StrictChangeDetection = false;
  bool ForceBufferFlush = false;
  int LockRetryCount = 15;
  int LockWaitTime = 100;  // milliseconds
  TLockProtocol LockProtocol = TLockProtocol::lpPessimistic;
  int ProgressSteps = 20;
  std::string PrivateDir;  // empty: the default directory
  // Cache limits; the data and index files size their caches from the same numbers.
  std::size_t DataBufferBytes = 16384;
  std::size_t DataBufferRecords = 8192;
  std::size_t IndexBufferBytes = 16384;
  // Limits of a BLOB block cache, kept for tables with BLOB fields (this
  // engine makes none).
  std::size_t BlobBufferBytes = 32768;
  std::size_t BlobBufferBlocks = 8192;
  std::size_t BlobCacheBytes = 32768;
  std::size_t BlobCacheBlocks = 8192;
};

class TDataSession;

class SAUNO_STORE_EXPORT TDataDirectory {
 public:
  TDataDirectory(TDataSession& session, std::string path);
  ~TDataDirectory();
  TDataDirectory(const TDataDirectory&) = delete;
  TDataDirectory& operator=(const TDataDirectory&) = delete;

  // The directory with its trailing separator.
  const std::string& Path() const { return DirectoryPath; }
  TDataSession& Session() const { return Owner; }

  // The open table of that name, or a new one opened now. STORE_OSEACCES
  // when either this or the earlier open wants exclusive use.
  TDataTable& AcquireTable(std::string_view tableName, bool exclusive, bool readOnly);
  void ReleaseTable(TDataTable& table);
  std::size_t OpenTableCount() const { return Tables.size(); }

 private:
  TDataSession& Owner;
  std::string DirectoryPath;
  std::vector<std::unique_ptr<TDataTable>> Tables;
};

class SAUNO_STORE_EXPORT TDataSession {
 public:
  // The default directory is the current directory of the process now.
  TDataSession();
  ~TDataSession();
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;

  TSessionSettings Settings;
  std::vector<std::string> Passwords;

  const std::string& DefaultDirectory() const { return DefaultPath; }
  const std::string& PrivateDirectory() const {
    return Settings.PrivateDir.empty() ? DefaultPath : Settings.PrivateDir;
  }
  // The directory object of a path (trimmed; empty means the default
  // directory; a separator is appended when missing). Nothing tests that
  // the directory exists.
  TDataDirectory& OpenDirectory(std::string_view path);
  std::size_t DirectoryCount() const { return Directories.size(); }
  std::recursive_mutex& Lock() { return Guard; }

 private:
  std::string DefaultPath;
  std::vector<std::unique_ptr<TDataDirectory>> Directories;
  std::recursive_mutex Guard;
};

}  // namespace store
