// Byte-range locks held by one open file description (F_OFD_SETLK), with
// bookkeeping of which holds cover which bytes. The operating system merges
// the locks of one open file and releases by range, so taking or dropping a
// hold re-establishes exactly what the remaining holds need: releasing a
// write range that covers a held read byte leaves that byte read-locked, and
// two holds on the same byte keep it locked until both are gone.
#pragma once

#include <cstdint>
#include <vector>

#include "StoreExport.h"

namespace store {

enum class TLockMode : std::uint8_t { lmNone = 0, lmRead = 1, lmWrite = 2 };

class SAUNO_STORE_EXPORT TRangeLockSet {
 public:
  explicit TRangeLockSet(int fd) : Fd(fd) {}

  // Takes a hold under a key of the caller's choosing (one hold per key).
  // Returns false, changing nothing, when another open file holds a
  // conflicting lock. Taking a key that is already held returns true.
  bool Acquire(std::uint64_t key, std::uint64_t start, std::uint64_t length, TLockMode mode);
  // Drops the hold; false when it was not held or the system refused.
  bool Release(std::uint64_t key);
  bool Holds(std::uint64_t key) const;
  // The strongest mode any hold has on the byte.
  TLockMode ModeAt(std::uint64_t offset) const;
  void ReleaseAll();

 private:
  struct THold {
    std::uint64_t Key;
    std::uint64_t Start;
    std::uint64_t End;  // exclusive
    TLockMode Mode;
  };
  std::vector<std::uint64_t> Boundaries(std::uint64_t start, std::uint64_t end) const;
  TLockMode ModeExcluding(std::uint64_t offset, std::uint64_t excludedKey) const;
  bool Apply(std::uint64_t start, std::uint64_t end, TLockMode mode) const;

  int Fd;
  std::vector<THold> HoldList;
};

}  // namespace store
