#include "toolkit/controls/ControlAccessibility.h"

#include <cmath>

#include "platform/Platform.h"
#include "toolkit/controls/Button.h"
#include "toolkit/controls/Control.h"
#include "toolkit/controls/TabControl.h"
#include "toolkit/controls/TabItem.h"
#include "toolkit/controls/TabItemContent.h"
#include "toolkit/controls/TabStrip.h"
#include "toolkit/controls/WebBrowser.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/controls/WindowClientArea.h"

namespace velmora {

using platform::AccessibleRole;

platform::IAccessibilityEvents* AccessibilityListener() {
    platform::Platform* p = platform::CurrentPlatformOrNull();
    return p ? p->AccessibilityEvents() : nullptr;
}

// ---------------------------------------------------------------- the node

ControlAccessible::ControlAccessible(TControl& control) : control_(control) {}

ControlAccessible::~ControlAccessible() {
    *alive_ = false;
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
    std::weak_ptr<bool> alive = alive_;
    TControl* control = &control_;
    p->PostCallback([alive, control, index] {
        if (alive.lock()) control->DoAccessibleAction(index);
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

// ---------------------------------------------------------------- TControl

platform::IAccessibleNode& TControl::Accessible() {
    if (!accessible_) accessible_ = std::make_unique<ControlAccessible>(*this);
    return *accessible_;
}

void TControl::ReleaseAccessible() { accessible_.reset(); }

void TControl::AnnounceAccessible(platform::AccessibleChange change) {
    if (IsDestroying()) return;
    platform::IAccessibilityEvents* listener = AccessibilityListener();
    if (!listener) return;
    if (AccessibleRole() != AccessibleRole::None) {
        listener->Changed(Accessible(), change);
        return;
    }
    // A see-through control's children belong to the nearest described ancestor.
    if (change != platform::AccessibleChange::Children) return;
    for (TControl* p = AccessibleParentControl(); p; p = p->AccessibleParentControl())
        if (p->AccessibleRole() != AccessibleRole::None) {
            p->AnnounceAccessible(change);
            return;
        }
}

void TControl::AnnounceTreeNotification(void (TControl::*notification)()) {
    if (notification == &TControl::AbsoluteChanged)
        AnnounceAccessible(platform::AccessibleChange::Bounds);
    else if (notification == &TControl::VisibilityChanged)
        AnnounceAccessible(platform::AccessibleChange::States);
}

platform::AccessibleRole TControl::AccessibleRole() const { return AccessibleRole::None; }
std::string TControl::AccessibleName() const { return {}; }

unsigned TControl::AccessibleStates() const {
    unsigned states = platform::AccessibleEnabled;
    if (Visible()) states |= platform::AccessibleVisible;
    IWindowRoot* window = Root();
    if (IsVisibleInTree() && window && window->WindowShown()) states |= platform::AccessibleShowing;
    if (CanFocus()) states |= platform::AccessibleFocusable;
    if (window && IsFocused()) states |= platform::AccessibleFocused;
    return states;
}

std::vector<std::string> TControl::AccessibleActions() const { return {}; }
void TControl::DoAccessibleAction(int index) { (void)index; }
std::vector<TControl*> TControl::AccessibleChildren() const { return Controls(); }
TControl* TControl::AccessibleParentControl() const { return ParentControl(); }

// ---------------------------------------------------------------- controls

platform::AccessibleRole TButton::AccessibleRole() const { return AccessibleRole::PushButton; }
std::string TButton::AccessibleName() const { return Text(); }
std::vector<std::string> TButton::AccessibleActions() const { return {"press"}; }
void TButton::DoAccessibleAction(int index) {
    if (index == 0) Click();
}

platform::AccessibleRole TTabControl::AccessibleRole() const { return AccessibleRole::PageTabList; }
// The headers only: each page's content is reached through its header.
std::vector<TControl*> TTabControl::AccessibleChildren() const { return {strip_.get()}; }

platform::AccessibleRole TTabItem::AccessibleRole() const { return AccessibleRole::PageTab; }
std::string TTabItem::AccessibleName() const { return Text(); }
unsigned TTabItem::AccessibleStates() const {
    unsigned states = TControl::AccessibleStates() | platform::AccessibleSelectable;
    if (IsSelected()) states |= platform::AccessibleSelected;
    return states;
}
std::vector<std::string> TTabItem::AccessibleActions() const { return {"click"}; }
void TTabItem::DoAccessibleAction(int index) {
    if (index != 0) return;
    // Exactly what a left press on the header does.
    if (TTabControl* tabControl = TabControl()) tabControl->HeaderPressed(*this);
}
std::vector<TControl*> TTabItem::AccessibleChildren() const { return {content_.get()}; }

platform::AccessibleRole TTabItemContent::AccessibleRole() const { return AccessibleRole::Panel; }
TControl* TTabItemContent::AccessibleParentControl() const { return &page_; }

platform::AccessibleRole TWebBrowser::AccessibleRole() const { return AccessibleRole::Embedded; }
platform::WindowHandle TWebBrowser::AccessibleEmbeddedWindow() const {
    return binding_ ? binding_->Display() : 0;
}

platform::AccessibleRole TWindowClientArea::AccessibleRole() const { return AccessibleRole::Frame; }
std::string TWindowClientArea::AccessibleName() const { return window_.WindowCaption(); }
unsigned TWindowClientArea::AccessibleStates() const {
    unsigned states = platform::AccessibleEnabled;
    if (window_.WindowShown()) states |= platform::AccessibleVisible | platform::AccessibleShowing;
    if (window_.WindowActive()) states |= platform::AccessibleFocused;
    return states;
}

}  // namespace velmora
