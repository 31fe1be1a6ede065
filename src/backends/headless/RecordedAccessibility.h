// The headless backend's accessibility service: keeps the tree each window
// published and every change the core announced, for tests to read.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/Accessibility.h"

namespace velmora::headless {

struct AccessibilityEvent {
    enum class Kind { Changed, Removed };
    Kind kind = Kind::Changed;
    platform::AccessibleChange change = platform::AccessibleChange::States;
    const platform::IAccessibleNode* node = nullptr;
    // What the node said of itself when the change was announced.
    platform::AccessibleRole role = platform::AccessibleRole::None;
    std::string name;
    unsigned states = 0;
};

class RecordedAccessibility : public platform::IAccessibilityEvents {
public:
    void Publish(platform::WindowHandle window, platform::IAccessibleNode* root);
    // nullptr when the window published none (or withdrew it).
    platform::IAccessibleNode* Root(platform::WindowHandle window) const;

    void Changed(platform::IAccessibleNode& node, platform::AccessibleChange change) override;
    void Removed(platform::IAccessibleNode& node) override;

    const std::vector<AccessibilityEvent>& Events() const { return events_; }
    void ClearEvents() { events_.clear(); }

private:
    std::map<platform::WindowHandle, platform::IAccessibleNode*> roots_;
    std::vector<AccessibilityEvent> events_;
};

// Depth-first search by role and name; nullptr when there is none.
platform::IAccessibleNode* FindAccessible(platform::IAccessibleNode& from, platform::AccessibleRole role,
                                          const std::string& name);
// One line per node, indented by depth: role, quoted name, states, actions.
std::string DescribeAccessibleTree(const platform::IAccessibleNode& root);
std::string AccessibleRoleName(platform::AccessibleRole role);
std::string AccessibleStateNames(unsigned states);

}  // namespace velmora::headless
