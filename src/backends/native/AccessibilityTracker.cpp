#include "AccessibilityTracker.h"

namespace velmora::platform {





void AccessibilityTracker::Publish(WindowHandle window, IAccessibleNode* root) {
    if (RootOf(window) == root) return;
    TreeChanging(window);
    if (root)
        roots_[window] = root;
    else
        roots_.erase(window);
    TreeChanged(window);
}

void AccessibilityTracker::Forget(WindowHandle window) { roots_.erase(window); }

IAccessibleNode* AccessibilityTracker::RootOf(WindowHandle window) const {
    auto it = roots_.find(window);
    return it == roots_.end() ? nullptr : it->second;
}

IAccessibleNode* AccessibilityTracker::TopOf(IAccessibleNode* node) {
    while (node && node->Parent()) node = node->Parent();
    return node;
}

WindowHandle AccessibilityTracker::WindowOf(const IAccessibleNode* node) const {
    const IAccessibleNode* top = TopOf(const_cast<IAccessibleNode*>(node));
    if (!top) return 0;
    for (const auto& [window, root] : roots_)
        if (root == top) return window;
    return 0;
}

long AccessibilityTracker::Remember(IAccessibleNode& node) {
    Known& known = known_[&node];
    if (known.id == 0) {
        known.id = nextId_++;
        known.states = node.States();
        byId_[known.id] = &node;
    }
    return known.id;
}

IAccessibleNode* AccessibilityTracker::NodeById(WindowHandle window, long id) const {
    auto it = byId_.find(id);
    if (it == byId_.end() || WindowOf(it->second) != window) return nullptr;
    return it->second;
}

void AccessibilityTracker::Changed(IAccessibleNode& node, AccessibleChange change) {
    if (roots_.empty() || !WindowOf(&node)) return;
    const bool seen = Knows(&node);
    switch (change) {
    case AccessibleChange::Name:
        if (seen) NameChanged(node);
        break;
    case AccessibleChange::Bounds:
        if (seen) BoundsChanged(node);
        break;
    case AccessibleChange::Children:
        if (seen) ChildrenChanged(node);
        break;
    case AccessibleChange::States: {
        const unsigned now = node.States();
        if (!seen && !(now & (platform::AccessibleFocused | platform::AccessibleSelected))) break;
        Remember(node);
        Known& known = known_[&node];
        const unsigned before = seen ? known.states : 0;
        known.states = now;
        if (before != now) StatesChanged(node, before, now);
        break;
    }
    }
}

void AccessibilityTracker::Removed(IAccessibleNode& node) {
    for (auto it = roots_.begin(); it != roots_.end();)
        it = it->second == &node ? roots_.erase(it) : std::next(it);
    auto it = known_.find(&node);
    if (it == known_.end()) return;
    Forgotten(node);
    byId_.erase(it->second.id);
    known_.erase(it);
}

}  // namespace velmora::platform
