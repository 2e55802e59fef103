#pragma once
// The application: one main form, a message loop on platform events, posted messages, window
// timers, paint of invalidated windows once nothing else is pending, and a synchronous hand-over
// of calls from other threads to the main thread. With nothing to do the main thread blocks in
// the platform's event wait until the next event, hand-over, timer, due message or paint.
#include <SDL.h>

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "runtime/export.h"

namespace sauno {

// A window of ours that receives its own platform events and paints when invalidated.
class SAUNO_RUNTIME_EXPORT WindowEventSink {
public:
    virtual ~WindowEventSink() = default;
    virtual void HandleEvent(const SDL_Event& event) = 0;
    virtual void Paint() = 0;
};

class TTimer;

class SAUNO_RUNTIME_EXPORT TApplication {
public:
    static TApplication& Instance();

    // Opens the display; the thread calling it becomes the main thread.
    void Initialize();
    bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

    // Runs the loop until Terminate; the main form's window is shown when it starts.
    void Run();
    // The loop ends after the message being handled.
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    // Clears the terminate request; a test that ran one loop may run another.
    void ResetTerminated() { terminated_ = false; }

    // Handles everything pending (input, posted messages, hand-overs, paint, due timers); never waits.
    void ProcessMessages();
    // Handles one message, waiting up to `timeoutMs` for one (negative: until one comes).
    bool HandleMessage(int timeoutMs = -1);

    // Queues a call for the main thread's loop; from the main thread only.
    void PostMessage(std::function<void()> message);
    // The same, handled no sooner than `dueNs` on the performance counter; due messages are
    // handled in the order of their due times, each after the messages queued before it fell due.
    void PostMessageAt(int64_t dueNs, std::function<void()> message);

    // Frame pacing. With a period (nanoseconds), invalidated windows are painted together, no
    // sooner than one period after the previous paint began. A picture that stood still for
    // 100 ms and is changed by anything but input (a timer, a hand-over, a posted message) is
    // held one period after that change, so that changes close together (a clock's second and
    // another timer's tick) share one frame. Input (keys, the mouse, window events) is painted as
    // soon as the period allows. 0, the default: every invalidated window is painted as soon as
    // nothing else is pending.
    void SetFramePeriod(int64_t periodNs) { framePeriodNs_ = periodNs > 0 ? periodNs : 0; }
    int64_t FramePeriod() const { return framePeriodNs_; }
    // Runs `call` on the main thread and waits for it; its error is raised here.
    // On the main thread itself it runs at once.
    void Synchronize(const std::function<void()>& call);
    // Serves hand-overs on the main thread until `done` is true; used while waiting for a thread
    // that may itself be waiting in Synchronize.
    void ServeHandOversUntil(const std::function<bool()>& done);

    // The one place that receives every error escaping a handler: shown in a message box.
    void HandleException(const std::exception& error);
    void HandleException(std::exception_ptr error);
    // Runs a handler, sending any error it raises to HandleException.
    void Guard(const std::function<void()>& handler);
    // Tests may route errors elsewhere; empty restores the message box.
    std::function<void(const std::string&)> OnException;
    // Platform events of no window (game controllers come and go, press and release): each is
    // handled here as a message of its own, in order with the rest; dropped while it is empty.
    std::function<void(const SDL_Event&)> OnDeviceEvent;

    // The form whose window Run shows; closing that window ends the application.
    void SetMainForm(class TCustomForm* form) { mainForm_ = form; }
    TCustomForm* MainForm() const { return mainForm_; }

    // Window routing and paint.
    void RegisterWindow(uint32_t windowId, WindowEventSink* sink);
    void UnregisterWindow(uint32_t windowId);
    void Invalidate(WindowEventSink* sink);
    void Validate(WindowEventSink* sink);

    // Window timers: a started timer ticks every `intervalMs` from now, with at most one tick pending.
    void StartTimer(TTimer* timer, uint32_t intervalMs);
    void StopTimer(TTimer* timer);

private:
    TApplication() = default;
    struct HandOver {
        std::function<void()> call;
        std::promise<void> done;
    };
    struct TimerState {
        int64_t dueNs;
        int64_t intervalNs;
    };
    struct Message {
        std::function<void()> call;
        bool input = false;  // a platform event's
    };

    void PumpPlatformEvents();
    void DispatchPlatformEvent(const SDL_Event& event);
    bool RunHandOvers();
    bool FireDueTimer();
    int MillisecondsToNextTimer() const;
    void QueueDueMessages(int64_t now);
    // When the invalidated windows may be painted; INT64_MAX when none is.
    int64_t PaintDue() const;
    void PaintInvalid(int64_t now);

    std::thread::id mainThread_ = std::this_thread::get_id();
    bool terminated_ = false;
    TCustomForm* mainForm_ = nullptr;
    std::deque<Message> queue_;
    std::multimap<int64_t, std::function<void()>> delayed_;  // by due time
    std::mutex handOverLock_;
    std::condition_variable handOverSignal_;
    std::deque<std::shared_ptr<HandOver>> handOvers_;
    std::map<uint32_t, WindowEventSink*> windows_;
    std::set<WindowEventSink*> invalid_;
    std::set<WindowEventSink*> frameSinks_;  // those of the frame being painted
    int64_t framePeriodNs_ = 0;
    int64_t lastPaintNs_ = INT64_MIN / 2;  // when the previous paint began
    int64_t holdUntilNs_ = 0;              // a change that input did not make waits until then
    bool handlingInput_ = false;
    bool inputInvalidated_ = false;  // input changed something since the previous paint
    std::map<TTimer*, TimerState> timers_;
};

inline TApplication& Application() { return TApplication::Instance(); }

}  // namespace sauno
