#pragma once
// The asynchronous timer: a periodic timer timed on a thread of its own with millisecond
// precision. Each tick is handed synchronously to the main thread, where OnTimer runs, so the
// handler may touch the scene freely. Missed ticks are never caught up.
//
// Enabled false suspends the thread wherever it is and keeps its target: enabled again after
// the target has passed, the timer ticks almost at once. A new Interval takes effect after the
// pending tick. With Interval 0 the timer is silent.
#include <cstdint>
#include <memory>

#include "engine/export.h"
#include "engine/cadencer.h"
#include "runtime/component.h"
#include "runtime/events.h"

namespace sauno {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TTimerThread;

class SAUNO_ENGINE_EXPORT TAsyncTimer : public TComponent {
public:
    explicit TAsyncTimer(TComponent* owner);
    TAsyncTimer(TComponent* owner, TTimingClock& clock);
    // Waits for the thread while serving its hand-overs, so a pending tick cannot deadlock it.
    ~TAsyncTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint16_t Interval() const;
    void SetInterval(uint16_t milliseconds);
    // Higher priorities ask for real-time scheduling; where the system refuses it the thread
    // keeps the normal priority. Reads give the value last set.
    TThreadPriority ThreadPriority() const;
    void SetThreadPriority(TThreadPriority value);
    // Runs on the main thread at each tick while Enabled.
    TNotifyEvent OnTimer;

private:
    friend class TTimerThread;
    bool enabled_ = false;
    std::shared_ptr<TTimerThread> thread_;
};

}  // namespace sauno
