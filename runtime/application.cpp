#include "runtime/application.h"

#include <algorithm>
#include <climits>

#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/keyboard.h"
#include "platform/messagebox.h"
#include "platform/window.h"
#include "runtime/forms.h"
#include "runtime/timer.h"

namespace sauno {

TApplication& TApplication::Instance()
{
    static TApplication application;
    return application;
}

void TApplication::Initialize()
{
    mainThread_ = std::this_thread::get_id();
    platform::InitVideo();
}

void TApplication::Run()
{
    if (mainForm_) mainForm_->Show();
    while (!terminated_) HandleMessage(-1);
}

void TApplication::ProcessMessages()
{
    while (HandleMessage(0)) {
    }
}

bool TApplication::HandleMessage(int timeoutMs)
{
    PumpPlatformEvents();
    if (RunHandOvers()) return true;
    QueueDueMessages(platform::PerformanceCounter());
    if (!queue_.empty()) {
        Message message = std::move(queue_.front());
        queue_.pop_front();
        const bool outer = handlingInput_;  // a handler may run the loop itself
        handlingInput_ = message.input;
        Guard(message.call);
        handlingInput_ = outer;
        return true;
    }
    if (!invalid_.empty()) {
        const int64_t now = platform::PerformanceCounter();
        if (now >= PaintDue()) {
            PaintInvalid(now);
            return true;
        }
    }
    if (FireDueTimer()) return true;
    if (timeoutMs == 0) return false;

    // The first of the next timer, due message and paint.
    int64_t wakeNs = INT64_MAX;
    if (!delayed_.empty()) wakeNs = delayed_.begin()->first;
    if (!invalid_.empty()) wakeNs = std::min(wakeNs, PaintDue());
    int wait = MillisecondsToNextTimer();
    if (wakeNs != INT64_MAX) {
        const int64_t ms = (wakeNs - platform::PerformanceCounter() + 999'999) / 1'000'000;
        const int soon = static_cast<int>(std::clamp<int64_t>(ms, 0, INT_MAX));
        wait = wait < 0 ? soon : std::min(wait, soon);
    }
    if (timeoutMs > 0) wait = wait < 0 ? timeoutMs : std::min(wait, timeoutMs);
    SDL_Event event;
    if (platform::WaitEvent(event, wait)) {
        // Handled in order with whatever else has arrived.
        DispatchPlatformEvent(event);
        return true;
    }
    return FireDueTimer();
}

void TApplication::QueueDueMessages(int64_t now)
{
    while (!delayed_.empty() && delayed_.begin()->first <= now) {
        queue_.push_back({std::move(delayed_.begin()->second), false});
        delayed_.erase(delayed_.begin());
    }
}

int64_t TApplication::PaintDue() const
{
    if (invalid_.empty()) return INT64_MAX;
    if (framePeriodNs_ == 0) return INT64_MIN;
    int64_t due = lastPaintNs_ + framePeriodNs_;
    if (!inputInvalidated_) due = std::max(due, holdUntilNs_);
    return due;
}

void TApplication::PaintInvalid(int64_t now)
{
    lastPaintNs_ = now;
    inputInvalidated_ = false;
    if (framePeriodNs_ == 0) {
        // One window per turn, as soon as nothing else is pending.
        WindowEventSink* sink = *invalid_.begin();
        invalid_.erase(invalid_.begin());
        Guard([sink] { sink->Paint(); });
        return;
    }
    // Every window of the frame, so that a hidden or empty one does not take a later one's turn.
    // A window that goes while another paints leaves the set (UnregisterWindow).
    frameSinks_.clear();
    frameSinks_.swap(invalid_);
    while (!frameSinks_.empty()) {
        WindowEventSink* sink = *frameSinks_.begin();
        frameSinks_.erase(frameSinks_.begin());
        Guard([sink] { sink->Paint(); });
    }
}

void TApplication::PumpPlatformEvents()
{
    SDL_Event event;
    while (platform::PollEvent(event)) DispatchPlatformEvent(event);
}

void TApplication::DispatchPlatformEvent(const SDL_Event& event)
{
    if (event.type == platform::WakeEventType()) return;
    if (event.type == SDL_QUIT) {
        queue_.push_back({[this] { Terminate(); }, true});
        return;
    }
    uint32_t windowId = 0;
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: windowId = event.key.windowID; break;
        case SDL_MOUSEMOTION: windowId = event.motion.windowID; break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: windowId = event.button.windowID; break;
        case SDL_MOUSEWHEEL: windowId = event.wheel.windowID; break;
        case SDL_TEXTINPUT: windowId = event.text.windowID; break;
        case SDL_WINDOWEVENT: windowId = event.window.windowID; break;
        default:
            // Joystick and controller events only: the rest of the platform's traffic is not ours.
            if (OnDeviceEvent && event.type >= SDL_JOYAXISMOTION && event.type < SDL_FINGERDOWN)
                queue_.push_back({[this, event] {
                                      if (OnDeviceEvent) OnDeviceEvent(event);
                                  },
                                  true});
            return;
    }
    // Copy: the event is handled as a message of its own, after those queued before it.
    queue_.push_back({[this, event, windowId] {
                          if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP)
                              keyboard::SetVirtualKeyState(keyboard::VirtualKeyFromSdl(event.key.keysym.sym),
                                                           event.type == SDL_KEYDOWN);
                          if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
                              keyboard::ReleaseAll();  // releases made elsewhere never reach us
                          auto it = windows_.find(windowId);
                          if (it != windows_.end()) it->second->HandleEvent(event);
                      },
                      true});
}

void TApplication::PostMessage(std::function<void()> message) { queue_.push_back({std::move(message), false}); }

void TApplication::PostMessageAt(int64_t dueNs, std::function<void()> message)
{
    delayed_.emplace(dueNs, std::move(message));
}

void TApplication::Synchronize(const std::function<void()>& call)
{
    if (IsMainThread()) {
        call();
        return;
    }
    auto handOver = std::make_shared<HandOver>();
    handOver->call = call;
    std::future<void> done = handOver->done.get_future();
    {
        std::lock_guard lock(handOverLock_);
        handOvers_.push_back(handOver);
    }
    handOverSignal_.notify_all();
    platform::WakeEventLoop();
    done.get();
}

bool TApplication::RunHandOvers()
{
    bool any = false;
    while (true) {
        std::shared_ptr<HandOver> next;
        {
            std::lock_guard lock(handOverLock_);
            if (handOvers_.empty()) break;
            next = handOvers_.front();
            handOvers_.pop_front();
        }
        any = true;
        try {
            next->call();
            next->done.set_value();
        } catch (...) {
            next->done.set_exception(std::current_exception());
        }
    }
    return any;
}

void TApplication::ServeHandOversUntil(const std::function<bool()>& done)
{
    while (!done()) {
        RunHandOvers();
        std::unique_lock lock(handOverLock_);
        handOverSignal_.wait_for(lock, std::chrono::milliseconds(1), [this] { return !handOvers_.empty(); });
    }
    RunHandOvers();
}

void TApplication::HandleException(const std::exception& error)
{
    if (OnException) {
        OnException(error.what());
        return;
    }
    platform::ShowMessageBox("Sauno", error.what(), platform::MessageKind::Error);
}

void TApplication::HandleException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        HandleException(Exception("Unknown error"));
    }
}

void TApplication::Guard(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

void TApplication::RegisterWindow(uint32_t windowId, WindowEventSink* sink) { windows_[windowId] = sink; }

void TApplication::UnregisterWindow(uint32_t windowId)
{
    auto it = windows_.find(windowId);
    if (it == windows_.end()) return;
    invalid_.erase(it->second);
    frameSinks_.erase(it->second);
    windows_.erase(it);
}

void TApplication::Invalidate(WindowEventSink* sink)
{
    if (invalid_.empty() && !inputInvalidated_) {
        // A change to a picture that stood still waits a period for those that follow it; one
        // that continues a moving picture waits for nothing but the period.
        const int64_t now = platform::PerformanceCounter();
        constexpr int64_t stillNs = 100'000'000;
        holdUntilNs_ = now - lastPaintNs_ > stillNs ? now + framePeriodNs_ : 0;
    }
    if (handlingInput_) inputInvalidated_ = true;
    invalid_.insert(sink);
}
void TApplication::Validate(WindowEventSink* sink) { invalid_.erase(sink); }

void TApplication::StartTimer(TTimer* timer, uint32_t intervalMs)
{
    int64_t interval = static_cast<int64_t>(intervalMs) * 1'000'000;
    timers_[timer] = {platform::PerformanceCounter() + interval, interval};
}

void TApplication::StopTimer(TTimer* timer) { timers_.erase(timer); }

bool TApplication::FireDueTimer()
{
    int64_t now = platform::PerformanceCounter();
    for (auto& [timer, state] : timers_) {
        if (state.dueNs > now) continue;
        // One tick however late: missed periods are not caught up.
        state.dueNs += state.intervalNs;
        if (state.dueNs <= now) state.dueNs = now + state.intervalNs;
        TTimer* ticking = timer;
        Guard([ticking] { ticking->Tick(); });
        return true;
    }
    return false;
}

int TApplication::MillisecondsToNextTimer() const
{
    if (timers_.empty()) return -1;
    int64_t now = platform::PerformanceCounter();
    int64_t next = INT64_MAX;
    for (const auto& [timer, state] : timers_) next = std::min(next, state.dueNs);
    int64_t ms = (next - now + 999'999) / 1'000'000;
    return static_cast<int>(std::clamp<int64_t>(ms, 0, INT_MAX));
}

}  // namespace sauno
