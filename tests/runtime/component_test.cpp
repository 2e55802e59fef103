#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/component.h"

using namespace sauno;

namespace {

std::vector<std::string> destroyed;

class Node : public TComponent {
public:
    Node(TComponent* owner, std::string name) : TComponent(owner) { SetName(name); }
    ~Node() override { destroyed.push_back(Name()); }
    TComponent* Watched = nullptr;
    int removals = 0;

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        if (operation == TOperation::opRemove && component == Watched) {
            Watched = nullptr;
            ++removals;
        }
    }
};

}  // namespace

TEST(Components, OwnerDestroysWhatItOwnsLastCreatedFirst)
{
    destroyed.clear();
    {
        Node owner(nullptr, "owner");
        new Node(&owner, "a");
        auto* b = new Node(&owner, "b");
        new Node(b, "b1");
        new Node(&owner, "c");
        EXPECT_EQ(owner.ComponentCount(), 3);
    }
    // The owner's own destructor body runs first; then its components go, last created first.
    EXPECT_EQ(destroyed, (std::vector<std::string>{"owner", "c", "b", "b1", "a"}));
}

TEST(Components, AComponentFreedEarlyLeavesItsOwner)
{
    Node owner(nullptr, "owner");
    auto* a = new Node(&owner, "a");
    new Node(&owner, "b");
    delete a;
    ASSERT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0)->Name(), "b");
    EXPECT_EQ(owner.FindComponent("a"), nullptr);
}

TEST(Components, FreeNotificationTellsTheWatcherOnce)
{
    Node owner(nullptr, "owner");
    auto* watcher = new Node(&owner, "watcher");
    auto* watched = new Node(&owner, "watched");
    watcher->Watched = watched;
    watcher->FreeNotification(watched);
    watcher->FreeNotification(watched);  // asking twice is one request
    delete watched;
    EXPECT_EQ(watcher->Watched, nullptr);
    EXPECT_EQ(watcher->removals, 1);

    // A withdrawn request is not answered.
    auto* other = new Node(&owner, "other");
    watcher->Watched = other;
    watcher->FreeNotification(other);
    watcher->RemoveFreeNotification(other);
    delete other;
    EXPECT_EQ(watcher->removals, 1);
}

TEST(Components, WatcherDestroyedFirstIsForgotten)
{
    Node owner(nullptr, "owner");
    auto* watcher = new Node(&owner, "watcher");
    auto* watched = new Node(&owner, "watched");
    watcher->FreeNotification(watched);
    delete watcher;  // must not be told later, after it is gone
    delete watched;
    EXPECT_EQ(owner.ComponentCount(), 0);
}
