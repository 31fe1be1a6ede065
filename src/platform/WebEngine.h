// The system's web engine, as the web view reaches it. Each call maps onto one
// step of hosting the engine as an embedded control; a backend supplies the
// real engine, the headless one records every call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "PlatformTypes.h"

namespace velmora::platform {

// Result of an engine call: success, or the engine's code and description.
struct EngineResult {
    bool ok = true;
    std::int32_t code = 0;
    std::string description;
};

// Failure codes in the engine's own numbering. Every backend reports its
// refusals with these, so the toolkit raises them like any other.
constexpr std::int32_t EngineUnspecifiedFailure = static_cast<std::int32_t>(0x80004005u);
constexpr std::int32_t EngineInvalidArgument = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t EngineUnexpected = static_cast<std::int32_t>(0x8000FFFFu);

// A failed result with the given code and description.
inline EngineResult EngineFailure(std::int32_t code, std::string description = {}) {
    return EngineResult{false, code, std::move(description)};
}

// What CommandStateChange reports on: whether the history can go that way.
constexpr int CommandNavigateForward = 1;
constexpr int CommandNavigateBack = 2;

// Notifications from the engine, delivered on the UI thread.
class IWebEngineEvents {
public:
    virtual ~IWebEngineEvents() = default;
    virtual void BeforeNavigate2(const std::string& url) = 0;
    virtual void NavigateComplete2(const std::string& url) = 0;
    virtual void NavigateError(const std::string& url, std::int32_t status) = 0;
    virtual void CommandStateChange(int command, bool enabled) = 0;
    // The user pressed a mouse button inside the display (it is about to take focus).
    virtual void DisplayMouseActivate() = 0;
    // The page took the keyboard by itself (an assistive tool moved it there,
    // say); the view becomes the focused control.
    virtual void DisplayFocused() {}
    // Tab went past the page's last stop (forward) or Shift+Tab before its
    // first: the keyboard goes on in the window's own order.
    virtual void DisplayFocusLeaving(bool forward) { (void)forward; }
};

enum class EngineVerb { Show, Hide };

// Where the keyboard enters the page: at its start (Tab), at its end
// (Shift+Tab), or where it last was (a click, the window coming back).
enum class EngineFocusEntry { Keep, First, Last };

// Navigate flags of the engine.
constexpr std::int32_t NavNoReadFromCache = 4;
constexpr std::int32_t NavNoWriteToCache = 8;

class IWebEngine {
public:
    virtual ~IWebEngine() = default;

    // Engine object setup (client site, persistence init, control info,
    // event sinks, ambient refresh). Fails when the engine cannot be initialised.
    virtual EngineResult Initialize() = 0;
    // Dispatch property put of Silent.
    virtual EngineResult PutSilent(bool silent) = 0;

    // In-place activation inside the main window with the view's bounds (device
    // pixels). Returns false when the engine gives no in-place object.
    virtual bool InPlaceActivate(WindowHandle mainWindow, const RectI& bounds) = 0;
    // The display's native window after activation; 0 when it has none.
    virtual WindowHandle DisplayWindow() = 0;

    // Navigate. flags absent: the argument is passed as "missing".
    virtual EngineResult Navigate(const std::string& url, std::optional<std::int32_t> flags) = 0;

    virtual bool GetVisible() = 0;
    virtual void PutVisible(bool visible) = 0;
    virtual void DoVerb(EngineVerb verb) = 0;

    // Close without saving, disconnect the sinks and release the engine.
    virtual void Close() = 0;

    // The view became the window's focused control: the engine takes the
    // real keyboard focus into its display.
    virtual void TakeFocus(EngineFocusEntry entry) { (void)entry; }
    // The view gave the focus up: a keyboard still inside the display goes
    // back to the main window.
    virtual void ReleaseFocus() {}
};

// SetWindowPos flags used for the display window.
constexpr unsigned PosNoSize = 0x0001;
constexpr unsigned PosNoMove = 0x0002;
constexpr unsigned PosNoZOrder = 0x0004;
constexpr unsigned PosNoActivate = 0x0010;
constexpr unsigned PosShowWindow = 0x0040;
constexpr unsigned PosHideWindow = 0x0080;
constexpr unsigned PosMoveSize = PosNoZOrder | PosNoActivate;                                    // 0x14
constexpr unsigned PosShow = PosNoSize | PosNoMove | PosNoZOrder | PosNoActivate | PosShowWindow;  // 0x57
constexpr unsigned PosHide = PosNoSize | PosNoMove | PosNoZOrder | PosNoActivate | PosHideWindow;  // 0x97

}  // namespace velmora::platform
