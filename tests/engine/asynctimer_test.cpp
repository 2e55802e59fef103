#include "engine/asynctimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "runtime/application.h"

using namespace sauno;
using namespace std::chrono_literals;

namespace {

// A clock in milliseconds that moves only when the test says. It counts the timer thread's
// readings, so a test can tell when the thread has seen a new time.
class SteppedClock : public TTimingClock {
public:
    int64_t PerformanceCounter() override
    {
        std::lock_guard guard(lock_);
        ++reads_;
        return nowMs_ * 1'000'000;
    }
    int64_t PerformanceFrequency() override { return 1'000'000'000; }
    uint32_t TickCount() override { return static_cast<uint32_t>(Now()); }
    double LocalDateTimeDays() override { return 0; }
    void SleepMilliseconds(int) override { std::this_thread::sleep_for(100us); }

    // Sets the time; returns the number of readings made before it.
    uint64_t Set(int64_t ms)
    {
        std::lock_guard guard(lock_);
        nowMs_ = ms;
        return reads_;
    }
    int64_t Now()
    {
        std::lock_guard guard(lock_);
        return nowMs_;
    }
    uint64_t Reads()
    {
        std::lock_guard guard(lock_);
        return reads_;
    }

private:
    std::mutex lock_;
    int64_t nowMs_ = 0;
    uint64_t reads_ = 0;
};

// Serves the timer's hand-overs until `done`, at most two seconds; false on time-out.
template <class F>
bool ServeUntil(F done, std::chrono::milliseconds limit = 2000ms)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    bool timedOut = false;
    Application().ServeHandOversUntil([&] {
        if (done()) return true;
        timedOut = std::chrono::steady_clock::now() > deadline;
        return timedOut;
    });
    return !timedOut;
}

class AsyncTimerTest : public ::testing::Test {
protected:
    AsyncTimerTest()
    {
        timer->OnTimer = [this](TComponent* sender) {
            EXPECT_EQ(sender, timer);
            ticks.push_back(clock.Now());
            if (onTick) onTick();
        };
        Application().OnException = [this](const std::string& m) { errors.push_back(m); };
    }
    ~AsyncTimerTest() override { Application().OnException = nullptr; }

    // Moves the clock and serves until the running thread has read it twice: by then any tick
    // it caused has been handled.
    void At(int64_t ms)
    {
        uint64_t before = clock.Set(ms);
        EXPECT_TRUE(ServeUntil([&] { return clock.Reads() >= before + 2; })) << "thread not polling at " << ms;
    }
    // Does what resumes a parked thread and serves until it has read the clock twice.
    template <class F>
    void Resume(F action)
    {
        uint64_t before = clock.Reads();
        action();
        EXPECT_TRUE(ServeUntil([&] { return clock.Reads() >= before + 2; })) << "thread not resumed";
    }
    void Enable()
    {
        Resume([this] { timer->SetEnabled(true); });
    }
    // Serves for a while, expecting the thread to stay parked.
    void ExpectParked()
    {
        ServeUntil([] { return false; }, 30ms);
        uint64_t reads = clock.Reads();
        ServeUntil([] { return false; }, 30ms);
        EXPECT_EQ(clock.Reads(), reads);
    }

    SteppedClock clock;
    TComponent owner{nullptr};
    TAsyncTimer* timer = new TAsyncTimer(&owner, clock);
    std::vector<int64_t> ticks;
    std::function<void()> onTick;
    std::vector<std::string> errors;
};

using Ticks = std::vector<int64_t>;

TEST_F(AsyncTimerTest, DefaultsAndPeriodWithoutCatchingUp)
{
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 1000);
    EXPECT_EQ(timer->ThreadPriority(), TThreadPriority::tpTimeCritical);
    timer->SetThreadPriority(TThreadPriority::tpLower);
    EXPECT_EQ(timer->ThreadPriority(), TThreadPriority::tpLower);

    Enable();
    At(999);
    EXPECT_TRUE(ticks.empty());
    At(1000);
    EXPECT_EQ(ticks, Ticks{1000});
    // Late by 1500 ms: one tick, and the next target counts from the late one.
    At(3500);
    EXPECT_EQ(ticks, (Ticks{1000, 3500}));
    At(4499);
    At(4500);
    EXPECT_EQ(ticks, (Ticks{1000, 3500, 4500}));

    // A handler slower than the interval: the next tick comes an interval after it returns.
    onTick = [this] { clock.Set(clock.Now() + 1500); };
    At(5500);
    onTick = nullptr;
    At(7999);
    At(8000);
    EXPECT_EQ(ticks, (Ticks{1000, 3500, 4500, 5500, 8000}));
}

TEST_F(AsyncTimerTest, SuspendKeepsTargetAndReenableAfterOwnDisable)
{
    Enable();
    At(500);
    timer->SetEnabled(false);
    ExpectParked();
    clock.Set(1500);
    ExpectParked();
    EXPECT_TRUE(ticks.empty());
    // The target has passed while suspended: a tick at once, then at the interval.
    Enable();
    EXPECT_EQ(ticks, Ticks{1500});
    At(2499);
    At(2500);
    EXPECT_EQ(ticks, (Ticks{1500, 2500}));

    // Disabled from inside its own handler, enabled 3 s later: one full interval after that.
    onTick = [this] { timer->SetEnabled(false); };
    clock.Set(3500);
    EXPECT_TRUE(ServeUntil([&] { return ticks.size() == 3; }));
    onTick = nullptr;
    ExpectParked();
    clock.Set(6500);
    Enable();
    At(7499);
    EXPECT_EQ(ticks, (Ticks{1500, 2500, 3500}));
    At(7500);
    EXPECT_EQ(ticks, (Ticks{1500, 2500, 3500, 7500}));
}

TEST_F(AsyncTimerTest, IntervalChangesAfterPendingTickAndZeroIsSilent)
{
    Enable();
    At(200);
    timer->SetInterval(120);
    At(999);
    EXPECT_TRUE(ticks.empty());
    At(1000);
    At(1119);
    At(1120);
    At(1240);
    EXPECT_EQ(ticks, (Ticks{1000, 1120, 1240}));

    // Zero while running: silent until it changes, then a fresh interval.
    timer->SetInterval(0);
    clock.Set(1360);
    ExpectParked();
    clock.Set(5000);
    ExpectParked();
    EXPECT_EQ(ticks.size(), 3u);
    Resume([this] { timer->SetInterval(100); });
    At(5099);
    At(5100);
    EXPECT_EQ(ticks, (Ticks{1000, 1120, 1240, 5100}));

    // Enabled with a zero interval: Enabled reads true, nothing starts.
    timer->SetEnabled(false);
    timer->SetInterval(0);
    timer->SetEnabled(true);
    EXPECT_TRUE(timer->Enabled());
    clock.Set(9000);
    ExpectParked();
    EXPECT_EQ(ticks.size(), 4u);
}

TEST_F(AsyncTimerTest, QueuedTickIsDroppedAndDestroyDoesNotDeadlock)
{
    Enable();
    // The thread sees the target and waits in the hand-over, which nobody serves yet.
    uint64_t before = clock.Set(1000);
    while (clock.Reads() < before + 1) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    timer->SetEnabled(false);
    ServeUntil([] { return false; }, 50ms);
    EXPECT_TRUE(ticks.empty());

    // Destroyed while a tick waits in the hand-over.
    Enable();
    before = clock.Set(3000);
    while (clock.Reads() < before + 1) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    delete timer;
    EXPECT_TRUE(ticks.empty());

    // Destroyed from its own handler.
    timer = new TAsyncTimer(&owner, clock);
    timer->OnTimer = [this](TComponent*) {
        ticks.push_back(clock.Now());
        delete timer;
        timer = nullptr;
    };
    Enable();
    clock.Set(4000);
    EXPECT_TRUE(ServeUntil([&] { return timer == nullptr; }));
    EXPECT_EQ(ticks, Ticks{4000});
}

TEST_F(AsyncTimerTest, HandlerErrorReportedOnceAndTickingGoesOn)
{
    int calls = 0;
    timer->OnTimer = [&](TComponent*) {
        ++calls;
        throw std::runtime_error("drain failed");
    };
    Enable();
    At(1000);
    At(2000);
    At(3000);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(errors, std::vector<std::string>{"drain failed"});
    // Enabled again, the next error is shown again.
    timer->SetEnabled(false);
    timer->SetEnabled(true);
    At(4000);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(errors.size(), 2u);
}

TEST(AsyncTimerRealTimeTest, TicksAtTheInterval)
{
    TComponent owner{nullptr};
    auto* timer = new TAsyncTimer(&owner);
    std::vector<int64_t> at;
    timer->OnTimer = [&](TComponent*) { at.push_back(platform::PerformanceCounter()); };
    timer->SetInterval(50);
    int64_t start = platform::PerformanceCounter();
    timer->SetEnabled(true);
    ASSERT_TRUE(ServeUntil([&] { return at.size() >= 6; }, 5000ms));
    timer->SetEnabled(false);
    int64_t previous = start;
    for (int64_t t : at) {
        double ms = static_cast<double>(t - previous) / 1e6;
        EXPECT_GE(ms, 40.0);
        EXPECT_LE(ms, 500.0);
        previous = t;
    }
}

}  // namespace
