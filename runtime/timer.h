#pragma once
// The window timer: ticks arrive as messages on the main thread, at most one pending at a time.
// Enabling it again, or changing its interval, starts a fresh period.
#include <cstdint>
#include <functional>

#include "runtime/export.h"
#include "runtime/component.h"
#include "runtime/events.h"

namespace sauno {

class SAUNO_RUNTIME_EXPORT TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t value);
    TNotifyEvent OnTimer;

    // Called by the application for each tick.
    void Tick();
    void Loaded() override;

private:
    void Update();
    bool enabled_ = true;
    uint32_t interval_ = 1000;
};

SAUNO_RUNTIME_EXPORT void RegisterRuntimeClasses();

}  // namespace sauno
