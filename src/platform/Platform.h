// What the toolkit needs of the operating system, and nothing more. One
// backend folder implements all of it; the program links exactly one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "Accessibility.h"
#include "Canvas.h"
#include "EnginePages.h"
#include "PlatformTypes.h"
#include "WebEngine.h"

namespace velmora::platform {

// Receives what the queue dispatches to one native window.
class IWindowEvents {
public:
    virtual ~IWindowEvents() = default;
    virtual void OnMessage(const Message& message) = 0;
    virtual void OnPaint(ICanvas& canvas) = 0;
};

struct OsVersion {
    int major = 10;
    int minor = 0;
};

// Where a code address lies: the module's file name (no directory) and the
// offset of the address inside it.
struct CodeLocation {
    std::string moduleFileName;
    std::uintptr_t offset = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // --- process -----------------------------------------------------------
    // Prepares the UI thread for windows and the embedded engine.
    virtual void InitializeUiThread() = 0;
    // Masks every floating-point exception kind for the process.
    virtual void MaskFloatingPointExceptions() = 0;
    virtual std::string ExecutablePath() = 0;
    // The per-user folder that receives the start-up copy.
    virtual std::string UserDataFolder() = 0;
    virtual CodeLocation LocateCode(const void* address) = 0;
    virtual OsVersion GetOsVersion() = 0;

    // --- top-level windows -------------------------------------------------
    // Created hidden at the system's default position and size.
    virtual WindowHandle CreateNativeWindow(const WindowCreateParams& params, IWindowEvents* events) = 0;
    virtual void DestroyNativeWindow(WindowHandle window) = 0;
    virtual void SetWindowTitle(WindowHandle window, const std::string& title) = 0;
    // Outer rectangle in screen pixels.
    virtual RectI GetWindowBounds(WindowHandle window) = 0;
    // Client area size in pixels.
    virtual SizeI GetClientSize(WindowHandle window) = 0;
    // Keeps the top-left corner; no activation, no change of stacking.
    virtual void SetClientSize(WindowHandle window, SizeI size) = 0;
    virtual void SetWindowBounds(WindowHandle window, const RectI& bounds) = 0;
    virtual void ShowWindow(WindowHandle window) = 0;
    virtual void HideWindow(WindowHandle window) = 0;
    virtual bool IsWindowVisible(WindowHandle window) = 0;
    virtual void ActivateWindow(WindowHandle window) = 0;
    virtual WindowHandle ActiveWindow() = 0;
    virtual void InvalidateWindow(WindowHandle window) = 0;
    virtual void SetMouseCapture(WindowHandle window) = 0;
    virtual void ReleaseMouseCapture() = 0;
    // Effective DPI of the window's monitor; 96 where the platform cannot scale.
    virtual int GetWindowDpi(WindowHandle window) = 0;
    virtual bool TouchAvailable() = 0;

    // --- native child windows (the web engine's display) -------------------
    virtual void SetWindowPos(WindowHandle window, const RectI& rect, unsigned flags) = 0;
    // Re-parents a child window; toBottom puts it below its new siblings.
    virtual void SetParentWindow(WindowHandle child, WindowHandle parent, bool toBottom) = 0;
    virtual WindowHandle GetParentWindow(WindowHandle child) = 0;

    // --- the UI thread's queue ---------------------------------------------
    // Takes the next message without waiting; false when none is waiting.
    virtual bool PeekMessage(Message& message) = 0;
    virtual void DispatchMessage(const Message& message) = 0;
    virtual void PostQuitMessage() = 0;
    // Queues a call to run when its message is dispatched.
    virtual void PostCallback(std::function<void()> callback) = 0;
    // Blocks until a message arrives.
    virtual void WaitMessage() = 0;

    // --- timers ------------------------------------------------------------
    // The callback runs when the timer's message is dispatched.
    virtual TimerHandle CreateTimer(unsigned intervalMs, bool repeating, std::function<void()> callback) = 0;
    virtual void KillTimer(TimerHandle timer) = 0;
    // While refused (the application winds down: no animation or update may
    // fire), every live timer is gone and CreateTimer answers 0 (no timer).
    virtual void RefuseTimers(bool refuse) = 0;
    virtual std::uint64_t HighResolutionCounter() = 0;
    virtual std::uint64_t HighResolutionFrequency() = 0;
    // Gives up the rest of the time slice (a zero-length sleep).
    virtual void YieldProcessor() = 0;

    // --- dialogs, drawing, engine ------------------------------------------
    virtual MessageBoxResult ShowMessageBox(const MessageBoxRequest& request) = 0;
    virtual std::unique_ptr<ICanvas> CreateOffscreenCanvas(SizeI pixels, float scale) = 0;
    // nullptr when the engine object cannot be created; code receives the reason.
    virtual std::unique_ptr<IWebEngine> CreateWebEngine(IWebEngineEvents& events, EngineResult& failure) = 0;

    // --- accessibility -----------------------------------------------------
    // The tree of a window's controls, under the window itself; nullptr
    // withdraws it. A backend without an accessibility service ignores it.
    virtual void PublishAccessibleTree(WindowHandle window, IAccessibleNode* root) { (void)window; (void)root; }
    // Where the core announces changes; nullptr when nobody listens.
    virtual IAccessibilityEvents* AccessibilityEvents() { return nullptr; }

    // --- the engine's own pages --------------------------------------------
    // Engines created from now on show these; none: the engine's own handling.
    void SetEnginePages(std::shared_ptr<const IEnginePages> pages) { enginePages_ = std::move(pages); }
    std::shared_ptr<const IEnginePages> EnginePages() const { return enginePages_; }

private:
    std::shared_ptr<const IEnginePages> enginePages_;
};

// The platform of this process. Set once by the backend before anything else.
Platform& CurrentPlatform();
// nullptr when none is set.
Platform* CurrentPlatformOrNull();
void SetCurrentPlatform(Platform* platform);
// Supplied by the linked backend: the platform the program runs on.
std::unique_ptr<Platform> CreateDefaultPlatform();

}  // namespace velmora::platform
