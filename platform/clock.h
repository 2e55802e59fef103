#pragma once
// Clocks: a monotonic high-resolution counter and a millisecond tick count.
#include <cstdint>

#include "platform/export.h"

namespace sauno::platform {

// The performance counter: monotonic nanoseconds, so its frequency is 1e9 counts per second.
SAUNO_PLATFORM_EXPORT int64_t PerformanceCounter();
constexpr int64_t PerformanceFrequency() { return 1'000'000'000; }
// Milliseconds since an arbitrary start, wrapping at 2^32 like a tick count.
SAUNO_PLATFORM_EXPORT uint32_t TickCount();
// Seconds since the epoch of the local date and time, for seeding.
SAUNO_PLATFORM_EXPORT uint64_t WallClockNanoseconds();

SAUNO_PLATFORM_EXPORT void SleepMilliseconds(int ms);

}  // namespace sauno::platform
