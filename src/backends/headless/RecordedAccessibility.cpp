#include "RecordedAccessibility.h"

namespace velmora::headless {

using platform::AccessibleRole;

void RecordedAccessibility::Publish(platform::WindowHandle window, platform::IAccessibleNode* root) {
    if (root)
        roots_[window] = root;
    else
        roots_.erase(window);
}

platform::IAccessibleNode* RecordedAccessibility::Root(platform::WindowHandle window) const {
    auto it = roots_.find(window);
    return it == roots_.end() ? nullptr : it->second;
}

void RecordedAccessibility::Changed(platform::IAccessibleNode& node, platform::AccessibleChange change) {
    events_.push_back({AccessibilityEvent::Kind::Changed, change, &node, node.Role(), node.Name(), node.States()});
}

void RecordedAccessibility::Removed(platform::IAccessibleNode& node) {
    // The node is half gone: only its address is safe.
    AccessibilityEvent event;
    event.kind = AccessibilityEvent::Kind::Removed;
    event.node = &node;
    events_.push_back(event);
    for (auto it = roots_.begin(); it != roots_.end();)
        it = it->second == &node ? roots_.erase(it) : std::next(it);
}

platform::IAccessibleNode* FindAccessible(platform::IAccessibleNode& from, AccessibleRole role,
                                          const std::string& name) {
    if (from.Role() == role && from.Name() == name) return &from;
    for (platform::IAccessibleNode* child : from.Children())
        if (platform::IAccessibleNode* found = FindAccessible(*child, role, name)) return found;
    return nullptr;
}

std::string AccessibleRoleName(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::None: return "none";
    case AccessibleRole::Frame: return "frame";
    case AccessibleRole::PageTabList: return "page tab list";
    case AccessibleRole::PageTab: return "page tab";
    case AccessibleRole::Panel: return "panel";
    case AccessibleRole::PushButton: return "push button";
    case AccessibleRole::Embedded: return "embedded";
    }
    return "?";
}

std::string AccessibleStateNames(unsigned states) {
    static const std::pair<unsigned, const char*> names[] = {
        {platform::AccessibleEnabled, "enabled"},       {platform::AccessibleFocusable, "focusable"},
        {platform::AccessibleFocused, "focused"},       {platform::AccessibleSelectable, "selectable"},
        {platform::AccessibleSelected, "selected"},     {platform::AccessibleVisible, "visible"},
        {platform::AccessibleShowing, "showing"},
    };
    std::string out;
    for (const auto& [bit, name] : names)
        if (states & bit) out += (out.empty() ? "" : " ") + std::string(name);
    return out;
}

namespace {
void Describe(const platform::IAccessibleNode& node, int depth, std::string& out) {
    out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + AccessibleRoleName(node.Role());
    if (!node.Name().empty()) out += " \"" + node.Name() + "\"";
    out += " [" + AccessibleStateNames(node.States()) + "]";
    for (const std::string& action : node.Actions()) out += " <" + action + ">";
    out += "\n";
    for (const platform::IAccessibleNode* child : node.Children()) Describe(*child, depth + 1, out);
}
}  // namespace

std::string DescribeAccessibleTree(const platform::IAccessibleNode& root) {
    std::string out;
    Describe(root, 0, out);
    return out;
}

}  // namespace velmora::headless
