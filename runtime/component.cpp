#include "runtime/component.h"

#include <algorithm>
#include <cctype>

#include "platform/exception.h"

namespace sauno {

TComponent::TComponent(TComponent* owner)
{
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    BeginDestroy();
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::BeginDestroy()
{
    if (destroying_) return;
    destroying_ = true;
    // Tell every watcher, each once; a watcher may withdraw others while it is told.
    while (!freeNotifies_.empty()) {
        TComponent* watcher = freeNotifies_.back();
        freeNotifies_.pop_back();
        watcher->RemoveNotification(this);
        watcher->Notification(this, TOperation::opRemove);
    }
}

void TComponent::SetName(std::string_view name) { name_ = name; }

TComponent* TComponent::FindComponent(std::string_view name) const
{
    if (name.empty()) return nullptr;
    for (TComponent* c : components_) {
        const std::string& n = c->Name();
        if (n.size() == name.size() &&
            std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return c;
    }
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component)
{
    Assert(component && component->owner_ == nullptr);
    components_.push_back(component);
    component->owner_ = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) return;
    Notification(component, TOperation::opRemove);
    components_.erase(it);
    component->owner_ = nullptr;
}

void TComponent::DestroyComponents()
{
    while (!components_.empty()) {
        TComponent* last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;
        Notification(last, TOperation::opRemove);
        delete last;
    }
}

void TComponent::FreeNotification(TComponent* other)
{
    if (!other || other == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
        freeNotifies_.push_back(other);
    if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) == other->freeNotifies_.end())
        other->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other)
{
    if (!other) return;
    RemoveNotification(other);
    other->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* other)
{
    auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), other);
    if (it != freeNotifies_.end()) freeNotifies_.erase(it);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::SetParentComponent(TComponent*) {}

}  // namespace sauno
