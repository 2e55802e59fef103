// The store's writes as programs and the shared library make them: none is made to fail and
// none is followed by a kill, whatever the environment says. The definitions are weak, so that
// a test program linking WriteFaults.cpp gets the injected faults instead.
#include "WriteFaults.h"

namespace store {

[[gnu::weak]] bool WriteShouldFail() { return false; }
[[gnu::weak]] void AfterWrite() {}
[[gnu::weak]] void JournalWrite(const std::string&, std::uint64_t, std::span<const std::uint8_t>, bool) {}

}  // namespace store
