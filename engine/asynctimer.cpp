#include "engine/asynctimer.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "runtime/application.h"

namespace sauno {

// The timer's thread and what it shares with the main thread. It lives as long as either the
// timer or the running thread holds it.
class TTimerThread {
public:
    TTimerThread(TAsyncTimer* timer, TTimingClock& clock) : timer(timer), clock(clock) {}

    void Execute();
    // Waits while suspended; false once asked to end. `zeroWait` tells that the thread waited
    // for a zero interval to change, which leaves no target worth keeping.
    bool Park(bool& zeroWait);
    // Waits part of the `left` counts before a tick is due. The last milliseconds are polled
    // every millisecond, which gives the tick its precision; the time before them is waited in
    // steps of up to 10 ms that disabling or ending the timer cuts short, so that a long
    // interval does not wake the thread a thousand times a second.
    void WaitTowards(int64_t left, int64_t f);
    // On the main thread, inside the hand-over.
    void Tick();
    void ApplyPriority();

    // Main thread only.
    TAsyncTimer* timer;  // null once the timer is destroyed
    bool inHandOver = false;
    bool errorShown = false;
    TThreadPriority priority = TThreadPriority::tpTimeCritical;

    TTimingClock& clock;
    std::atomic<uint16_t> interval{1000};
    std::atomic<bool> terminate{false};
    std::atomic<bool> finished{false};
    std::mutex lock;
    std::condition_variable resume;
    bool running = false;  // resumed; under `lock`
    std::thread thread;
};

bool TTimerThread::Park(bool& zeroWait)
{
    std::unique_lock guard(lock);
    while (!terminate && !(running && interval.load() > 0)) {
        if (running) zeroWait = true;
        resume.wait(guard);
    }
    return !terminate;
}

void TTimerThread::Execute()
{
    const int64_t f = clock.PerformanceFrequency();
    // 64-bit counts, multiplication before division.
    auto period = [&] { return static_cast<int64_t>(interval.load()) * f / 1000; };
    bool zeroWait = false;
    if (Park(zeroWait)) {
        int64_t c = clock.PerformanceCounter();
        int64_t target = c + period();
        while (true) {
            bool due = false;
            while (Park(zeroWait)) {
                if (zeroWait) {
                    zeroWait = false;
                    target = clock.PerformanceCounter() + period();
                }
                c = clock.PerformanceCounter();
                if (c >= target) {
                    due = true;
                    break;
                }
                WaitTowards(target - c, f);
            }
            if (!due) break;
            try {
                Application().Synchronize([this] { Tick(); });
            } catch (...) {
                // Tick reports its handler's errors itself; nothing may end this thread.
            }
            if (!Park(zeroWait)) break;
            zeroWait = false;
            int64_t c2 = clock.PerformanceCounter();
            target = c + period();
            // A handler slower than an interval: missed ticks are not caught up.
            if (target <= c2) target = c2 + period();
        }
    }
    finished = true;
}

void TTimerThread::WaitTowards(int64_t left, int64_t f)
{
    constexpr int64_t polledMs = 2, stepMs = 10;
    const int64_t spareMs = left * 1000 / f - polledMs;
    if (spareMs < 1) {
        clock.SleepMilliseconds(1);
        return;
    }
    std::unique_lock guard(lock);
    resume.wait_for(guard, std::chrono::milliseconds(std::min(spareMs, stepMs)),
                    [this] { return terminate.load() || !running; });
}

void TTimerThread::Tick()
{
    TAsyncTimer* owner = timer;
    // A tick queued before the timer was disabled is dropped here.
    if (!owner || !owner->enabled_ || !owner->OnTimer) return;
    // A copy: the handler may destroy the timer.
    TNotifyEvent handler = owner->OnTimer;
    inHandOver = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inHandOver};
    try {
        handler(owner);
    } catch (...) {
        // The game's tolerance drain runs on this timer: one failed tick must not leave the
        // drain silent for the rest of the run. So the error is shown once, until the timer is
        // enabled again, and the ticks go on.
        if (!errorShown) {
            errorShown = true;
            Application().HandleException(std::current_exception());
        }
    }
}

void TTimerThread::ApplyPriority()
{
    if (!thread.joinable()) return;
    pthread_t handle = thread.native_handle();
    sched_param param{};
    int policy = SCHED_OTHER;
    switch (priority) {
        case TThreadPriority::tpIdle: policy = SCHED_IDLE; break;
        case TThreadPriority::tpLowest:
        case TThreadPriority::tpLower: policy = SCHED_BATCH; break;
        case TThreadPriority::tpNormal: break;
        // Real-time levels well below the system's own real-time threads.
        case TThreadPriority::tpHigher: policy = SCHED_FIFO; param.sched_priority = 10; break;
        case TThreadPriority::tpHighest: policy = SCHED_FIFO; param.sched_priority = 20; break;
        case TThreadPriority::tpTimeCritical: policy = SCHED_FIFO; param.sched_priority = 30; break;
    }
    if (pthread_setschedparam(handle, policy, &param) != 0) {
        // Not allowed here: the normal priority, silently.
        sched_param normal{};
        pthread_setschedparam(handle, SCHED_OTHER, &normal);
    }
}

TAsyncTimer::TAsyncTimer(TComponent* owner) : TAsyncTimer(owner, DefaultTimingClock()) {}

TAsyncTimer::TAsyncTimer(TComponent* owner, TTimingClock& clock)
    : TComponent(owner), thread_(std::make_shared<TTimerThread>(this, clock))
{
    // Created suspended: the thread parks until the timer is first enabled.
    std::shared_ptr<TTimerThread> shared = thread_;
    thread_->thread = std::thread([shared] { shared->Execute(); });
    thread_->ApplyPriority();
}

TAsyncTimer::~TAsyncTimer()
{
    enabled_ = false;
    TTimerThread& t = *thread_;
    t.timer = nullptr;
    {
        std::lock_guard guard(t.lock);
        t.running = false;
        t.terminate = true;
    }
    t.resume.notify_all();
    if (t.inHandOver) {
        // Destroyed from its own OnTimer: the thread waits for this very hand-over, and ends
        // on its own once it returns; it holds what it shares.
        t.thread.detach();
        return;
    }
    // The thread may be waiting for the main thread to take a tick.
    Application().ServeHandOversUntil([&t] { return t.finished.load(); });
    t.thread.join();
}

void TAsyncTimer::SetEnabled(bool value)
{
    if (value == enabled_) return;
    enabled_ = value;
    if (value) thread_->errorShown = false;
    {
        std::lock_guard guard(thread_->lock);
        // With a zero interval the thread is not resumed.
        thread_->running = value && thread_->interval.load() > 0;
    }
    thread_->resume.notify_all();
}

uint16_t TAsyncTimer::Interval() const { return thread_->interval.load(); }

void TAsyncTimer::SetInterval(uint16_t milliseconds)
{
    if (milliseconds == thread_->interval.load()) return;
    {
        // Under the lock so that a thread parked on a zero interval cannot miss the change.
        // A wait in progress keeps its target.
        std::lock_guard guard(thread_->lock);
        thread_->interval = milliseconds;
    }
    thread_->resume.notify_all();
}

TThreadPriority TAsyncTimer::ThreadPriority() const { return thread_->priority; }

void TAsyncTimer::SetThreadPriority(TThreadPriority value)
{
    thread_->priority = value;
    thread_->ApplyPriority();
}

}  // namespace sauno
