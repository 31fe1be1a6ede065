// The accessibility rules shared by every bridge, driven through a fake one
// that writes each hook down.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/native/AccessibilityTracker.h"

namespace velmora::testing {
namespace {

using platform::AccessibleChange;
using platform::AccessibleRole;
using platform::IAccessibleNode;

constexpr unsigned kShown = platform::AccessibleVisible | platform::AccessibleShowing;
constexpr unsigned kFocused = platform::AccessibleFocused;
constexpr unsigned kSelected = platform::AccessibleSelected;

class FakeNode final : public IAccessibleNode {
public:
    explicit FakeNode(std::string name, FakeNode* parent = nullptr) : name_(std::move(name)), parent_(parent) {
        if (parent) parent->children_.push_back(this);
    }
    AccessibleRole Role() const override { return AccessibleRole::PushButton; }
    std::string Name() const override { return name_; }
    unsigned States() const override { return states; }
    platform::RectI Bounds() const override { return {}; }
    std::vector<std::string> Actions() const override { return {}; }
    bool DoAction(int) override { return false; }
    bool GrabFocus() override { return false; }
    IAccessibleNode* Parent() const override { return parent_; }
    std::vector<IAccessibleNode*> Children() const override { return children_; }

    unsigned states = kShown;

private:
    std::string name_;
    FakeNode* parent_;
    std::vector<IAccessibleNode*> children_;
};

class RecordingBridge final : public platform::AccessibilityTracker {
public:
    std::vector<std::string> told;

protected:
    void TreeChanging(platform::WindowHandle w) override { told.push_back("tree changing " + std::to_string(w)); }
    void TreeChanged(platform::WindowHandle w) override { told.push_back("tree changed " + std::to_string(w)); }
    void NameChanged(IAccessibleNode& n) override { told.push_back("name " + n.Name()); }
    void BoundsChanged(IAccessibleNode& n) override { told.push_back("bounds " + n.Name()); }
    void ChildrenChanged(IAccessibleNode& n) override { told.push_back("children " + n.Name()); }
    void StatesChanged(IAccessibleNode& n, unsigned before, unsigned now) override {
        told.push_back("states " + n.Name() + " " + std::to_string(before) + "->" + std::to_string(now));
    }
    void Forgotten(IAccessibleNode& n) override { told.push_back("forgotten " + n.Name()); }
};

struct Tree {
    FakeNode root{"root"};
    FakeNode list{"list", &root};
    FakeNode button{"button", &list};
};

std::string States(unsigned before, unsigned now) { return std::to_string(before) + "->" + std::to_string(now); }

TEST(AccessibilityTracker, WhatIsToldOfAChangeDependsOnWhetherAClientKnowsTheNode) {
    struct Case {
        const char* what;
        bool known;
        AccessibleChange change;
        unsigned statesThen;
        std::vector<std::string> told;
    };
    const std::vector<Case> cases = {
        {"name of a known node", true, AccessibleChange::Name, kShown, {"name button"}},
        {"name of an unseen node", false, AccessibleChange::Name, kShown, {}},
        {"place of a known node", true, AccessibleChange::Bounds, kShown, {"bounds button"}},
        {"place of an unseen node", false, AccessibleChange::Bounds, kShown, {}},
        {"children of a known node", true, AccessibleChange::Children, kShown, {"children button"}},
        {"children of an unseen node", false, AccessibleChange::Children, kShown, {}},
        {"focus on a known node", true, AccessibleChange::States, kShown | kFocused,
         {"states button " + States(kShown, kShown | kFocused)}},
        {"focus on an unseen node: from nothing", false, AccessibleChange::States, kShown | kFocused,
         {"states button " + States(0, kShown | kFocused)}},
        {"selection on an unseen node", false, AccessibleChange::States, kShown | kSelected,
         {"states button " + States(0, kShown | kSelected)}},
        {"hidden, unseen: nobody cares", false, AccessibleChange::States, 0, {}},
        {"hidden, known", true, AccessibleChange::States, 0, {"states button " + States(kShown, 0)}},
        {"states said changed but equal", true, AccessibleChange::States, kShown, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tree tree;
        RecordingBridge bridge;
        bridge.Publish(7, &tree.root);
        if (c.known) bridge.Remember(tree.button);
        bridge.told.clear();
        tree.button.states = c.statesThen;
        bridge.Changed(tree.button, c.change);
        EXPECT_EQ(bridge.told, c.told);
    }
}

TEST(AccessibilityTracker, NodesOutsideEveryPublishedTreeAreNeverTold) {
    Tree tree;
    RecordingBridge bridge;
    tree.button.states |= kFocused;
    bridge.Changed(tree.button, AccessibleChange::States);
    bridge.Publish(7, &tree.root);
    bridge.Publish(7, nullptr);
    bridge.told.clear();
    bridge.Changed(tree.button, AccessibleChange::States);
    bridge.Publish(8, &tree.root);
    bridge.Forget(8);
    bridge.Changed(tree.button, AccessibleChange::States);
    EXPECT_EQ(bridge.told, (std::vector<std::string>{"tree changing 8", "tree changed 8"}))
        << "a forgotten window's tree goes without a word";
    EXPECT_FALSE(bridge.Knows(&tree.button));
}

TEST(AccessibilityTracker, LastStatesAreKeptSoEachFlipIsToldOnce) {
    Tree tree;
    RecordingBridge bridge;
    bridge.Publish(7, &tree.root);
    tree.button.states = kShown | kFocused;
    bridge.Changed(tree.button, AccessibleChange::States);
    bridge.Changed(tree.button, AccessibleChange::States);
    tree.button.states = kShown;
    bridge.Changed(tree.button, AccessibleChange::States);
    EXPECT_EQ(bridge.told, (std::vector<std::string>{"tree changing 7", "tree changed 7",
                                                     "states button " + States(0, kShown | kFocused),
                                                     "states button " + States(kShown | kFocused, kShown)}));
}

TEST(AccessibilityTracker, WindowsRootsAndNumbersFollowThePublishedTrees) {
    Tree first;
    Tree second;
    RecordingBridge bridge;
    bridge.Publish(7, &first.root);
    bridge.Publish(7, &first.root);  // the same again: nothing to tell
    bridge.Publish(9, &second.root);
    EXPECT_EQ(bridge.told, (std::vector<std::string>{"tree changing 7", "tree changed 7", "tree changing 9",
                                                     "tree changed 9"}));
    EXPECT_EQ(bridge.WindowOf(&first.button), 7u);
    EXPECT_EQ(bridge.WindowOf(&second.button), 9u);
    EXPECT_EQ(bridge.RootOf(9), &second.root);

    const long id = bridge.Remember(first.button);
    EXPECT_EQ(bridge.Remember(first.button), id);
    EXPECT_NE(bridge.Remember(second.button), id);
    EXPECT_EQ(bridge.NodeById(7, id), &first.button);
    EXPECT_EQ(bridge.NodeById(9, id), nullptr) << "a number resolves only inside its own window";

    // A removed node is forgotten once and its number is never resolved
    // again, nor given to another node.
    bridge.told.clear();
    bridge.Removed(first.button);
    bridge.Removed(first.list);  // never known: nothing to tell
    EXPECT_EQ(bridge.told, std::vector<std::string>{"forgotten button"});
    EXPECT_EQ(bridge.NodeById(7, id), nullptr);
    EXPECT_NE(bridge.Remember(first.list), id);

    // A removed root takes its window's tree with it.
    bridge.Removed(second.root);
    EXPECT_EQ(bridge.RootOf(9), nullptr);
    EXPECT_EQ(bridge.WindowOf(&second.button), 0u);
}

}  // namespace
}  // namespace velmora::testing
