#include "Control.h"

#include <algorithm>
#include <cmath>

#include "toolkit/controls/ControlAccessibility.h"
#include "base/Exceptions.h"
#include "platform/Platform.h"
#include "toolkit/controls/WindowClientArea.h"

namespace velmora {

const EnumInfo AlignLayoutEnum{
    "TAlignLayout",
    {"None", "Top", "Left", "Right", "Bottom", "MostTop", "MostBottom", "MostLeft", "MostRight", "Client",
     "Contents", "Center", "VertCenter", "HorzCenter", "Horizontal", "Vertical", "Scale", "Fit", "FitLeft",
     "FitRight"}};

// --- sub-objects -------------------------------------------------------------

const ClassInfo& TBounds::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TBounds",
        .parent = &Persistent::StaticClassInfo(),
        .properties = {prop::Float("Left", &TBounds::SetLeft), prop::Float("Top", &TBounds::SetTop),
                       prop::Float("Right", &TBounds::SetRight), prop::Float("Bottom", &TBounds::SetBottom)}};
    return info;
}

const ClassInfo& TPosition::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TPosition",
        .parent = &Persistent::StaticClassInfo(),
        .properties = {prop::Float("X", &TPosition::SetX), prop::Float("Y", &TPosition::SetY)}};
    return info;
}

void TPosition::SetX(float v) {
    if (x_ == v) return;
    x_ = v;
    if (OnChange) OnChange();
}

void TPosition::SetY(float v) {
    if (y_ == v) return;
    y_ = v;
    if (OnChange) OnChange();
}

void TPosition::SetPoint(PointF p) {
    if (x_ == p.x && y_ == p.y) return;
    x_ = p.x;
    y_ = p.y;
    if (OnChange) OnChange();
}

const ClassInfo& TControlSize::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TControlSize",
        .parent = &Persistent::StaticClassInfo(),
        .properties = {prop::Float("Width", &TControlSize::SetWidth), prop::Float("Height", &TControlSize::SetHeight),
                       prop::Boolean("PlatformDefault", &TControlSize::SetPlatformDefault)}};
    return info;
}

void TControlSize::SetWidth(float v) {
    if (v < 0) v = 0;
    if (width_ == v) return;
    width_ = v;
    if (OnChange) OnChange();
}

void TControlSize::SetHeight(float v) {
    if (v < 0) v = 0;
    if (height_ == v) return;
    height_ = v;
    if (OnChange) OnChange();
}

void TControlSize::SetPlatformDefault(bool v) { platformDefault_ = v; }

// --- TControl ----------------------------------------------------------------

const ClassInfo& TControl::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TControl",
        .parent = &Component::StaticClassInfo(),
        .isComponent = true,
        .properties = {
            prop::Enum("Align", AlignLayoutEnum, &TControl::SetAlign),
            prop::Object("Position", &TControl::Position),
            prop::Object("Size", &TControl::Size),
            prop::Object("Margins", &TControl::Margins),
            prop::Object("Padding", &TControl::Padding),
            prop::Boolean("Visible", &TControl::SetVisible),
            prop::Integer("TabOrder", &TControl::SetTabOrder),
            prop::Boolean("TabStop", &TControl::SetTabStop),
            prop::Boolean("HitTest", &TControl::SetHitTest),
            prop::Boolean("ClipChildren", &TControl::SetClipChildren),
        }};
    return info;
}

TControl::TControl(Component* owner) : Component(owner) {
    position_.OnChange = [this] {
        if (!inSetBounds_) PositionChanged();
    };
    size_.OnChange = [this] {
        if (!inSetBounds_) SizeChanged();
    };
    margins_.OnChange = [this] { ParentRealignIfAligned(); };
    padding_.OnChange = [this] { Realign(); };
}

TControl::~TControl() {
    BeginDestruction();
    ReleaseAccessible();
    if (IWindowRoot* window = Root()) window->ControlRemoved(this);
    for (TControl* child : children_) child->parent_ = nullptr;
    children_.clear();
    if (parent_) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        TControl* oldParent = parent_;
        parent_ = nullptr;
        if (align_ != TAlignLayout::None && !oldParent->IsDestroying()) oldParent->Realign();
        oldParent->Repaint();
        oldParent->AnnounceAccessible(platform::AccessibleChange::Children);
    }
}

IWindowRoot* TControl::Root() const {
    const TControl* top = this;
    while (top->parent_) top = top->parent_;
    if (auto* area = dynamic_cast<const TWindowClientArea*>(top)) return &area->Window();
    return nullptr;
}

void TControl::SetParent(TControl* parent) {
    TControl* target = parent ? parent->ContainerFor(this) : nullptr;
    if (target == parent_) return;
    TControl* const formerParent = parent_;
    for (TControl* p = target; p; p = p->parent_)
        if (p == this) throw EInvalidOperation("A control cannot be its own parent");

    if (parent_) {
        if (IWindowRoot* oldWindow = Root()) oldWindow->ControlRemoved(this);
        TControl* oldParent = parent_;
        auto& siblings = oldParent->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        parent_ = nullptr;
        if (align_ != TAlignLayout::None) oldParent->Realign();
        oldParent->Repaint();
    }
    if (target) {
        parent_ = target;
        target->children_.push_back(this);
        ParentRealignIfAligned();
    }
    ParentChanged();
    NotifyTree(&TControl::AbsoluteChanged);
    NotifyTree(&TControl::VisibilityChanged);
    Repaint();
    if (formerParent) formerParent->AnnounceAccessible(platform::AccessibleChange::Children);
    if (target) target->AnnounceAccessible(platform::AccessibleChange::Children);
}

void TControl::SetParentComponent(Component* parent) {
    if (auto* control = dynamic_cast<TControl*>(parent)) {
        SetParent(control);
    } else if (auto* window = dynamic_cast<IWindowRoot*>(parent)) {
        SetParent(&window->ClientArea());
    } else {
        SetParent(nullptr);
    }
}

void TControl::SetChildOrder(int order) {
    if (!parent_) return;
    auto& siblings = parent_->children_;
    auto it = std::find(siblings.begin(), siblings.end(), this);
    if (it == siblings.end()) return;
    siblings.erase(it);
    int count = static_cast<int>(siblings.size());
    order = std::clamp(order, 0, count);
    siblings.insert(siblings.begin() + order, this);
    ParentRealignIfAligned();
    // The stacking among siblings changed: native overlays follow it.
    NotifyTree(&TControl::AbsoluteChanged);
    parent_->Repaint();
}

// --- geometry ------------------------------------------------------------

void TControl::SetBounds(float x, float y, float width, float height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    bool moved = position_.X() != x || position_.Y() != y;
    bool resized = size_.Width() != width || size_.Height() != height;
    if (!moved && !resized) return;
    inSetBounds_ = true;
    position_.SetPoint({x, y});
    size_.SetWidth(width);
    size_.SetHeight(height);
    inSetBounds_ = false;
    if (resized) {
        SizeChanged();
    } else {
        PositionChanged();
    }
}

RectF TControl::BoundsRect() const {
    return {position_.X(), position_.Y(), position_.X() + size_.Width(), position_.Y() + size_.Height()};
}

PointF TControl::LocalToAbsolute(PointF p) const {
    for (const TControl* c = this; c; c = c->parent_) {
        p.x += c->position_.X();
        p.y += c->position_.Y();
    }
    return p;
}

PointF TControl::AbsoluteToLocal(PointF p) const {
    PointF origin = LocalToAbsolute({0, 0});
    return {p.x - origin.x, p.y - origin.y};
}

RectF TControl::AbsoluteRect() const {
    PointF origin = LocalToAbsolute({0, 0});
    return {origin.x, origin.y, origin.x + Width(), origin.y + Height()};
}

void TControl::PositionChanged() {
    ParentRealignIfAligned();
    NotifyTree(&TControl::AbsoluteChanged);
    if (parent_) parent_->Repaint();
}

void TControl::SizeChanged() {
    Resized();
    Realign();
    ParentRealignIfAligned();
    NotifyTree(&TControl::AbsoluteChanged);
    if (parent_) parent_->Repaint();
    Repaint();
}

void TControl::ParentRealignIfAligned() {
    if (parent_ && align_ != TAlignLayout::None) parent_->Realign();
}

void TControl::SetAlign(TAlignLayout align) {
    if (align_ == align) return;
    align_ = align;
    if (parent_) parent_->Realign();
}

void TControl::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    if (!visible) {
        // A hidden control must not keep receiving keys.
        if (IWindowRoot* window = Root()) window->ControlHidden(this);
    }
    ParentRealignIfAligned();
    NotifyTree(&TControl::VisibilityChanged);
    if (parent_) parent_->Repaint();
}

bool TControl::IsVisibleInTree() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

void TControl::SetTabOrder(int order) { tabOrder_ = order; }

void TControl::SetClipChildren(bool v) {
    if (clipChildren_ == v) return;
    clipChildren_ = v;
    Repaint();
}

bool TControl::IsFocused() const {
    IWindowRoot* window = Root();
    return window && window->Focused() == this;
}

void TControl::SetFocus() {
    IWindowRoot* window = Root();
    if (!window || !canFocus_ || !IsVisibleInTree()) return;
    window->SetFocused(this);
}

// --- layout ----------------------------------------------------------------

RectF TControl::ChildAlignArea() const {
    return {padding_.Left(), padding_.Top(), Width() - padding_.Right(), Height() - padding_.Bottom()};
}

namespace {

// Group of an alignment kind in the fixed order of the layout pass: the
// outermost edges, then the edges, then everything that takes what is left.
int AlignGroup(TAlignLayout a) {
    switch (a) {
    case TAlignLayout::MostTop:
    case TAlignLayout::MostBottom:
    case TAlignLayout::MostLeft:
    case TAlignLayout::MostRight: return 0;
    case TAlignLayout::Top:
    case TAlignLayout::Bottom:
    case TAlignLayout::Left:
    case TAlignLayout::Right: return 1;
    default: return 2;
    }
}

}  // namespace

void TControl::Realign() {
    if (realigning_ || IsLoading() || IsDestroying()) return;
    if (IWindowRoot* window = Root();
        window && (window->WindowComponent().IsLoading() || window->WindowComponent().IsDestroying()))
        return;
    if (children_.empty()) return;
    realigning_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{realigning_};

    const RectF full = ChildAlignArea();
    RectF area = full;

    auto place = [](TControl* c, float x, float y, float w, float h) {
        c->SetBounds(x + c->margins_.Left(), y + c->margins_.Top(),
                     std::max(0.0f, w - c->margins_.Left() - c->margins_.Right()),
                     std::max(0.0f, h - c->margins_.Top() - c->margins_.Bottom()));
    };
    auto outerHeight = [](TControl* c) { return c->Height() + c->margins_.Top() + c->margins_.Bottom(); };
    auto outerWidth = [](TControl* c) { return c->Width() + c->margins_.Left() + c->margins_.Right(); };

    // Controls of one kind are taken in order of their current edge; a stable
    // sort keeps the child order where edges are equal.
    auto alignKind = [&](TAlignLayout kind) {
        std::vector<TControl*> list;
        for (TControl* c : children_)
            if (c->visible_ && c->align_ == kind) list.push_back(c);
        if (list.empty()) return;
        switch (kind) {
        case TAlignLayout::Top:
        case TAlignLayout::MostTop:
            std::stable_sort(list.begin(), list.end(),
                             [](TControl* a, TControl* b) { return a->position_.Y() < b->position_.Y(); });
            for (TControl* c : list) {
                float h = outerHeight(c);
                place(c, area.left, area.top, area.Width(), h);
                area.top += h;
            }
            break;
        case TAlignLayout::Bottom:
        case TAlignLayout::MostBottom:
            std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) {
                return a->position_.Y() + a->Height() > b->position_.Y() + b->Height();
            });
            for (TControl* c : list) {
                float h = outerHeight(c);
                area.bottom -= h;
                place(c, area.left, area.bottom, area.Width(), h);
            }
            break;
        case TAlignLayout::Left:
        case TAlignLayout::MostLeft:
            std::stable_sort(list.begin(), list.end(),
                             [](TControl* a, TControl* b) { return a->position_.X() < b->position_.X(); });
            for (TControl* c : list) {
                float w = outerWidth(c);
                place(c, area.left, area.top, w, area.Height());
                area.left += w;
            }
            break;
        case TAlignLayout::Right:
        case TAlignLayout::MostRight:
            std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) {
                return a->position_.X() + a->Width() > b->position_.X() + b->Width();
            });
            for (TControl* c : list) {
                float w = outerWidth(c);
                area.right -= w;
                place(c, area.right, area.top, w, area.Height());
            }
            break;
        default: break;
        }
        if (area.bottom < area.top) area.bottom = area.top;
        if (area.right < area.left) area.right = area.left;
    };

    for (TAlignLayout kind : {TAlignLayout::MostTop, TAlignLayout::MostBottom, TAlignLayout::MostLeft,
                              TAlignLayout::MostRight, TAlignLayout::Top, TAlignLayout::Bottom, TAlignLayout::Left,
                              TAlignLayout::Right})
        alignKind(kind);

    // What is left after the edges: Client fills it, the centring kinds keep
    // their own size inside it.
    for (TControl* c : children_) {
        if (!c->visible_ || AlignGroup(c->align_) != 2) continue;
        const float w = outerWidth(c), h = outerHeight(c);
        switch (c->align_) {
        case TAlignLayout::Client: place(c, area.left, area.top, area.Width(), area.Height()); break;
        case TAlignLayout::Contents: place(c, 0, 0, Width(), Height()); break;
        case TAlignLayout::Center:
            place(c, area.left + (area.Width() - w) / 2, area.top + (area.Height() - h) / 2, w, h);
            break;
        case TAlignLayout::VertCenter: place(c, area.left, area.top + (area.Height() - h) / 2, area.Width(), h); break;
        case TAlignLayout::HorzCenter: place(c, area.left + (area.Width() - w) / 2, area.top, w, area.Height()); break;
        case TAlignLayout::Horizontal:
            place(c, area.left, c->position_.Y() - c->margins_.Top(), area.Width(), h);
            break;
        case TAlignLayout::Vertical:
            place(c, c->position_.X() - c->margins_.Left(), area.top, w, area.Height());
            break;
        case TAlignLayout::Fit:
        case TAlignLayout::FitLeft:
        case TAlignLayout::FitRight: {
            if (w <= 0 || h <= 0) break;
            float ratio = std::min(area.Width() / w, area.Height() / h);
            float fw = w * ratio, fh = h * ratio;
            float x = area.left;
            if (c->align_ == TAlignLayout::Fit) x += (area.Width() - fw) / 2;
            if (c->align_ == TAlignLayout::FitRight) x = area.right - fw;
            place(c, x, area.top + (area.Height() - fh) / 2, fw, fh);
            break;
        }
        default: break;  // None and Scale keep their own bounds
        }
    }
}

void TControl::Loaded() {
    Component::Loaded();
    Realign();
    ParentRealignIfAligned();
}

// --- painting --------------------------------------------------------------

void TControl::Repaint() {
    if (IsDestroying()) return;
    IWindowRoot* window = Root();
    if (window && window->Handle() && !window->WindowComponent().IsDestroying())
        platform::CurrentPlatform().InvalidateWindow(window->Handle());
}

void TControl::Paint(platform::ICanvas& canvas) { (void)canvas; }

void TControl::PaintTree(platform::ICanvas& canvas) {
    if (!visible_) return;
    canvas.Save();
    canvas.Translate(position_.X(), position_.Y());
    Paint(canvas);
    if (clipChildren_) canvas.ClipRect(LocalRect());
    for (TControl* child : children_) child->PaintTree(canvas);
    canvas.Restore();
}

// --- input -----------------------------------------------------------------

void TControl::MouseDown(platform::MouseButton, unsigned, float, float, int) {}
void TControl::MouseMove(unsigned, float, float) {}
void TControl::MouseUp(platform::MouseButton, unsigned, float, float) {}
void TControl::MouseWheel(unsigned, int, bool&) {}
void TControl::KeyDown(platform::Key&, char32_t&, unsigned) {}

TControl* TControl::ObjectAtPoint(PointF absolute) {
    if (!visible_) return nullptr;
    PointF local = AbsoluteToLocal(absolute);
    bool inside = local.x >= 0 && local.y >= 0 && local.x < Width() && local.y < Height();
    if (clipChildren_ && !inside) return nullptr;
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        if (TControl* hit = (*it)->ObjectAtPoint(absolute)) return hit;
    return (hitTest_ && inside) ? this : nullptr;
}

// --- notifications -----------------------------------------------------------

void TControl::AbsoluteChanged() {}

void TControl::VisibilityChanged() {}

void TControl::NotifyTree(void (TControl::*notification)()) {
    if (IsDestroying()) return;
    (this->*notification)();
    AnnounceTreeNotification(notification);
    // A notification may re-parent controls; walk a copy.
    std::vector<TControl*> children = children_;
    for (TControl* child : children) child->NotifyTree(notification);
}

// ---------------------------------------------------------------- accessibility

platform::IAccessibleNode& TControl::Accessible() {
    if (!accessible_) accessible_ = std::make_unique<ControlAccessible>(*this);
    return *accessible_;
}

void TControl::ReleaseAccessible() { accessible_.reset(); }

void TControl::AnnounceAccessible(platform::AccessibleChange change) {
    if (IsDestroying()) return;
    platform::IAccessibilityEvents* listener = AccessibilityListener();
    if (!listener) return;
    if (AccessibleRole() != platform::AccessibleRole::None) {
        listener->Changed(Accessible(), change);
        return;
    }
    // A see-through control's children belong to the nearest described ancestor.
    if (change != platform::AccessibleChange::Children) return;
    for (TControl* p = AccessibleParentControl(); p; p = p->AccessibleParentControl())
        if (p->AccessibleRole() != platform::AccessibleRole::None) {
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

platform::AccessibleRole TControl::AccessibleRole() const { return platform::AccessibleRole::None; }
std::string TControl::AccessibleName() const { return {}; }

unsigned TControl::AccessibleStates() const {
    unsigned states = platform::AccessibleEnabled;
    if (Visible()) states |= platform::AccessibleVisible;
    IWindowRoot* window = Root();
    if (IsVisibleInTree() && window && window->WindowShown()) states |= platform::AccessibleShowing;
    if (CanFocus()) states |= platform::AccessibleFocusable;
    if (window && window->AccessibleFocus() == this) states |= platform::AccessibleFocused;
    return states;
}

std::vector<std::string> TControl::AccessibleActions() const { return {}; }
void TControl::DoAccessibleAction(int index) { (void)index; }
std::vector<TControl*> TControl::AccessibleChildren() const { return Controls(); }
TControl* TControl::AccessibleParentControl() const { return ParentControl(); }

}  // namespace velmora
