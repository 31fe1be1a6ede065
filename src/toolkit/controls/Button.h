// A push button: a caption, a click event, and the usual press, hover and
// focus looks.
#pragma once

#include <string>

#include "Control.h"
#include "TextSettings.h"

namespace velmora {

class TButton : public TControl {
public:
    explicit TButton(Component* owner);
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    TTextSettings& TextSettings() { return textSettings_; }

    // Runs OnClick, as a completed press or Enter/Space would.
    virtual void Click();
    NotifyEvent OnClick;

    // The pressed look: held down with the pointer inside.
    bool IsPressed() const { return pressed_; }
    bool IsHot() const { return hot_; }

    void Paint(platform::ICanvas& canvas) override;
    void MouseDown(platform::MouseButton button, unsigned shift, float x, float y, int clickCount) override;
    void MouseMove(unsigned shift, float x, float y) override;
    void MouseUp(platform::MouseButton button, unsigned shift, float x, float y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void KeyDown(platform::Key& key, char32_t& character, unsigned shift) override;
    // A touch that stayed put chooses the button; one that travelled is a pan
    // and never reaches here.
    void Tap(float x, float y) override;
    void VisibilityChanged() override;

    platform::AccessibleRole AccessibleRole() const override;
    std::string AccessibleName() const override;
    std::vector<std::string> AccessibleActions() const override;
    void DoAccessibleAction(int index) override;

private:
    bool Contains(float x, float y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }

    std::string text_;
    TTextSettings textSettings_;
    bool tracking_ = false;  // the left button went down here and is still held
    bool pressed_ = false;
    bool hot_ = false;
};

}  // namespace velmora
