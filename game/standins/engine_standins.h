#pragma once
// STAND-IN for the scene engine (scene tree, camera, light, viewers, cadencer and the
// asynchronous timer). It keeps the names, properties and operations the game calls, in the
// simplest form that runs: nothing is drawn but a black client area, the camera does not move,
// the cadencer drives nothing. The engine issues replace this file with the real classes.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>

#include "runtime/component.h"
#include "runtime/events.h"
#include "runtime/forms.h"

namespace sauno {

class TScene;
class TBaseSceneObject;

struct TVector4f {
    float X = 0, Y = 0, Z = 0, W = 0;
};

// Behaviours carried by scene objects; the list owns its items.
class TBaseBehaviour {
public:
    explicit TBaseBehaviour(class TBehaviours& owner);
    virtual ~TBaseBehaviour() = default;
    TBehaviours& Owner() const { return owner_; }

private:
    TBehaviours& owner_;
};

class TBehaviours {
public:
    explicit TBehaviours(TBaseSceneObject& object) : object_(object) {}
    TBaseSceneObject& Object() const { return object_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TBaseBehaviour* Items(int i) const { return items_[static_cast<size_t>(i)].get(); }
    // Constructs a behaviour of class B at the end of the list.
    template <class B>
    B* Add()
    {
        auto item = std::make_unique<B>(*this);
        B* raw = item.get();
        items_.push_back(std::move(item));
        return raw;
    }

private:
    TBaseSceneObject& object_;
    std::vector<std::unique_ptr<TBaseBehaviour>> items_;
};

class TBaseSceneObject : public TComponent {
public:
    explicit TBaseSceneObject(TComponent* owner);
    ~TBaseSceneObject() override;

    TBaseSceneObject* Parent() const { return parent_; }
    TScene* Scene() const { return scene_; }
    int ChildCount() const { return static_cast<int>(children_.size()); }
    TBaseSceneObject* Child(int i) const { return children_[static_cast<size_t>(i)]; }
    void AddChild(TBaseSceneObject* child);
    void RemoveChild(TBaseSceneObject* child);
    // Constructs a node of class N owned by this node's owner, as the last child.
    template <class N>
    N* AddNewChild()
    {
        N* child = new N(Owner());
        AddChild(child);
        return child;
    }
    void FreeChildren();
    void SetParentComponent(TComponent* parent) override;

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    TVector4f Position{0, 0, 0, 1};
    TVector4f Direction{0, 0, 1, 0};
    TVector4f Up{0, 1, 0, 0};
    TVector4f Scale{1, 1, 1, 0};
    float PitchAngle = 0, TurnAngle = 0, RollAngle = 0;
    bool ShowAxes = false;
    TBehaviours& Behaviours();

    // A value changed: the scene's viewers paint again.
    void NotifyChange();

private:
    void JoinScene(TScene* scene);
    TBaseSceneObject* parent_ = nullptr;
    TScene* scene_ = nullptr;
    std::vector<TBaseSceneObject*> children_;  // owned as components by the form, freed here first
    bool visible_ = true;
    std::unique_ptr<TBehaviours> behaviours_;

    friend class TScene;
};

class TSceneRootObject : public TBaseSceneObject {
public:
    using TBaseSceneObject::TBaseSceneObject;
};

class TDummyCube : public TBaseSceneObject {
public:
    using TBaseSceneObject::TBaseSceneObject;
    float CubeSize = 1;
};

class TCamera : public TBaseSceneObject {
public:
    using TBaseSceneObject::TBaseSceneObject;
    float DepthOfView = 100, FocalLength = 50, SceneScale = 1;
    TBaseSceneObject* TargetObject = nullptr;
    // Stand-in: the orbit is accepted and changes nothing.
    void OrbitTarget(float pitchDelta, float turnDelta);
};

class TLightSource : public TBaseSceneObject {
public:
    using TBaseSceneObject::TBaseSceneObject;
    float ConstAttenuation = 1, SpotCutOff = 180;
    TVector4f Diffuse{1, 1, 1, 1};
    std::string LightStyle = "lsSpot";
};

class TScene : public TComponent {
public:
    explicit TScene(TComponent* owner);
    ~TScene() override;
    TSceneRootObject& Objects() { return *objects_; }
    TSceneRootObject& Cameras() { return *cameras_; }
    // Viewers that paint this scene.
    void AddViewer(TControl* viewer);
    void RemoveViewer(TControl* viewer);
    void ReportChange();

private:
    std::unique_ptr<TSceneRootObject> objects_;
    std::unique_ptr<TSceneRootObject> cameras_;
    std::vector<TControl*> viewers_;
};

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
