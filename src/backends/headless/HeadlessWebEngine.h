// A web engine without a network or a display: it records every call it gets
// into the headless platform's call log, keeps the little state a host can
// observe, fails where a test tells it to, and lets a test play the engine's
// notifications.
//
// Log lines (shared with the platform's own placement calls):
//   "WebEngine.Create"
//   "WebEngine.Initialize"
//   "WebEngine.PutSilent(true)"
//   "WebEngine.InPlaceActivate(main, x, y, cx, cy)"       device pixels
//   "WebEngine.DisplayWindow() = h"
//   "WebEngine.Navigate(\"url\", missing)" / "WebEngine.Navigate(\"url\", 12)"
//   "WebEngine.GetVisible() = true"
//   "WebEngine.PutVisible(false)"
//   "WebEngine.DoVerb(Show)" / "WebEngine.DoVerb(Hide)"
//   "WebEngine.Close"
//   "WebEngine.TakeFocus(First)" / "(Last)" / "(Keep)"
//   "WebEngine.ReleaseFocus"
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/WebEngine.h"

namespace velmora::headless {

class HeadlessPlatform;

// Failures an engine acts out. A failing call still appears in the log.
struct HeadlessEngineFaults {
    std::optional<platform::EngineResult> initialize;
    std::optional<platform::EngineResult> putSilent;
    // In-place activation yields no in-place object.
    bool noInPlaceObject = false;
    // The in-place object has no window.
    bool noWindow = false;
    // The show verb makes the display the active window, as an engine that
    // grabs the activation would.
    bool showActivatesDisplay = false;
    // Every Navigate is refused with this result.
    std::optional<platform::EngineResult> navigateRefusal;
};

struct NavigateRequest {
    std::string url;
    std::optional<std::int32_t> flags;
};

class HeadlessWebEngine : public platform::IWebEngine {
public:
    HeadlessWebEngine(HeadlessPlatform& platform, platform::IWebEngineEvents& events);
    ~HeadlessWebEngine() override;
    HeadlessWebEngine(const HeadlessWebEngine&) = delete;
    HeadlessWebEngine& operator=(const HeadlessWebEngine&) = delete;

    // Faults every engine created from now on starts with. Process-wide:
    // a test that sets them resets them (ResetNextEngineFaults).
    static HeadlessEngineFaults& NextEngineFaults();
    static void ResetNextEngineFaults();
    // Engines not yet destroyed, oldest first.
    static const std::vector<HeadlessWebEngine*>& LiveEngines();
    // The newest live engine, or nullptr.
    static HeadlessWebEngine* Latest();

    // This engine's faults; may be changed while it lives.
    HeadlessEngineFaults& Faults() { return faults_; }

    // ---- observable state --------------------------------------------------
    bool Initialized() const { return initialized_; }
    bool Silent() const { return silent_; }
    bool Active() const { return display_ != 0; }
    bool Closed() const { return closed_; }
    bool Visible() const { return visible_; }
    platform::WindowHandle Display() const { return display_; }
    platform::WindowHandle MainWindow() const { return mainWindow_; }
    const std::vector<NavigateRequest>& Navigations() const { return navigations_; }
    // The display holds the keyboard: taken and not given up since.
    bool HasFocus() const { return hasFocus_; }

    // ---- notifications, as the engine would send them ---------------------
    // Nothing reaches the host once the engine is closed (its sinks are gone).
    void FireBeforeNavigate2(const std::string& url);
    void FireNavigateComplete2(const std::string& url);
    void FireNavigateError(const std::string& url, std::int32_t status);
    void FireCommandStateChange(int command, bool enabled);
    // A click into the display.
    void FireMouseActivate();
    // The page takes the keyboard by itself (an assistive tool put it there).
    void FireFocused();
    // Tab past the page's last link (forward) or Shift+Tab before its first.
    void FireFocusLeaving(bool forward);

    // ---- platform::IWebEngine ---------------------------------------------------
    platform::EngineResult Initialize() override;
    platform::EngineResult PutSilent(bool silent) override;
    bool InPlaceActivate(platform::WindowHandle mainWindow, const platform::RectI& bounds) override;
    platform::WindowHandle DisplayWindow() override;
    platform::EngineResult Navigate(const std::string& url, std::optional<std::int32_t> flags) override;
    bool GetVisible() override;
    void PutVisible(bool visible) override;
    void DoVerb(platform::EngineVerb verb) override;
    void Close() override;
    void TakeFocus(platform::EngineFocusEntry entry) override;
    void ReleaseFocus() override;

private:
    void Log(std::string line);

    HeadlessPlatform& platform_;
    platform::IWebEngineEvents& events_;
    HeadlessEngineFaults faults_;
    bool initialized_ = false;
    bool silent_ = false;
    bool closed_ = false;
    bool visible_ = false;
    bool inPlaceObject_ = false;
    bool hasFocus_ = false;
    platform::WindowHandle mainWindow_ = 0;
    platform::WindowHandle display_ = 0;
    std::vector<NavigateRequest> navigations_;
};

}  // namespace velmora::headless
