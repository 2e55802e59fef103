// Copies to or from a shared mapping of a file that another process may
// have cut short: touching a mapped page that lies wholly past the file's
// end raises SIGBUS, which a guarded copy turns into a false return (the
// caller then measures the file and goes through the system calls). A
// fault outside a guarded copy goes to whatever handled SIGBUS before.
#pragma once

#include <cstddef>

namespace store {

// Installs the SIGBUS handler once per process; call before the first
// guarded copy.
void PrepareGuardedCopies();
bool GuardedCopy(void* to, const void* from, std::size_t bytes);

}  // namespace store
