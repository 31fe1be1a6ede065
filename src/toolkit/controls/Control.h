// Visual controls: a tree of rectangles in logical units with alignment
// layout, painting, input and keyboard focus.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/Canvas.h"
#include "platform/PlatformTypes.h"
#include "toolkit/core/Component.h"

namespace velmora {

using platform::RectF;

struct PointF {
    float x = 0;
    float y = 0;
    friend bool operator==(const PointF&, const PointF&) = default;
};

// Alignment kinds. Layout runs the kinds in this order of groups: the "most"
// edges, then the edges (Top, Bottom, Left, Right), then Client and the rest.
enum class TAlignLayout {
    None, Top, Left, Right, Bottom, MostTop, MostBottom, MostLeft, MostRight, Client,
    Contents, Center, VertCenter, HorzCenter, Horizontal, Vertical, Scale, Fit, FitLeft, FitRight,
};
extern const EnumInfo AlignLayoutEnum;

// Margins and padding: four edges.
class TBounds : public Persistent {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
    float Left() const { return left_; }
    float Top() const { return top_; }
    float Right() const { return right_; }
    float Bottom() const { return bottom_; }
    void SetLeft(float v) { Set(left_, v); }
    void SetTop(float v) { Set(top_, v); }
    void SetRight(float v) { Set(right_, v); }
    void SetBottom(float v) { Set(bottom_, v); }
    std::function<void()> OnChange;

private:
    void Set(float& field, float v) {
        if (field == v) return;
        field = v;
        if (OnChange) OnChange();
    }
    float left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

class TPosition : public Persistent {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
    float X() const { return x_; }
    float Y() const { return y_; }
    void SetX(float v);
    void SetY(float v);
    void SetPoint(PointF p);
    PointF Point() const { return {x_, y_}; }
    std::function<void()> OnChange;

private:
    float x_ = 0, y_ = 0;
};

class TControlSize : public Persistent {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
    float Width() const { return width_; }
    float Height() const { return height_; }
    bool PlatformDefault() const { return platformDefault_; }
    void SetWidth(float v);
    void SetHeight(float v);
    void SetPlatformDefault(bool v);
    std::function<void()> OnChange;

private:
    float width_ = 0, height_ = 0;
    bool platformDefault_ = true;
};

class IWindowRoot;
class ControlAccessible;

class TControl : public Component {
public:
    explicit TControl(Component* owner);
    ~TControl() override;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    // --- tree ------------------------------------------------------------
    TControl* ParentControl() const { return parent_; }
    // Attaches to parent's container (see ContainerFor); nullptr detaches.
    void SetParent(TControl* parent);
    const std::vector<TControl*>& Controls() const { return children_; }
    void SetParentComponent(Component* parent) override;
    Component* GetParentComponent() const override { return parent_; }
    void SetChildOrder(int order) override;
    // The control that really receives a child attached to this one.
    virtual TControl* ContainerFor(TControl* child) { (void)child; return this; }
    // The window this control is shown in, if any.
    IWindowRoot* Root() const;

    // --- geometry (parent coordinates, logical units) --------------------
    TPosition& Position() { return position_; }
    TControlSize& Size() { return size_; }
    TBounds& Margins() { return margins_; }
    TBounds& Padding() { return padding_; }
    float Width() const { return size_.Width(); }
    float Height() const { return size_.Height(); }
    void SetBounds(float x, float y, float width, float height);
    RectF BoundsRect() const;
    RectF LocalRect() const { return {0, 0, Width(), Height()}; }
    // Rectangle in the window's client coordinates.
    RectF AbsoluteRect() const;
    PointF LocalToAbsolute(PointF p) const;
    PointF AbsoluteToLocal(PointF p) const;

    TAlignLayout Align() const { return align_; }
    void SetAlign(TAlignLayout align);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // This control and all its ancestors are visible.
    bool IsVisibleInTree() const;
    int TabOrder() const { return tabOrder_; }
    void SetTabOrder(int order);
    bool CanFocus() const { return canFocus_; }
    void SetCanFocus(bool v) { canFocus_ = v; }
    // A focusable control that is not a tab stop takes focus by click or by
    // code, but Tab and Shift+Tab pass it by.
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool v) { tabStop_ = v; }
    bool ClipChildren() const { return clipChildren_; }
    void SetClipChildren(bool v);
    bool HitTest() const { return hitTest_; }
    void SetHitTest(bool v) { hitTest_ = v; }
    bool IsFocused() const;
    void SetFocus();

    // --- layout ------------------------------------------------------------
    // Aligns the children; held back while loading.
    void Realign();
    // The area children align in (local coordinates): local rect less padding.
    virtual RectF ChildAlignArea() const;

    // --- painting ----------------------------------------------------------
    void Repaint();
    virtual void Paint(platform::ICanvas& canvas);
    // Paints this control and its visible children (canvas in parent coordinates).
    virtual void PaintTree(platform::ICanvas& canvas);

    // --- input (local coordinates) ----------------------------------------
    virtual void MouseDown(platform::MouseButton button, unsigned shift, float x, float y, int clickCount);
    virtual void MouseMove(unsigned shift, float x, float y);
    virtual void MouseUp(platform::MouseButton button, unsigned shift, float x, float y);
    virtual void MouseWheel(unsigned shift, int delta, bool& handled);
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    // key may be set to Key::None by a control that handled it.
    virtual void KeyDown(platform::Key& key, char32_t& character, unsigned shift);
    // Offered to each ancestor of the focused control, nearest first, when the
    // focused control left the key unhandled (Ctrl+Tab for a tab control).
    virtual void DialogKey(platform::Key& key, unsigned shift) { (void)key; (void)shift; }
    // Touch input: a touch that ended where it began (within a unit), and the
    // travel of a touch still in progress, both in local coordinates.
    virtual void Tap(float x, float y) { (void)x; (void)y; }
    virtual void TouchPan(float dx, float dy) { (void)dx; (void)dy; }
    // The control took the keyboard focus (the window's FocusMove tells how),
    // or Tab came round to it again as the window's only tab stop.
    virtual void DoEnter() {}
    virtual void DoExit() {}
    // The window's own surface took the system's keyboard focus back while
    // this control has the focus (the window was activated, a click landed
    // on no control): a control whose keys go to a native child of its own
    // sends them there again.
    virtual void WindowFocusReturned() {}
    // Topmost visible, hit-testable control at a point in window coordinates.
    virtual TControl* ObjectAtPoint(PointF absolute);

    // --- change notifications ---------------------------------------------
    // Position, size or an ancestor's placement changed; the web view follows.
    virtual void AbsoluteChanged();
    // The visibility of this control or of an ancestor changed.
    virtual void VisibilityChanged();
    virtual void ParentChanged() {}
    void Loaded() override;

    // --- accessibility (ControlAccessibility.cpp) ----------------------------
    // What assistive technology is told this control is. A control of role
    // None is see-through: its children stand in its place.
    virtual platform::AccessibleRole AccessibleRole() const;
    virtual std::string AccessibleName() const;
    virtual unsigned AccessibleStates() const;
    virtual std::vector<std::string> AccessibleActions() const;
    // Runs on the UI thread, from the queue.
    virtual void DoAccessibleAction(int index);
    virtual std::vector<TControl*> AccessibleChildren() const;
    virtual TControl* AccessibleParentControl() const;
    virtual platform::WindowHandle AccessibleEmbeddedWindow() const { return 0; }
    // Where the announced focus rests inside this control while no control
    // has the keyboard; nullptr to look further.
    virtual TControl* AccessibleFocusRest() const { return nullptr; }
    // Created on first use and destroyed with the control.
    platform::IAccessibleNode& Accessible();
    // Tells a listening accessibility service; nothing when none listens.
    void AnnounceAccessible(platform::AccessibleChange change);

protected:
    virtual void Resized() {}
    void NotifyTree(void (TControl::*notification)());

private:
    void PositionChanged();
    void SizeChanged();
    void ParentRealignIfAligned();

    TControl* parent_ = nullptr;
    std::vector<TControl*> children_;
    TPosition position_;
    TControlSize size_;
    TBounds margins_;
    TBounds padding_;
    TAlignLayout align_ = TAlignLayout::None;
    bool visible_ = true;
    bool canFocus_ = false;
    bool tabStop_ = true;
    bool inSetBounds_ = false;
    bool clipChildren_ = false;
    bool hitTest_ = true;
    int tabOrder_ = -1;
    bool realigning_ = false;
    std::unique_ptr<ControlAccessible> accessible_;

    void ReleaseAccessible();
    void AnnounceTreeNotification(void (TControl::*notification)());
};

}  // namespace velmora
