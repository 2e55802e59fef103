#pragma once
// STAND-IN for the viewers, the cadencer and the asynchronous timer of the scene engine. They
// keep the names, properties and operations the game calls, in the simplest form that runs:
// the windowed viewer paints a black client area when the scene changes, the full-screen viewer
// only keeps its size and switch, the cadencer drives nothing. The engine issue for frames,
// viewers and timers replaces this file with the real classes.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/scene.h"
#include "runtime/component.h"
#include "runtime/events.h"
#include "runtime/forms.h"

namespace sauno {

// Stand-in: the windowed viewer paints its client area black.
class TSceneViewer : public TControl {
public:
    explicit TSceneViewer(TComponent* owner);
    ~TSceneViewer() override;
    TCamera* Camera() const { return camera_; }
    void SetCamera(TCamera* camera);
    void SetParentComponent(TComponent* parent) override;
    void Paint() override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    TCamera* camera_ = nullptr;
    TScene* scene_ = nullptr;
    TSceneBuffer buffer_{this};
    SDL_GLContext context_ = nullptr;
};

// Stand-in: the full-screen viewer keeps its size and switch; it opens no window yet.
class TFullScreenViewer : public TComponent {
public:
    using TComponent::TComponent;
    int Width = 800, Height = 600, RefreshRate = 0;
    bool Active() const { return active_; }
    void SetActive(bool value) { active_ = value; }
    TCamera* Camera = nullptr;
    TKeyEvent OnKeyDown, OnKeyUp;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;

private:
    bool active_ = false;
};

// Stand-in: the cadencer holds its scene and drives nothing.
class TCadencer : public TComponent {
public:
    using TComponent::TComponent;
    TScene* Scene = nullptr;
    bool Enabled = true;
};

// Stand-in for the asynchronous timer: a plain thread that waits out each interval in 1 ms
// steps and hands each tick to the main thread, where OnTimer runs if the timer is still enabled.
class TAsyncTimer : public TComponent {
public:
    explicit TAsyncTimer(TComponent* owner);
    ~TAsyncTimer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint16_t Interval() const { return interval_; }
    void SetInterval(uint16_t value) { interval_ = value; }
    TNotifyEvent OnTimer;

private:
    void Execute();
    std::atomic<bool> enabled_{false};
    std::atomic<uint16_t> interval_{1000};
    std::atomic<bool> terminate_{false};
    std::atomic<bool> finished_{false};
    bool errorShown_ = false;
    std::mutex lock_;
    std::condition_variable resume_;
    std::thread thread_;
};

void RegisterEngineStandIns();

}  // namespace sauno
