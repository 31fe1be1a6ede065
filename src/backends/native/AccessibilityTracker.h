// What every accessibility bridge keeps of the published trees, and the one
// set of rules for what it tells assistive technology. A bridge derives from
// this, translates the hooks below into its system's events and objects, and
// calls nothing of the core itself.
//
// Rules:
// - Each window publishes at most one tree; a node belongs to the window
//   whose tree holds it, found by walking its parents to the root.
// - A node is known once the bridge handed a client an object for it
//   (Remember) or an announcement named it. A known node keeps a number,
//   unique in the process and never reused, and its last states.
// - A changed name, place or set of children is told only for known nodes:
//   a client cannot hold anything that would be stale.
// - A state change is told as the old and new states. For a node nobody
//   knows yet, it is told only when the node becomes focused or selected
//   (a screen reader follows those without having walked there), and then
//   as a change from no states at all.
// - A node the core removes is forgotten: the bridge disconnects whatever
//   object stands for it, and its number is never resolved again.
#pragma once

#include <map>
#include <unordered_map>

#include "platform/Accessibility.h"

namespace velmora::platform {

class AccessibilityTracker : public platform::IAccessibilityEvents {
public:
    AccessibilityTracker() = default;
    AccessibilityTracker(const AccessibilityTracker&) = delete;
    AccessibilityTracker& operator=(const AccessibilityTracker&) = delete;

    // root nullptr withdraws the window's tree. Publishing the same root
    // again changes nothing.
    void Publish(platform::WindowHandle window, platform::IAccessibleNode* root);
    // The window is gone: its tree goes with it, without announcements.
    void Forget(platform::WindowHandle window);

    platform::IAccessibleNode* RootOf(platform::WindowHandle window) const;
    // The window whose published tree holds node; 0 when none does.
    platform::WindowHandle WindowOf(const platform::IAccessibleNode* node) const;
    bool Knows(const platform::IAccessibleNode* node) const { return known_.count(node) != 0; }
    // Makes the node known and returns its number.
    long Remember(platform::IAccessibleNode& node);
    // The known node numbered id inside window's tree, or nullptr.
    platform::IAccessibleNode* NodeById(platform::WindowHandle window, long id) const;

    void Changed(platform::IAccessibleNode& node, platform::AccessibleChange change) final;
    void Removed(platform::IAccessibleNode& node) final;

    static platform::IAccessibleNode* TopOf(platform::IAccessibleNode* node);

protected:
    ~AccessibilityTracker() override = default;

    // Around a change of a window's root: the bridge may compare what a
    // client saw before and after.
    virtual void TreeChanging(platform::WindowHandle window) = 0;
    virtual void TreeChanged(platform::WindowHandle window) = 0;
    virtual void NameChanged(platform::IAccessibleNode& node) = 0;
    virtual void BoundsChanged(platform::IAccessibleNode& node) = 0;
    virtual void ChildrenChanged(platform::IAccessibleNode& node) = 0;
    // before != now.
    virtual void StatesChanged(platform::IAccessibleNode& node, unsigned before, unsigned now) = 0;
    // A known node is being destroyed; after this it is no longer known.
    virtual void Forgotten(platform::IAccessibleNode& node) = 0;

private:
    struct Known {
        long id = 0;
        unsigned states = 0;
    };

    std::map<platform::WindowHandle, platform::IAccessibleNode*> roots_;
    std::unordered_map<const platform::IAccessibleNode*, Known> known_;
    std::unordered_map<long, platform::IAccessibleNode*> byId_;
    long nextId_ = 1;
};

}  // namespace velmora::platform
