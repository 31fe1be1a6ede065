// What the desktop and Windows engine bindings share: how the engine's
// notifications reach the toolkit, the activation and re-activation of the
// display, and the end of the engine's life. The calls below are final; a
// backend supplies the hooks, so these rules hold alike on every system:
//
// - Notifications go through the queue: the toolkit's handlers then run from
//   DispatchMessage, where their errors reach the error policy, and never
//   inside the engine's own callback. Each is guarded by the engine's life,
//   so Close drops every notification still waiting.
// - A press of a mouse button inside the display reaches the toolkit at once
//   (guarded): the view must be the focused control before the engine handles
//   the click.
// - The history's state is two command states, forward first, then back.
// - The first activation puts the display into the main window (a hook). A
//   later one only moves the display into the given window and places it
//   there; it succeeds when the display's parent is then that window.
//   Activation never starts a navigation.
// - Close ends the life first, then the backend closes its engine; the
//   display is forgotten. A closed engine can be activated again.
//
// No system header here: the core builds and is tested without one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Lifetime.h"
#include "NativePlatform.h"
#include "platform/WebEngine.h"

namespace velmora::platform {

class NativeWebEngine : public IWebEngine {
public:
    bool InPlaceActivate(WindowHandle mainWindow, const RectI& bounds) final;
    WindowHandle DisplayWindow() final { return display_; }
    void Close() final;

protected:
    NativeWebEngine(NativePlatform& platform, IWebEngineEvents& events) : platform_(platform), events_(events) {}

    // --- what the backend reports -------------------------------------------
    void ReportBeforeNavigate(const std::string& url);
    void ReportNavigateComplete(const std::string& url);
    void ReportNavigateError(const std::string& url, std::int32_t status);
    void ReportCommandState(int command, bool enabled);
    void ReportHistory(bool canGoForward, bool canGoBack);
    // Synchronous, see above.
    void ReportMouseActivate();
    // Runs f later from the queue, while this life of the engine lasts (work
    // that must not run inside the engine's own callback).
    void Defer(std::function<void()> f);

    NativePlatform& Host() const { return platform_; }

    // --- hooks, each backend's own -------------------------------------------
    // Every activation starts here, the first and each later one, with the
    // window the display is to live in.
    virtual void ActivationTarget(WindowHandle mainWindow, const RectI& bounds) {
        (void)mainWindow;
        (void)bounds;
    }
    // The first activation: makes the display a child of mainWindow at
    // bounds. False when the engine gives no in-place object; display stays 0
    // when the object has no window.
    virtual bool ActivateDisplay(WindowHandle mainWindow, const RectI& bounds, WindowHandle& display) = 0;
    // Closes the engine itself: sinks, display, the engine object. The
    // display is still known (DisplayWindow) while this runs.
    virtual void CloseEngine() = 0;

private:
    void Notify(std::function<void(IWebEngineEvents&)> notification);

    NativePlatform& platform_;
    IWebEngineEvents& events_;
    WindowHandle display_ = 0;
    Lifetime life_;
};

}  // namespace velmora::platform
