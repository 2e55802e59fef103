#include "engine/behaviours.h"

#include <algorithm>

#include "platform/exception.h"

namespace sauno {

TBaseBehaviour::TBaseBehaviour(TBehaviours& owner) : owner_(&owner)
{
    owner.items_.push_back(this);
}

TBaseBehaviour::~TBaseBehaviour()
{
    if (owner_ && !owner_->destroying_) {
        auto& items = owner_->items_;
        items.erase(std::remove(items.begin(), items.end(), this), items.end());
    }
}

TBaseSceneObject* TBaseBehaviour::OwnerBaseSceneObject() const { return owner_ ? &owner_->Owner() : nullptr; }

void TBaseBehaviour::DoProgress(const ProgressTimes&) {}

TBehaviours::~TBehaviours()
{
    destroying_ = true;
    // Each item is detached first, so that it does not try to leave a list that is going away.
    for (TBaseBehaviour* item : items_) {
        item->owner_ = nullptr;
        delete item;
    }
    items_.clear();
}

void TBehaviours::RefuseSecondItem() { throw Exception("This behaviour may stand only once on an object"); }

void TBehaviours::DoProgress(const ProgressTimes& times)
{
    // By index: a behaviour's progress may add another one to the list.
    for (size_t i = 0; i < items_.size(); ++i) items_[i]->DoProgress(times);
}

void TBehaviours::Loaded()
{
    for (size_t i = 0; i < items_.size(); ++i) items_[i]->Loaded();
}

}  // namespace sauno
