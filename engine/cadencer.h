#pragma once
// The cadencer: reads a clock, works out how much scene time has passed since its last step and
// hands that step to its scene, to its subscribers and to OnProgress. In cmASAP mode it runs once
// per turn of the main thread's message loop, driven by a chain of posted "TickCadencer"
// messages (with the application's frame period, each message is due a period after the one
// before, so that the loop waits in between); in cmApplicationIdle mode once per turn after
// everything pending; in cmManual mode whenever the application calls Progress.
//
// Also the clocks every timing component reads, replaceable so that tests control time.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/export.h"
#include "engine/scene.h"
#include "engine/updatable.h"

namespace sauno {

// The clocks of the timing components. The performance counter's frequency must be positive.
class SAUNO_ENGINE_EXPORT TTimingClock {
public:
    virtual ~TTimingClock() = default;
    virtual int64_t PerformanceCounter() = 0;
    virtual int64_t PerformanceFrequency() = 0;
    // Milliseconds, wrapping at 2^32.
    virtual uint32_t TickCount() = 0;
    // The local date and time as days since 1899-12-30 (fraction = time of day).
    virtual double LocalDateTimeDays() = 0;
    virtual void SleepMilliseconds(int ms) = 0;
};

// The platform's clocks.
SAUNO_ENGINE_EXPORT TTimingClock& SystemTimingClock();
// The clock that components created from now on read, and that the message-loop pump reads.
SAUNO_ENGINE_EXPORT TTimingClock& DefaultTimingClock();
// Null restores the platform's clocks.
SAUNO_ENGINE_EXPORT void SetDefaultTimingClock(TTimingClock* clock);

enum class TCadencerMode { cmManual, cmASAP, cmApplicationIdle };
enum class TCadencerTimeReference { cmRTC, cmPerformanceCounter, cmExternal };

class SAUNO_ENGINE_EXPORT TCadencer : public TComponent {
public:
    explicit TCadencer(TComponent* owner);
    TCadencer(TComponent* owner, TTimingClock& clock);
    // Destroying a cadencer while its Progress runs is an assertion failure.
    ~TCadencer() override;

    TScene* Scene() const { return scene_; }
    void SetScene(TScene* scene);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    TCadencerTimeReference TimeReference() const { return timeReference_; }
    // Stores the value only: scene time may jump when the reference changes.
    void SetTimeReference(TCadencerTimeReference value) { timeReference_ = value; }
    double TimeMultiplier() const { return timeMultiplier_; }
    // 0 disables the cadencer; leaving 0 enables it again. Scene time continues without a jump.
    void SetTimeMultiplier(double value);
    TCadencerMode Mode() const { return mode_; }
    void SetMode(TCadencerMode value);

    // Seconds. Plain values, read at each Progress.
    double MaxDeltaTime = 0;    // 0: no upper limit; surplus time is dropped from scene time
    double MinDeltaTime = 0;    // a call that comes earlier does nothing
    double FixedDeltaTime = 0;  // 0: one variable step per call
    int32_t SleepLength = -1;   // milliseconds slept before each step; negative: none
    TProgressEvent OnProgress;

    // One progress call: zero or more steps of scene time.
    void Progress();
    // Computes, stores and returns the current scene time.
    double CurrentTime();
    // The clock of cmExternal mode: the reference reading that the next CurrentTime uses.
    void SetExternalTime(double seconds) { currentTime_ = seconds; }

    // Subscribers are not owned; a destroyed one leaves the list.
    void Subscribe(TCadenceAbleComponent* component);
    void Unsubscribe(TCadenceAbleComponent* component);
    int SubscriberCount() const { return subscribers_ ? static_cast<int>(subscribers_->size()) : 0; }

    void Loaded() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TASAPHandler;
    double ReferenceTime();
    void UpdateRegistration();
    void Register();
    void Unregister(TCadencerMode mode);

    TTimingClock& clock_;
    std::unique_ptr<std::vector<TCadenceAbleComponent*>> subscribers_;
    TScene* scene_ = nullptr;
    double timeMultiplier_ = 1;
    double lastTime_ = 0;
    double downTime_ = 0;
    double lastMultiplier_ = 0;
    bool enabled_ = false;
    TCadencerMode mode_ = TCadencerMode::cmManual;
    TCadencerTimeReference timeReference_ = TCadencerTimeReference::cmPerformanceCounter;
    double currentTime_ = 0;
    double originTime_ = 0;
    // 0 when idle, positive while Progress runs, negative while the scene itself progresses.
    int32_t progressing_ = 0;
};

// The message-loop pump, for diagnostics: whether it exists, and how many entries (null ones
// included) its list holds.
SAUNO_ENGINE_EXPORT bool ASAPHandlerExists();
SAUNO_ENGINE_EXPORT size_t ASAPListSize();

// Registers "TCadencer" and "TAsyncTimer" with their published properties.
SAUNO_ENGINE_EXPORT void RegisterTimingClasses();

}  // namespace sauno
