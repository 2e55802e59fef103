#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace sauno::platform {

int64_t PerformanceCounter()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t TickCount()
{
    return static_cast<uint32_t>(PerformanceCounter() / 1'000'000);
}

uint64_t WallClockNanoseconds()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

void SleepMilliseconds(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace sauno::platform
