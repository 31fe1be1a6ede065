// What a control tree needs from the window at its top. The form layer
// implements it; controls never see the form itself.
#pragma once

#include <string>

#include "platform/PlatformTypes.h"
#include "toolkit/core/Component.h"

namespace velmora {

class TControl;

// How the keyboard focus reached the control that has it.
enum class TFocusMove {
    Direct,    // a click, code, an assistive tool
    Forward,   // Tab
    Backward,  // Shift+Tab
};

class IWindowRoot {
public:
    virtual platform::WindowHandle Handle() const = 0;
    // Device pixels per logical unit.
    virtual float Scale() = 0;
    // The control that fills the client area and parents the top controls.
    virtual TControl& ClientArea() = 0;
    virtual TControl* Focused() const = 0;
    virtual void SetFocused(TControl* control) = 0;
    // Where assistive technology is told the focus is: the focused control,
    // or while none has it, the place the reader stands (the selected page
    // tab). A screen reader speaks only on a focus change, so a slide that
    // leaves no control focused must still move it somewhere.
    virtual TControl* AccessibleFocus() const = 0;
    // A page was selected or the focus moved: the announced focus follows.
    virtual void AccessibleFocusMayHaveMoved() = 0;
    // Moves the focus on in tab order from the focused control, as Tab
    // (forward) and Shift+Tab do.
    virtual void SelectNext(bool forward) = 0;
    // How the focus came to the focused control; read while it enters.
    virtual TFocusMove FocusMove() const = 0;
    // A control goes away or is hidden: focus, capture and hover must not
    // point into it any more.
    virtual void ControlRemoved(TControl* control) = 0;
    virtual void ControlHidden(TControl* control) = 0;
    // The window as a component (its loading and destroying state, error sender).
    virtual Component& WindowComponent() = 0;
    virtual const Component& WindowComponent() const = 0;
    // What assistive technology is told of the window itself.
    virtual std::string WindowCaption() const = 0;
    virtual bool WindowShown() const = 0;
    virtual bool WindowActive() const = 0;

protected:
    ~IWindowRoot() = default;
};

}  // namespace velmora
