#include "Button.h"

#include "Theme.h"

namespace velmora {

using platform::Key;
using platform::MouseButton;

const ClassInfo& TButton::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TButton",
        .parent = &TControl::StaticClassInfo(),
        .factory = [](Component* owner) -> Component* { return new TButton(owner); },
        .isComponent = true,
        .properties = {prop::String("Text", &TButton::SetText),
                       prop::Object("TextSettings", &TButton::TextSettings),
                       prop::Event("OnClick", &TButton::OnClick)}};
    return info;
}

TButton::TButton(Component* owner) : TControl(owner) {
    SetCanFocus(true);
    SetBounds(0, 0, theme::ButtonDefaultWidth, theme::ButtonDefaultHeight);
    textSettings_.OnChange = [this] { Repaint(); };
}

void TButton::SetText(const std::string& text) {
    if (text_ == text) return;
    text_ = text;
    Repaint();
    AnnounceAccessible(platform::AccessibleChange::Name);
}

void TButton::Click() {
    if (OnClick) OnClick(this);
}

void TButton::Paint(platform::ICanvas& canvas) {
    theme::FaceState state = pressed_ ? theme::FaceState::Pressed
                             : (hot_ && !tracking_) ? theme::FaceState::Hover
                                                    : theme::FaceState::Normal;
    theme::DrawButtonFace(canvas, LocalRect(), state, IsFocused());
    theme::DrawCaption(canvas, LocalRect(), text_, textSettings_.Flags());
}

void TButton::MouseDown(MouseButton button, unsigned, float, float, int clickCount) {
    if (button != MouseButton::Left) return;
    SetFocus();
    if (clickCount >= 2) {
        // The second press of a double-click acts at once; its release is
        // not a click of its own.
        tracking_ = false;
        pressed_ = false;
        Repaint();
        Click();
        return;
    }
    tracking_ = true;
    pressed_ = true;
    Repaint();
}

void TButton::MouseMove(unsigned, float x, float y) {
    if (!tracking_) return;
    bool inside = Contains(x, y);
    if (inside == pressed_) return;
    pressed_ = inside;
    Repaint();
}

void TButton::MouseUp(MouseButton button, unsigned, float x, float y) {
    if (button != MouseButton::Left || !tracking_) return;
    tracking_ = false;
    pressed_ = false;
    Repaint();
    // State is settled before the handler runs: it may pump messages.
    if (Contains(x, y)) Click();
}

void TButton::MouseEnter() {
    hot_ = true;
    Repaint();
}

void TButton::MouseLeave() {
    hot_ = false;
    Repaint();
}

void TButton::KeyDown(Key& key, char32_t&, unsigned shift) {
    if (key != Key::Enter && key != Key::Space) return;
    if (shift & (platform::ShiftShift | platform::ShiftCtrl | platform::ShiftAlt)) return;
    key = Key::None;
    Click();
}

void TButton::Tap(float x, float y) {
    // The form allows a unit of travel, so a touch that began on the edge may
    // end just outside; like a mouse release there, that chooses nothing.
    if (!Contains(x, y) || !IsVisibleInTree()) return;
    SetFocus();
    Click();
}

void TButton::VisibilityChanged() {
    // A press cannot complete on a button that went out of sight.
    if (!IsVisibleInTree()) {
        tracking_ = false;
        pressed_ = false;
        hot_ = false;
    }
}

// ---------------------------------------------------------------- accessibility

platform::AccessibleRole TButton::AccessibleRole() const { return platform::AccessibleRole::PushButton; }
std::string TButton::AccessibleName() const { return Text(); }
std::vector<std::string> TButton::AccessibleActions() const { return {"press"}; }
void TButton::DoAccessibleAction(int index) {
    if (index == 0) Click();
}

}  // namespace velmora
