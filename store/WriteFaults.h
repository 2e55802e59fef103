// Faults injected into file writes, for tests of what a failed or
// interrupted commit leaves behind. Every write of the process is counted;
// a test chooses the write that fails (as on a full disk) or after which the
// process is killed. Set from the environment once per process:
//   SAUNO_STORE_FAIL_WRITE=N         the Nth write fails with ENOSPC
//   SAUNO_STORE_KILL_AFTER_WRITE=N   SIGKILL right after the Nth write
// or from a test in the same process with SetWriteFaults. Only the test
// programs link this (WriteFaults.cpp); every other program and the shared
// library get the store's hooks that never fail (WriteFaultsOff.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace store {

struct TWriteFaults {
  std::uint64_t FailAt = 0;       // 0: never
  std::uint64_t KillAfter = 0;    // 0: never
};

// Replaces the faults and restarts the count.
void SetWriteFaults(const TWriteFaults& faults);
std::uint64_t WritesSoFar();

// Told of every write (its file, offset and bytes) and every flush (empty
// bytes, `flush` set) that reaches the operating system, in order: how a
// test replays what a power cut could have left on the disk. Empty: none.
using TWriteJournal =
    std::function<void(const std::string& path, std::uint64_t offset, std::span<const std::uint8_t> bytes, bool flush)>;
void SetWriteJournal(TWriteJournal journal);
void JournalWrite(const std::string& path, std::uint64_t offset, std::span<const std::uint8_t> bytes, bool flush);

// Called around every write: the first says whether this write is to fail
// (errno is then ENOSPC), the second kills the process when asked to.
bool WriteShouldFail();
void AfterWrite();

}  // namespace store
