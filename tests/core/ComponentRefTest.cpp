#include <gtest/gtest.h>

#include <memory>

#include "toolkit/core/ComponentRef.h"

namespace velmora {
namespace {

// Reads a reference to itself during its teardown, as a handler run from a
// destructor would; destruction begins, as in every toolkit class, first.
class TSelfWatcher : public Component {
public:
    explicit TSelfWatcher(Component* owner) : Component(owner), self_(this) {}
    ~TSelfWatcher() override {
        BeginDestruction();
        seenWhileGoing = static_cast<bool>(self_) || static_cast<bool>(ComponentRef<TSelfWatcher>(this));
    }
    static inline bool seenWhileGoing = true;

private:
    ComponentRef<TSelfWatcher> self_;
};

TEST(ComponentRef, TurnsNullWhenItsComponentGoesAndOnlyThen) {
    auto owner = std::make_unique<Component>(nullptr);
    auto* child = new Component(owner.get());
    const ComponentRef<Component> ref(child);
    const ComponentRef<Component> copy = ref;
    const ComponentRef<Component> empty;
    EXPECT_EQ(ref.Get(), child);
    EXPECT_FALSE(empty);
    owner.reset();  // frees the child
    EXPECT_EQ(ref.Get(), nullptr);
    EXPECT_EQ(copy.Get(), nullptr);
    // A new component at the same address is not the one referred to.
    auto* again = new Component(nullptr);
    EXPECT_EQ(ref.Get(), nullptr);
    delete again;
}

TEST(ComponentRef, IsNullAlreadyWhileItsComponentIsBeingDestroyed) {
    TSelfWatcher::seenWhileGoing = true;
    delete new TSelfWatcher(nullptr);
    EXPECT_FALSE(TSelfWatcher::seenWhileGoing);
}

}  // namespace
}  // namespace velmora
