#include "engine/cadencer.h"

#include <algorithm>
#include <ctime>
#include <exception>

#include "platform/clock.h"
#include "platform/exception.h"
#include "runtime/application.h"
#include "runtime/timer.h"

namespace sauno {

// ---- Clocks ------------------------------------------------------------------------------

namespace {

class SystemClock : public TTimingClock {
public:
    int64_t PerformanceCounter() override { return platform::PerformanceCounter(); }
    int64_t PerformanceFrequency() override { return platform::PerformanceFrequency(); }
    uint32_t TickCount() override { return platform::TickCount(); }
    double LocalDateTimeDays() override
    {
        constexpr double UnixEpochDays = 25569;  // 1970-01-01 counted from 1899-12-30
        uint64_t ns = platform::WallClockNanoseconds();
        std::time_t seconds = static_cast<std::time_t>(ns / 1'000'000'000);
        std::tm local{};
        localtime_r(&seconds, &local);
        double localSeconds = static_cast<double>(ns) / 1e9 + static_cast<double>(local.tm_gmtoff);
        return UnixEpochDays + localSeconds / 86400.0;
    }
    void SleepMilliseconds(int ms) override { platform::SleepMilliseconds(ms); }
};

TTimingClock* defaultClock = nullptr;

}  // namespace

TTimingClock& SystemTimingClock()
{
    static SystemClock clock;
    return clock;
}

TTimingClock& DefaultTimingClock() { return defaultClock ? *defaultClock : SystemTimingClock(); }

void SetDefaultTimingClock(TTimingClock* clock) { defaultClock = clock; }

// ---- The pump ----------------------------------------------------------------------------

// A message to the pump: the posted "TickCadencer" message or the throttle's timer message.
struct PumpMessage {
    enum class Kind { TickCadencer, Timer } kind;
    uint32_t postTime;  // tick count when posted
};

// Drives every cmASAP cadencer: one posted "TickCadencer" message at a time, each letting the
// cadencers progress and then posting the next.
class TASAPHandler {
public:
    TASAPHandler();
    void HandleMessage(const PumpMessage& message);

private:
    void PostTick();
    uint64_t serial_;
    int64_t nextDueNs_ = 0;  // with frame pacing: when the next tick is due
    int32_t tooFast_ = 0;
    int timerId_ = 0;
};

namespace {

constexpr int32_t TooFastLimit = 5000;

// Process-wide state of the pump. It makes sure the application outlives it, so the window
// timer can still be stopped when it goes at process end.
struct PumpState {
    PumpState() { (void)Application(); }
    std::unique_ptr<std::vector<TCadencer*>> asapList;  // entries may be null
    std::unique_ptr<TASAPHandler> handler;
    std::unique_ptr<TTimer> windowTimer;  // the throttle's 1 ms timer
    uint64_t serials = 0;
    bool busy = false;
    TCadencer* idleCadencer = nullptr;
    bool idleTurnPosted = false;
};

PumpState& Pump()
{
    static PumpState state;
    return state;
}

bool InASAPList(const TCadencer* cadencer)
{
    const auto& list = Pump().asapList;
    return list && std::find(list->begin(), list->end(), cadencer) != list->end();
}

// One turn of the idle cadencer: after everything pending, one Progress, then the next turn.
void PostIdleTurn()
{
    PumpState& pump = Pump();
    if (pump.idleTurnPosted) return;
    pump.idleTurnPosted = true;
    Application().PostMessage([] {
        PumpState& p = Pump();
        p.idleTurnPosted = false;
        if (!p.idleCadencer) return;
        Application().ProcessMessages();
        if (!p.idleCadencer) return;
        TCadencer* cadencer = p.idleCadencer;
        try {
            cadencer->Progress();
        } catch (...) {
            Application().HandleException(std::current_exception());
        }
        if (p.idleCadencer) PostIdleTurn();
    });
}

}  // namespace

TASAPHandler::TASAPHandler() : serial_(++Pump().serials) { PostTick(); }

void TASAPHandler::PostTick()
{
    PumpMessage message{PumpMessage::Kind::TickCadencer, DefaultTimingClock().TickCount()};
    uint64_t serial = serial_;
    // The message of a pump that has gone since is dropped.
    auto tick = [serial, message] {
        PumpState& pump = Pump();
        if (pump.handler && pump.handler->serial_ == serial) pump.handler->HandleMessage(message);
    };
    // With frames paced, the chain runs at the frame rate: no step could be seen sooner, and
    // the loop waits in between instead of spinning. A late pass does not make the next early.
    const int64_t period = Application().FramePeriod();
    if (period == 0) {
        Application().PostMessage(std::move(tick));
        return;
    }
    const int64_t now = platform::PerformanceCounter();
    nextDueNs_ = std::max(nextDueNs_ + period, now);
    Application().PostMessageAt(nextDueNs_, std::move(tick));
}

void TASAPHandler::HandleMessage(const PumpMessage& message)
{
    PumpState& pump = Pump();
    bool isTimer = message.kind == PumpMessage::Kind::Timer;
    if (isTimer) {
        pump.windowTimer->SetEnabled(false);
        timerId_ = 0;
    }
    // A tick posted and picked up within the same millisecond, more than TooFastLimit times in
    // a row: pause the chain until a 1 ms window timer fires.
    if (!isTimer && message.postTime == DefaultTimingClock().TickCount()) {
        if (++tooFast_ > TooFastLimit) {
            if (timerId_ == 0) {
                if (!pump.windowTimer) {
                    pump.windowTimer = std::make_unique<TTimer>(nullptr);
                    pump.windowTimer->SetEnabled(false);
                    pump.windowTimer->SetInterval(1);
                    pump.windowTimer->OnTimer = [](TComponent*) {
                        PumpState& p = Pump();
                        if (p.handler) p.handler->HandleMessage({PumpMessage::Kind::Timer, 0});
                    };
                }
                pump.windowTimer->SetEnabled(true);
                timerId_ = 1;
            }
            tooFast_ = 0;
        }
    } else {
        tooFast_ = 0;
    }
    if (timerId_ != 0) return;
    if (pump.busy) return;

    pump.busy = true;
    struct ClearBusy {
        ~ClearBusy() { Pump().busy = false; }
    } clearBusy;

    // Last first; by index, since a Progress may append to the list or null its entries.
    for (size_t i = pump.asapList ? pump.asapList->size() : 0; i-- > 0;) {
        TCadencer* cadencer = (*pump.asapList)[i];
        if (!cadencer || cadencer->Mode() != TCadencerMode::cmASAP || !cadencer->Enabled() ||
            cadencer->progressing_ != 0)
            continue;
        if (Application().Terminated()) {
            cadencer->SetEnabled(false);
            continue;
        }
        try {
            cadencer->Progress();
        } catch (...) {
            Application().HandleException(std::current_exception());
            cadencer->SetEnabled(false);
        }
    }
    auto& list = *pump.asapList;
    list.erase(std::remove(list.begin(), list.end(), nullptr), list.end());
    if (!list.empty()) {
        PostTick();
        return;
    }
    pump.asapList.reset();
    pump.handler.reset();  // this object: nothing touches it from here on
}

bool ASAPHandlerExists() { return Pump().handler != nullptr; }

size_t ASAPListSize() { return Pump().asapList ? Pump().asapList->size() : 0; }

// ---- The cadencer ------------------------------------------------------------------------

TCadencer::TCadencer(TComponent* owner) : TCadencer(owner, DefaultTimingClock()) {}

TCadencer::TCadencer(TComponent* owner, TTimingClock& clock) : TComponent(owner), clock_(clock)
{
    double now = ReferenceTime();
    downTime_ = now;
    originTime_ = now;
    SetMode(TCadencerMode::cmASAP);
    SetEnabled(true);
}

TCadencer::~TCadencer()
{
    Assert(progressing_ == 0);
    Unregister(mode_);
}

double TCadencer::ReferenceTime()
{
    switch (timeReference_) {
        case TCadencerTimeReference::cmRTC: return clock_.LocalDateTimeDays() * 86400.0;
        case TCadencerTimeReference::cmPerformanceCounter:
            return static_cast<double>(clock_.PerformanceCounter()) /
                   static_cast<double>(clock_.PerformanceFrequency());
        case TCadencerTimeReference::cmExternal: return currentTime_;
    }
    return currentTime_;
}

double TCadencer::CurrentTime()
{
    currentTime_ = (ReferenceTime() - originTime_) * timeMultiplier_;
    return currentTime_;
}

void TCadencer::SetEnabled(bool value)
{
    if (value == enabled_) return;
    enabled_ = value;
    // Time spent disabled does not count.
    if (value)
        originTime_ += ReferenceTime() - downTime_;
    else
        downTime_ = ReferenceTime();
    UpdateRegistration();
}

void TCadencer::SetTimeMultiplier(double value)
{
    if (value == timeMultiplier_) return;
    if (value == 0) {
        lastMultiplier_ = timeMultiplier_;
        SetEnabled(false);
    } else {
        double r = ReferenceTime();
        double m = timeMultiplier_;
        if (timeMultiplier_ == 0) {
            SetEnabled(true);
            m = lastMultiplier_;
        }
        // Scene time continues from where it is.
        originTime_ = r - (r - originTime_) * m / value;
    }
    timeMultiplier_ = value;
}

void TCadencer::SetMode(TCadencerMode value)
{
    if (value == mode_) return;
    if (mode_ != TCadencerMode::cmManual) Unregister(mode_);
    mode_ = value;
    UpdateRegistration();
}

void TCadencer::SetScene(TScene* scene)
{
    if (scene == scene_) return;
    TScene* old = scene_;
    scene_ = scene;
    if (old && !(subscribers_ && std::find(subscribers_->begin(), subscribers_->end(), old) != subscribers_->end()))
        RemoveFreeNotification(old);
    if (scene_) FreeNotification(scene_);
    UpdateRegistration();
}

void TCadencer::Subscribe(TCadenceAbleComponent* component)
{
    if (!component) return;
    if (!subscribers_) subscribers_ = std::make_unique<std::vector<TCadenceAbleComponent*>>();
    if (std::find(subscribers_->begin(), subscribers_->end(), component) != subscribers_->end()) return;
    subscribers_->push_back(component);
    FreeNotification(component);
}

void TCadencer::Unsubscribe(TCadenceAbleComponent* component)
{
    if (!subscribers_) return;
    auto it = std::find(subscribers_->begin(), subscribers_->end(), component);
    if (it == subscribers_->end()) return;
    subscribers_->erase(it);
    if (component != scene_) RemoveFreeNotification(component);
}

void TCadencer::Notification(TComponent* component, TOperation operation)
{
    if (operation == TOperation::opRemove) {
        if (component == scene_) scene_ = nullptr;
        if (subscribers_) {
            auto& list = *subscribers_;
            list.erase(std::remove(list.begin(), list.end(), component), list.end());
        }
    }
    TComponent::Notification(component, operation);
}

void TCadencer::Loaded()
{
    TComponent::Loaded();
    UpdateRegistration();
}

void TCadencer::UpdateRegistration()
{
    if (Loading()) return;
    if (mode_ == TCadencerMode::cmManual || !scene_ || !enabled_)
        Unregister(mode_);
    else
        Register();
}

void TCadencer::Register()
{
    PumpState& pump = Pump();
    switch (mode_) {
        case TCadencerMode::cmASAP:
            if (!pump.asapList) pump.asapList = std::make_unique<std::vector<TCadencer*>>();
            if (!InASAPList(this)) {
                pump.asapList->push_back(this);
                if (!pump.handler) pump.handler = std::make_unique<TASAPHandler>();
            }
            break;
        case TCadencerMode::cmApplicationIdle:
            pump.idleCadencer = this;
            PostIdleTurn();
            break;
        case TCadencerMode::cmManual: break;
    }
}

void TCadencer::Unregister(TCadencerMode mode)
{
    PumpState& pump = Pump();
    switch (mode) {
        case TCadencerMode::cmASAP:
            // Compacted by the pump, which may be visiting the list right now.
            if (pump.asapList) std::replace(pump.asapList->begin(), pump.asapList->end(), this, (TCadencer*)nullptr);
            break;
        case TCadencerMode::cmApplicationIdle:
            if (pump.idleCadencer == this) pump.idleCadencer = nullptr;
            break;
        case TCadencerMode::cmManual: break;
    }
}

void TCadencer::Progress()
{
    // Re-entered from within the scene's own progress.
    if (progressing_ < 0) return;
    if (enabled_) {
        if (SleepLength >= 0) clock_.SleepMilliseconds(SleepLength);
        if (mode_ == TCadencerMode::cmASAP) {
            Application().ProcessMessages();
            // The messages may have unregistered or destroyed this cadencer.
            if (!InASAPList(this)) return;
        }
    }
    ++progressing_;
    struct Done {
        int32_t& counter;
        ~Done() { --counter; }
    } done{progressing_};
    if (!enabled_) return;

    double newTime = CurrentTime();
    double delta = newTime - lastTime_;
    if (delta < MinDeltaTime || delta < FixedDeltaTime) return;
    if (MaxDeltaTime > 0 && delta > MaxDeltaTime) {
        // The surplus is dropped from scene time for good.
        originTime_ += (delta - MaxDeltaTime) / timeMultiplier_;
        delta = MaxDeltaTime;
        newTime = lastTime_ + delta;
    }
    double remaining = delta;
    double step = FixedDeltaTime > 0 ? FixedDeltaTime : delta;
    while (remaining >= step) {
        lastTime_ += step;
        if (scene_ && step != 0) {
            progressing_ = -progressing_;
            struct Restore {
                int32_t& counter;
                ~Restore() { counter = -counter; }
            } restore{progressing_};
            scene_->Progress(step, lastTime_);
        }
        // By index: a subscriber may leave the list from its own DoProgress.
        for (size_t i = 0; subscribers_ && i < subscribers_->size(); ++i)
            (*subscribers_)[i]->DoProgress({step, lastTime_});
        if (OnProgress) OnProgress(this, step, newTime);
        if (step <= 0) break;
        remaining -= step;
    }
}

}  // namespace sauno
