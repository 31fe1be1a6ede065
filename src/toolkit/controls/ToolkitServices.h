// What the layers below the shell ask of it: the application's window, its
// event dispatch and its end. The shell installs one services object at
// start-up; tests install their own through ScopedServices. Readers see the
// installed object read-only; a change is made by installing another one.
// Any entry may be empty (windows made without an application).
//
// Beside it, for whoever keeps native views over controls (the web view
// service): the notice that their places may have changed.
//
// Both are for the loop's thread only.
#pragma once

#include <exception>
#include <functional>

#include "platform/PlatformTypes.h"
#include "toolkit/core/Observers.h"

namespace velmora {

class IWindowRoot;

struct ToolkitServices {
    // Owner of every new form window: the application's own window, created
    // (and shown) on first use.
    std::function<platform::WindowHandle()> ownerWindow;
    // Asked by a form's Close once the close action is agreed: true when the
    // window is the main window, in which case the application has been asked
    // to terminate and the window is neither hidden nor freed.
    std::function<bool(IWindowRoot&)> mainFormClosed;
    // A window's caption changed (the taskbar title may follow it).
    std::function<void(IWindowRoot&)> captionChanged;
    // An error of the toolkit's hierarchy escaped the handling of one of the
    // window's messages; it is reported here and the message is done.
    std::function<void(std::exception_ptr, IWindowRoot&)> messageFailed;
    // Dispatches every waiting message, no idle pass, no wait; a quit message
    // met there ends the application (isClosing turns true).
    std::function<void()> processMessages;
    // The application has been asked to end or has ended.
    std::function<bool()> isClosing;
};

// The services object installed last among those still installed; an empty
// set when there is none. The reference lasts until that object is removed.
const ToolkitServices& Services();

// Installs a services object for its own lifetime. Objects may be removed in
// any order: each takes away only itself, and the one installed last among
// the rest serves again.
class ScopedServices {
public:
    explicit ScopedServices(ToolkitServices services = {});
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

    const ToolkitServices& operator*() const { return services_; }
    const ToolkitServices* operator->() const { return &services_; }

private:
    const ToolkitServices services_;
};

// Native views (the web view's display) sit over a window's controls but are
// placed by the system, so they must be placed again whenever their places
// may have changed: the window became active, its scale changed and its
// content was laid out again, or its content moved (each step of a page
// slide). Observers hear the window it happened in.
[[nodiscard]] Subscription ObserveNativeViewPlaces(std::function<void(IWindowRoot&)> observer);
void NativeViewPlacesChanged(IWindowRoot& window);

}  // namespace velmora
