// What the layers below the shell ask of it: the application's window, its
// event dispatch and its end, and the web view service's realignment. The
// shell fills one object at start-up; tests install their own through
// ScopedServices. Any entry may be empty (windows made without an application).
#pragma once

#include <exception>
#include <functional>
#include <vector>

#include "platform/PlatformTypes.h"

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
    // Re-places every embedded web view over its control.
    std::function<void()> realignBrowsers;
    // Called whenever a window becomes active, and after a window's scale
    // factor changed and its content was laid out again.
    std::vector<std::function<void(IWindowRoot&)>> activationObservers;
    std::vector<std::function<void(IWindowRoot&)>> scaleObservers;
};

// The installed services (a process-wide empty set when nothing is installed).
ToolkitServices& Services();

// Installs a services object for its lifetime and puts the previous one back
// afterwards. Guards nest: the last one made is the first to go.
class ScopedServices {
public:
    explicit ScopedServices(ToolkitServices services = {});
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

    ToolkitServices& operator*() { return services_; }
    ToolkitServices* operator->() { return &services_; }

private:
    ToolkitServices services_;
    ToolkitServices* previous_;
};

}  // namespace velmora
