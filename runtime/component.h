#pragma once
// Components: named objects with an owner that destroys them, free notification between
// components that refer to each other, and the loading state of the scene-description reader.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/export.h"

namespace sauno {

enum class TOperation { opInsert, opRemove };

// Anything the scene-description reader can set properties on: components and collection items.
class SAUNO_RUNTIME_EXPORT TPersistent {
public:
    virtual ~TPersistent() = default;
};

class SAUNO_RUNTIME_EXPORT TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    virtual void SetName(std::string_view name);
    TComponent* Owner() const { return owner_; }
    int32_t Tag = 0;

    // Owned components, in creation order. The owner destroys them last first.
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int i) const { return components_[static_cast<size_t>(i)]; }
    TComponent* FindComponent(std::string_view name) const;
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    void DestroyComponents();

    // Asks to be told (through Notification) when `other` is destroyed; the request is mutual.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    bool Loading() const { return loading_; }
    bool Destroying() const { return destroying_; }
    // The reader brackets property application with these; Loaded runs after everything is read.
    void BeginLoading() { loading_ = true; }
    virtual void Loaded() { loading_ = false; }

    // Called by the reader when this component is read inside another one in the description.
    virtual void SetParentComponent(TComponent* parent);

protected:
    // `component` is being destroyed (opRemove) or was inserted (opInsert) into this owner.
    virtual void Notification(TComponent* component, TOperation operation);
    // First step of destruction: marks the component and tells the components that watch it.
    // Derived destructors that must act while the component is still whole call it early.
    void BeginDestroy();

private:
    void RemoveNotification(TComponent* other);

    std::string name_;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;   // owned
    std::vector<TComponent*> freeNotifies_;  // not owned, mutual
    bool loading_ = false;
    bool destroying_ = false;
};

// Creates a component of type T owned by `owner`; the owner's destructor frees it.
template <class T, class... Args>
T* CreateComponent(TComponent* owner, Args&&... args)
{
    return new T(owner, std::forward<Args>(args)...);
}

}  // namespace sauno
