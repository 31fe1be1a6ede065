#include "toolkit/controls/ControlAccessibility.h"

#include <cmath>

#include "platform/Platform.h"
#include "toolkit/controls/Control.h"
#include "toolkit/controls/WindowRoot.h"
#include "toolkit/core/ComponentRef.h"

namespace velmora {

using platform::AccessibleRole;

platform::IAccessibilityEvents* AccessibilityListener() {
    platform::Platform* p = platform::CurrentPlatformOrNull();
    return p ? p->AccessibilityEvents() : nullptr;
}

ControlAccessible::ControlAccessible(TControl& control) : control_(control) {}

ControlAccessible::~ControlAccessible() {
    if (platform::IAccessibilityEvents* listener = AccessibilityListener()) listener->Removed(*this);
}

AccessibleRole ControlAccessible::Role() const { return control_.AccessibleRole(); }
std::string ControlAccessible::Name() const { return control_.AccessibleName(); }
unsigned ControlAccessible::States() const { return control_.AccessibleStates(); }
std::vector<std::string> ControlAccessible::Actions() const { return control_.AccessibleActions(); }
platform::WindowHandle ControlAccessible::EmbeddedWindow() const { return control_.AccessibleEmbeddedWindow(); }

platform::RectI ControlAccessible::Bounds() const {
    IWindowRoot* window = control_.Root();
    const float scale = window ? window->Scale() : 1.0f;
    const RectF r = control_.AbsoluteRect();
    auto px = [scale](float v) { return static_cast<int>(std::lround(v * scale)); };
    return {px(r.left), px(r.top), px(r.right), px(r.bottom)};
}

bool ControlAccessible::DoAction(int index) {
    if (index < 0 || index >= static_cast<int>(Actions().size())) return false;
    platform::Platform* p = platform::CurrentPlatformOrNull();
    if (!p) return false;
    // Through the queue: a handler may run a slide that dispatches events for
    // a while, and its errors belong to the event loop's policy.
    p->PostCallback([control = ComponentRef<TControl>(&control_), index] {
        if (control) control->DoAccessibleAction(index);
    });
    return true;
}

bool ControlAccessible::GrabFocus() {
    if (!control_.CanFocus() || !control_.IsVisibleInTree() || !control_.Root()) return false;
    control_.SetFocus();
    return control_.IsFocused();
}

platform::IAccessibleNode* ControlAccessible::Parent() const {
    for (TControl* p = control_.AccessibleParentControl(); p; p = p->AccessibleParentControl())
        if (p->AccessibleRole() != AccessibleRole::None) return &p->Accessible();
    return nullptr;
}

namespace {
void CollectAccessibleChildren(const TControl& control, std::vector<platform::IAccessibleNode*>& out) {
    for (TControl* child : control.AccessibleChildren()) {
        if (child->AccessibleRole() == AccessibleRole::None)
            CollectAccessibleChildren(*child, out);
        else
            out.push_back(&child->Accessible());
    }
}
}  // namespace

std::vector<platform::IAccessibleNode*> ControlAccessible::Children() const {
    std::vector<platform::IAccessibleNode*> out;
    CollectAccessibleChildren(control_, out);
    return out;
}

}  // namespace velmora
