// The accessible node of one control: what the platform's accessibility
// service reads, answered from the control's own description.
#pragma once

#include <string>
#include <vector>

#include "platform/Accessibility.h"

namespace velmora {

class TControl;

class ControlAccessible final : public platform::IAccessibleNode {
public:
    explicit ControlAccessible(TControl& control);
    ~ControlAccessible() override;

    TControl& Control() const { return control_; }

    platform::AccessibleRole Role() const override;
    std::string Name() const override;
    unsigned States() const override;
    platform::RectI Bounds() const override;
    std::vector<std::string> Actions() const override;
    bool DoAction(int index) override;
    bool GrabFocus() override;
    IAccessibleNode* Parent() const override;
    std::vector<IAccessibleNode*> Children() const override;
    platform::WindowHandle EmbeddedWindow() const override;

private:
    TControl& control_;
};

// The listening backend's sink, or nullptr.
platform::IAccessibilityEvents* AccessibilityListener();

}  // namespace velmora
