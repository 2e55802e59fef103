#pragma once
// Behaviours: items carried by a scene object and advanced with scene time (sound emitters).
// A behaviour joins the end of its list when it is made with the list as its owner and leaves
// it when it is freed; the list owns its items and frees them with itself.
#include <string>
#include <vector>

#include "engine/export.h"
#include "engine/updatable.h"
#include "runtime/component.h"

namespace sauno {

class TBehaviours;
class TBaseSceneObject;

class SAUNO_ENGINE_EXPORT TBaseBehaviour : public TPersistent {
public:
    explicit TBaseBehaviour(TBehaviours& owner);
    ~TBaseBehaviour() override;
    TBaseBehaviour(const TBaseBehaviour&) = delete;
    TBaseBehaviour& operator=(const TBaseBehaviour&) = delete;

    TBehaviours* Owner() const { return owner_; }
    // The scene object whose list holds this behaviour.
    TBaseSceneObject* OwnerBaseSceneObject() const;
    std::string Name;

    // A class with `static constexpr bool Unique = true` may stand only once in a list.
    virtual void DoProgress(const ProgressTimes& times);
    // The scene description has been read.
    virtual void Loaded() {}

private:
    friend class TBehaviours;
    TBehaviours* owner_;
};

class SAUNO_ENGINE_EXPORT TBehaviour : public TBaseBehaviour {
public:
    using TBaseBehaviour::TBaseBehaviour;
};

class SAUNO_ENGINE_EXPORT TBehaviours : public TPersistent {
public:
    explicit TBehaviours(TBaseSceneObject& owner) : owner_(owner) {}
    ~TBehaviours() override;
    TBehaviours(const TBehaviours&) = delete;
    TBehaviours& operator=(const TBehaviours&) = delete;

    TBaseSceneObject& Owner() const { return owner_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TBaseBehaviour* Items(int i) const { return items_[static_cast<size_t>(i)]; }
    // Makes a behaviour of class B at the end of the list; a second item of a unique class is
    // refused with an Exception.
    template <class B>
    B* Add()
    {
        if constexpr (requires { B::Unique; }) {
            if (B::Unique)
                for (TBaseBehaviour* item : items_)
                    if (dynamic_cast<B*>(item)) RefuseSecondItem();
        }
        return new B(*this);
    }
    void DoProgress(const ProgressTimes& times);
    void Loaded();

private:
    friend class TBaseBehaviour;
    [[noreturn]] static void RefuseSecondItem();
    TBaseSceneObject& owner_;
    std::vector<TBaseBehaviour*> items_;  // owned
    bool destroying_ = false;
};

}  // namespace sauno
