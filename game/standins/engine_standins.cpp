#include "game/standins/engine_standins.h"

#include <GL/gl.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/exception.h"
#include "runtime/application.h"
#include "runtime/reader.h"

namespace sauno {

TSceneViewer::TSceneViewer(TComponent* owner) : TControl(owner)
{
    buffer_.OnChange = [this](TSceneBuffer*) { Invalidate(); };
}

TSceneViewer::~TSceneViewer()
{
    BeginDestroy();
    if (scene_) scene_->DetachBuffer(&buffer_);
    if (context_) SDL_GL_DeleteContext(context_);
}

void TSceneViewer::SetCamera(TCamera* camera)
{
    if (scene_) {
        scene_->DetachBuffer(&buffer_);
        RemoveFreeNotification(scene_);
        scene_ = nullptr;
    }
    camera_ = camera;
    if (camera && camera->Scene()) {
        scene_ = camera->Scene();
        scene_->AttachBuffer(&buffer_);
        FreeNotification(scene_);
        FreeNotification(camera);
    }
}

void TSceneViewer::Notification(TComponent* component, TOperation operation)
{
    if (operation != TOperation::opRemove) return;
    if (component == scene_) scene_ = nullptr;
    if (component == camera_) camera_ = nullptr;
}

void TSceneViewer::SetParentComponent(TComponent* parent)
{
    TControl::SetParentComponent(parent);
    if (ParentForm() && !ParentForm()->HasWindow()) {
        platform::GLPixelFormat format;  // double buffer, 24-bit colour, 24-bit depth
        ParentForm()->RequestPixelFormat(format);
    }
}

void TSceneViewer::Paint()
{
    TCustomForm* form = ParentForm();
    if (!form || !form->HasWindow()) return;
    SDL_Window* window = form->Window().Handle();
    if (!context_) context_ = SDL_GL_CreateContext(window);
    if (!context_ || SDL_GL_MakeCurrent(window, context_) != 0) return;  // no GL: nothing to draw with
    int left, top, width, height;
    BoundsInParent(left, top, width, height);
    glViewport(left, form->ClientHeight - top - height, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
}

TAsyncTimer::TAsyncTimer(TComponent* owner) : TComponent(owner), thread_([this] { Execute(); }) {}

TAsyncTimer::~TAsyncTimer()
{
    BeginDestroy();
    {
        std::lock_guard lock(lock_);
        enabled_ = false;
        terminate_ = true;
    }
    resume_.notify_all();
    // The thread may be waiting for the main thread to take a tick: keep serving hand-overs.
    Application().ServeHandOversUntil([this] { return finished_.load(); });
    thread_.join();
}

void TAsyncTimer::SetEnabled(bool value)
{
    if (value == enabled_) return;
    {
        std::lock_guard lock(lock_);
        enabled_ = value;
        if (value) errorShown_ = false;
    }
    resume_.notify_all();
}

void TAsyncTimer::Execute()
{
    const int64_t f = platform::PerformanceFrequency();
    bool started = false;
    int64_t target = 0;
    while (!terminate_) {
        {
            std::unique_lock lock(lock_);
            resume_.wait(lock, [this] { return terminate_ || (enabled_ && interval_ > 0); });
        }
        if (terminate_) break;
        int64_t c = platform::PerformanceCounter();
        if (!started) {
            started = true;
            target = c + static_cast<int64_t>(interval_) * f / 1000;
            continue;
        }
        if (c < target) {
            platform::SleepMilliseconds(1);
            continue;
        }
        Application().Synchronize([this] {
            if (!enabled_ || !OnTimer) return;
            try {
                OnTimer(this);
            } catch (...) {
                // Shown once until enabled again; the timer keeps ticking.
                if (!errorShown_) {
                    errorShown_ = true;
                    Application().HandleException(std::current_exception());
                }
            }
        });
        int64_t c2 = platform::PerformanceCounter();
        target = c + static_cast<int64_t>(interval_) * f / 1000;
        if (target <= c2) target = c2 + static_cast<int64_t>(interval_) * f / 1000;
    }
    finished_ = true;
}

namespace {

void BufferProperties(ClassInfo& info)
{
    describe::Ignored(info, {"Buffer.BackgroundColor", "Buffer.FogEnvironment.FogColor.Color",
                             "Buffer.FogEnvironment.FogStart", "Buffer.FogEnvironment.FogEnd", "Buffer.FogEnable"});
}

}  // namespace

void RegisterEngineStandIns()
{
    using namespace describe;
    ClassRegistry& r = ClassRegistry::Instance();

    ClassInfo& viewer = r.Register("TSceneViewer", "TControl", [](TComponent* o) { return new TSceneViewer(o); });
    Reference<TSceneViewer, TCamera>(viewer, "Camera", [](TSceneViewer& v, TCamera* c) { v.SetCamera(c); });
    BufferProperties(viewer);

    ClassInfo& full =
        r.Register("TFullScreenViewer", "TComponent", [](TComponent* o) { return new TFullScreenViewer(o); });
    Reference<TFullScreenViewer, TCamera>(full, "Camera", [](TFullScreenViewer& v, TCamera* c) { v.Camera = c; });
    Integer<TFullScreenViewer>(full, "Width", [](TFullScreenViewer& v, int64_t x) { v.Width = int(x); });
    Integer<TFullScreenViewer>(full, "Height", [](TFullScreenViewer& v, int64_t x) { v.Height = int(x); });
    Integer<TFullScreenViewer>(full, "RefreshRate", [](TFullScreenViewer& v, int64_t x) { v.RefreshRate = int(x); });
    BufferProperties(full);
    Property<TFullScreenViewer>(full, "OnKeyDown", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnKeyDown = FormOf(rd).KeyHandler(p.AsIdent("OnKeyDown"));
    });
    Property<TFullScreenViewer>(full, "OnKeyUp", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnKeyUp = FormOf(rd).KeyHandler(p.AsIdent("OnKeyUp"));
    });
    Property<TFullScreenViewer>(full, "OnMouseDown", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseDown = FormOf(rd).MouseHandler(p.AsIdent("OnMouseDown"));
    });
    Property<TFullScreenViewer>(full, "OnMouseMove", [](TFullScreenViewer& v, const PropValue& p, TReader& rd) {
        v.OnMouseMove = FormOf(rd).MouseMoveHandler(p.AsIdent("OnMouseMove"));
    });

    ClassInfo& cadencer = r.Register("TCadencer", "TComponent", [](TComponent* o) { return new TCadencer(o); });
    Reference<TCadencer, TScene>(cadencer, "Scene", [](TCadencer& c, TScene* s) { c.Scene = s; });

    ClassInfo& async = r.Register("TAsyncTimer", "TComponent", [](TComponent* o) { return new TAsyncTimer(o); });
    Bool<TAsyncTimer>(async, "Enabled", [](TAsyncTimer& t, bool v) { t.SetEnabled(v); });
    Integer<TAsyncTimer>(async, "Interval", [](TAsyncTimer& t, int64_t v) {
        if (v < 0 || v > 65535) throw Exception("Invalid property value for Interval");
        t.SetInterval(uint16_t(v));
    });
    Property<TAsyncTimer>(async, "OnTimer", [](TAsyncTimer& t, const PropValue& p, TReader& rd) {
        t.OnTimer = FormOf(rd).NotifyHandler(p.AsIdent("OnTimer"));
    });
}

}  // namespace sauno
