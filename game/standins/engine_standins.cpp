#include "game/standins/engine_standins.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/exception.h"
#include "runtime/application.h"
#include "runtime/reader.h"

namespace sauno {

TBaseBehaviour::TBaseBehaviour(TBehaviours& owner) : owner_(owner) {}

TBaseSceneObject::TBaseSceneObject(TComponent* owner) : TComponent(owner) {}

TBaseSceneObject::~TBaseSceneObject()
{
    BeginDestroy();
    behaviours_.reset();
    if (parent_) parent_->RemoveChild(this);
    FreeChildren();
}

void TBaseSceneObject::AddChild(TBaseSceneObject* child)
{
    children_.push_back(child);
    child->parent_ = this;
    child->JoinScene(scene_);
    NotifyChange();
}

void TBaseSceneObject::RemoveChild(TBaseSceneObject* child)
{
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end()) return;
    children_.erase(it);
    child->parent_ = nullptr;
    NotifyChange();
}

void TBaseSceneObject::FreeChildren()
{
    while (!children_.empty()) {
        TBaseSceneObject* last = children_.back();
        children_.pop_back();
        last->parent_ = nullptr;
        delete last;
    }
    NotifyChange();
}

void TBaseSceneObject::JoinScene(TScene* scene)
{
    scene_ = scene;
    for (TBaseSceneObject* c : children_) c->JoinScene(scene);
}

void TBaseSceneObject::SetParentComponent(TComponent* parent)
{
    if (auto* scene = dynamic_cast<TScene*>(parent)) {
        (dynamic_cast<TCamera*>(this) ? scene->Cameras() : scene->Objects()).AddChild(this);
    } else if (auto* node = dynamic_cast<TBaseSceneObject*>(parent)) {
        node->AddChild(this);
    }
}

void TBaseSceneObject::SetVisible(bool value)
{
    if (value == visible_) return;
    visible_ = value;
    NotifyChange();
}

TBehaviours& TBaseSceneObject::Behaviours()
{
    if (!behaviours_) behaviours_ = std::make_unique<TBehaviours>(*this);
    return *behaviours_;
}

void TBaseSceneObject::NotifyChange()
{
    if (scene_ && !Loading() && !Destroying()) scene_->ReportChange();
}

void TCamera::OrbitTarget(float, float) {}

TScene::TScene(TComponent* owner)
    : TComponent(owner), objects_(std::make_unique<TSceneRootObject>(nullptr)),
      cameras_(std::make_unique<TSceneRootObject>(nullptr))
{
    objects_->SetName("ObjectRoot");
    cameras_->SetName("CameraRoot");
    objects_->scene_ = this;
    cameras_->scene_ = this;
}

TScene::~TScene()
{
    BeginDestroy();
    objects_.reset();
    cameras_.reset();
}

void TScene::AddViewer(TControl* viewer)
{
    if (std::find(viewers_.begin(), viewers_.end(), viewer) == viewers_.end()) viewers_.push_back(viewer);
}

void TScene::RemoveViewer(TControl* viewer)
{
    viewers_.erase(std::remove(viewers_.begin(), viewers_.end(), viewer), viewers_.end());
}

void TScene::ReportChange()
{
    if (Destroying()) return;
    for (TControl* v : viewers_) v->Invalidate();
}

TSceneViewer::TSceneViewer(TComponent* owner) : TControl(owner) {}

TSceneViewer::~TSceneViewer()
{
    BeginDestroy();
    if (scene_) scene_->RemoveViewer(this);
    if (context_) SDL_GL_DeleteContext(context_);
}

void TSceneViewer::SetCamera(TCamera* camera)
{
    if (scene_) {
        scene_->RemoveViewer(this);
        RemoveFreeNotification(scene_);
        scene_ = nullptr;
    }
    camera_ = camera;
    if (camera && camera->Scene()) {
        scene_ = camera->Scene();
        scene_->AddViewer(this);
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

TVector4f VectorFromBytes(const std::vector<uint8_t>& bytes)
{
    float v[4];
    std::memcpy(v, bytes.data(), sizeof v);  // little-endian IEEE floats, as this machine stores them
    return {v[0], v[1], v[2], v[3]};
}

template <class T>
void Vector(ClassInfo& info, const std::string& name, TVector4f T::*field)
{
    describe::Binary<T>(info, name, 16, [field](T& t, const std::vector<uint8_t>& b) { t.*field = VectorFromBytes(b); });
}

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

    ClassInfo& node = r.Register("TBaseSceneObject", "TComponent", nullptr);
    Vector<TBaseSceneObject>(node, "Position.Coordinates", &TBaseSceneObject::Position);
    Vector<TBaseSceneObject>(node, "Direction.Coordinates", &TBaseSceneObject::Direction);
    Vector<TBaseSceneObject>(node, "Up.Coordinates", &TBaseSceneObject::Up);
    Vector<TBaseSceneObject>(node, "Scale.Coordinates", &TBaseSceneObject::Scale);
    Float<TBaseSceneObject>(node, "PitchAngle", [](TBaseSceneObject& o, double v) { o.PitchAngle = float(v); });
    Float<TBaseSceneObject>(node, "TurnAngle", [](TBaseSceneObject& o, double v) { o.TurnAngle = float(v); });
    Float<TBaseSceneObject>(node, "RollAngle", [](TBaseSceneObject& o, double v) { o.RollAngle = float(v); });
    Bool<TBaseSceneObject>(node, "ShowAxes", [](TBaseSceneObject& o, bool v) { o.ShowAxes = v; });
    Bool<TBaseSceneObject>(node, "Visible", [](TBaseSceneObject& o, bool v) { o.SetVisible(v); });
    Integer<TBaseSceneObject>(node, "Tag", [](TBaseSceneObject& o, int64_t v) { o.Tag = int32_t(v); });

    ClassInfo& cube = r.Register("TDummyCube", "TBaseSceneObject", [](TComponent* o) { return new TDummyCube(o); });
    Float<TDummyCube>(cube, "CubeSize", [](TDummyCube& o, double v) { o.CubeSize = float(v); });

    ClassInfo& camera = r.Register("TCamera", "TBaseSceneObject", [](TComponent* o) { return new TCamera(o); });
    Float<TCamera>(camera, "DepthOfView", [](TCamera& o, double v) { o.DepthOfView = float(v); });
    Float<TCamera>(camera, "FocalLength", [](TCamera& o, double v) { o.FocalLength = float(v); });
    Float<TCamera>(camera, "SceneScale", [](TCamera& o, double v) { o.SceneScale = float(v); });
    Reference<TCamera, TBaseSceneObject>(camera, "TargetObject",
                                         [](TCamera& o, TBaseSceneObject* t) { o.TargetObject = t; });

    ClassInfo& light =
        r.Register("TLightSource", "TBaseSceneObject", [](TComponent* o) { return new TLightSource(o); });
    Float<TLightSource>(light, "ConstAttenuation", [](TLightSource& o, double v) { o.ConstAttenuation = float(v); });
    Float<TLightSource>(light, "SpotCutOff", [](TLightSource& o, double v) { o.SpotCutOff = float(v); });
    Vector<TLightSource>(light, "Diffuse.Color", &TLightSource::Diffuse);
    Ident<TLightSource>(light, "LightStyle", [](TLightSource& o, const std::string& v) { o.LightStyle = v; });

    r.Register("TScene", "TComponent", [](TComponent* o) { return new TScene(o); });

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
