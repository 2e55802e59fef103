// Faults injected into file writes, for tests of what a failed or
// interrupted commit leaves behind. Every write of the process is counted;
// a test chooses the write that fails (as on a full disk) or after which the
// process is killed. Set from the environment once per process:
//   SAUNO_STORE_FAIL_WRITE=N         the Nth write fails with ENOSPC
//   SAUNO_STORE_KILL_AFTER_WRITE=N   SIGKILL right after the Nth write
// or from a test in the same process with SetWriteFaults.
#pragma once

#include <cstdint>

namespace store {

struct TWriteFaults {
  std::uint64_t FailAt = 0;       // 0: never
  std::uint64_t KillAfter = 0;    // 0: never
};

// Replaces the faults and restarts the count.
void SetWriteFaults(const TWriteFaults& faults);
std::uint64_t WritesSoFar();

// Called around every write: the first says whether this write is to fail
// (errno is then ENOSPC), the second kills the process when asked to.
bool WriteShouldFail();
void AfterWrite();

}  // namespace store
