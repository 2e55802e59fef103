#include "MappedCopy.h"

#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace store {

namespace {

thread_local sigjmp_buf* ActiveGuard = nullptr;
struct sigaction PreviousAction {};

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* guard = ActiveGuard) {
    ActiveGuard = nullptr;
    siglongjmp(*guard, 1);
  }
  if (PreviousAction.sa_flags & SA_SIGINFO) {
    if (PreviousAction.sa_sigaction) PreviousAction.sa_sigaction(signal, info, context);
    return;
  }
  if (PreviousAction.sa_handler != SIG_DFL && PreviousAction.sa_handler != SIG_IGN) {
    PreviousAction.sa_handler(signal);
    return;
  }
  // Nobody else wanted it: the default action, on the faulting access again.
  ::signal(SIGBUS, SIG_DFL);
}

}  // namespace

void PrepareGuardedCopies() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    sigemptyset(&action.sa_mask);
    // Not blocked while handled: the jump out leaves the signal mask as the
    // guarded copy found it without a system call to restore it.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    ::sigaction(SIGBUS, &action, &PreviousAction);
  });
}

bool GuardedCopy(void* to, const void* from, std::size_t bytes) {
  sigjmp_buf guard;
  if (sigsetjmp(guard, 0) != 0) return false;
  ActiveGuard = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(to, from, bytes);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  ActiveGuard = nullptr;
  return true;
}

}  // namespace store
