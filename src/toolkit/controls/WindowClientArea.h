// The control that fills a window's client area; the top of every control
// tree shown in a window, and the way back from a control to its window.
#pragma once

#include "toolkit/controls/Control.h"
#include "toolkit/controls/WindowRoot.h"

namespace velmora {

class TWindowClientArea : public TControl {
public:
    explicit TWindowClientArea(IWindowRoot& window) : TControl(nullptr), window_(window) {}
    IWindowRoot& Window() const { return window_; }
    // The window itself as assistive technology sees it.
    platform::AccessibleRole AccessibleRole() const override;
    std::string AccessibleName() const override;
    unsigned AccessibleStates() const override;

private:
    IWindowRoot& window_;
};

}  // namespace velmora
