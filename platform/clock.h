#pragma once
// Clocks: a monotonic high-resolution counter and a millisecond tick count.
#include <cstdint>

namespace sauno::platform {

// The performance counter: monotonic nanoseconds, so its frequency is 1e9 counts per second.
int64_t PerformanceCounter();
constexpr int64_t PerformanceFrequency() { return 1'000'000'000; }
// Milliseconds since an arbitrary start, wrapping at 2^32 like a tick count.
uint32_t TickCount();
// Seconds since the epoch of the local date and time, for seeding.
uint64_t WallClockNanoseconds();

void SleepMilliseconds(int ms);

}  // namespace sauno::platform
