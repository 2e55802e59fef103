#include "WriteFaults.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace store {
namespace {

// Test hooks: a process started with privileges its user lacks never takes them from the
// environment, so that nobody can make a privileged writer fail or die where they choose.
std::uint64_t FromEnvironment(const char* name) {
  const char* text = secure_getenv(name);
  return text ? std::strtoull(text, nullptr, 10) : 0;
}

struct TFaultState {
  std::atomic<std::uint64_t> Count{0};
  std::atomic<std::uint64_t> FailAt{0};
  std::atomic<std::uint64_t> KillAfter{0};
};

TFaultState& State() {
  static TFaultState state;
  static std::once_flag once;
  std::call_once(once, [] {
    state.FailAt = FromEnvironment("SAUNO_STORE_FAIL_WRITE");
    state.KillAfter = FromEnvironment("SAUNO_STORE_KILL_AFTER_WRITE");
  });
  return state;
}

}  // namespace

void SetWriteFaults(const TWriteFaults& faults) {
  TFaultState& s = State();
  s.Count = 0;
  s.FailAt = faults.FailAt;
  s.KillAfter = faults.KillAfter;
}

std::uint64_t WritesSoFar() { return State().Count; }

namespace {
TWriteJournal& Journal() {
  static TWriteJournal journal;
  return journal;
}
}  // namespace

void SetWriteJournal(TWriteJournal journal) { Journal() = std::move(journal); }

void JournalWrite(const std::string& path, std::uint64_t offset, std::span<const std::uint8_t> bytes, bool flush) {
  if (Journal()) Journal()(path, offset, bytes, flush);
}

bool WriteShouldFail() {
  TFaultState& s = State();
  const std::uint64_t n = ++s.Count;
  if (s.FailAt != 0 && n == s.FailAt) {
    errno = ENOSPC;
    return true;
  }
  return false;
}

void AfterWrite() {
  TFaultState& s = State();
  if (s.KillAfter != 0 && s.Count == s.KillAfter) ::kill(::getpid(), SIGKILL);
}

}  // namespace store
