// The Windows desktop platform: native windows of the UI thread, GDI+
// drawing, the system's WebBrowser control as the web engine.
//
// What it implements for real:
//  - windows (frame sizes at the window's own DPI, the restored place of a
//    minimised window), activation, mouse capture, per-monitor DPI and its
//    change notification (the toolkit resizes inside it, see below);
//  - mouse (the system's double-click), wheel, keys, typed characters with
//    surrogate pairs, focus; keys inside the engine's display go to it first;
//  - message boxes, timers on a message-only window, the OS version as the
//    kernel reports it, code locations by module;
//  - accessibility through IAccessible (Win32Accessible): a form answers
//    WM_GETOBJECT with its published tree (roles, names, states, locations,
//    hit tests, navigation, focus, selection, the default action), changes
//    go out as WinEvents, and the web view's node is its display window's
//    own accessible object.
// What it leaves out:
//  - touch input arrives as the system's emulated mouse only;
//  - a DPI-awareness call (the manifest declares it);
//  - UI Automation of its own (clients reach the tree through the system's
//    bridge from IAccessible), and accessible values, descriptions, help and
//    keyboard shortcuts.
//
// Queue model. The window procedures translate what the system sends or
// posts into platform::Message and post it to the shared core's FIFO
// (NativePlatform); PeekMessage pumps the native queue (translate, dispatch)
// until the FIFO holds something, and DispatchMessage hands the translated
// message to the toolkit. So the toolkit's code runs outside every system
// frame, and an error it raises never unwinds through user32 or the engine.
// Three things must happen inside the window procedure, and run Guarded:
// painting (a paint DC lives only between BeginPaint and EndPaint), the
// display's mouse activation (the view must take the focus before the engine
// sees the click), and a DPI change (during a drag between monitors the
// system's move loop runs, not ours: the toolkit must resize the window
// before the notification returns).
//
// Taskbar entry. A window of kind Application is a zero-size borderless
// pop-up with WS_EX_APPWINDOW; the forms are owned by it, so they have no
// taskbar entry of their own. Minimising a form minimises that window, which
// hides every window it owns; restoring the entry brings them back.
#pragma once

#include "WinApi.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Win32Accessible.h"
#include "KeyTranslation.h"
#include "backends/native/NativePlatform.h"

namespace velmora::win32 {

class Win32Platform : public platform::NativePlatform {
public:
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // --- process ---
    void InitializeUiThread() override;
    void MaskFloatingPointExceptions() override;
    std::string ExecutablePath() override;
    std::string UserDataFolder() override;
    platform::CodeLocation LocateCode(const void* address) override;
    platform::OsVersion GetOsVersion() override;

    // --- top-level windows ---
    platform::WindowHandle CreateNativeWindow(const platform::WindowCreateParams& params,
                                              platform::IWindowEvents* events) override;
    void DestroyNativeWindow(platform::WindowHandle window) override;
    void SetWindowTitle(platform::WindowHandle window, const std::string& title) override;
    platform::RectI GetWindowBounds(platform::WindowHandle window) override;
    platform::SizeI GetClientSize(platform::WindowHandle window) override;
    void SetClientSize(platform::WindowHandle window, platform::SizeI size) override;
    void SetWindowBounds(platform::WindowHandle window, const platform::RectI& bounds) override;
    void ShowWindow(platform::WindowHandle window) override;
    void HideWindow(platform::WindowHandle window) override;
    bool IsWindowVisible(platform::WindowHandle window) override;
    void ActivateWindow(platform::WindowHandle window) override;
    platform::WindowHandle ActiveWindow() override;
    void InvalidateWindow(platform::WindowHandle window) override;
    void SetMouseCapture(platform::WindowHandle window) override;
    void ReleaseMouseCapture() override;
    int GetWindowDpi(platform::WindowHandle window) override;
    bool TouchAvailable() override;

    // --- native child windows ---
    void SetWindowPos(platform::WindowHandle window, const platform::RectI& rect, unsigned flags) override;
    void SetParentWindow(platform::WindowHandle child, platform::WindowHandle parent, bool toBottom) override;
    platform::WindowHandle GetParentWindow(platform::WindowHandle child) override;

    // --- clock ---
    std::uint64_t HighResolutionCounter() override;
    std::uint64_t HighResolutionFrequency() override;
    void YieldProcessor() override;

    // --- dialogs, drawing, engine ---
    platform::MessageBoxResult ShowMessageBox(const platform::MessageBoxRequest& request) override;
    std::unique_ptr<platform::ICanvas> CreateOffscreenCanvas(platform::SizeI pixels, float scale) override;
    std::unique_ptr<platform::IWebEngine> CreateWebEngine(platform::IWebEngineEvents& events,
                                                          platform::EngineResult& failure) override;

    // --- accessibility ---
    void PublishAccessibleTree(platform::WindowHandle window, platform::IAccessibleNode* root) override;
    platform::IAccessibilityEvents* AccessibilityEvents() override;

    // --- where the backend meets the system, replaceable for tests ---
    // Creates the engine object; CoCreateInstance unless a stand-in was given.
    using EngineFactory = std::function<HRESULT(REFCLSID, IUnknown*, DWORD, REFIID, void**)>;
    void SetEngineFactory(EngineFactory factory) { engineFactory_ = std::move(factory); }
    // Shows a message box and returns the button pressed; MessageBoxW unless
    // a stand-in was given (a test cannot answer a modal box).
    using MessageBoxFunction = std::function<int(HWND, const wchar_t*, const wchar_t*, UINT)>;
    void SetMessageBoxFunction(MessageBoxFunction function) { messageBox_ = std::move(function); }

    // --- for the web engine ---
    // Key messages for windows inside display go to the engine's in-place
    // object first, so keys like Tab, the arrows and Delete work in the page.
    void AddKeyboardTarget(HWND display, IOleInPlaceActiveObject* object);
    void RemoveKeyboardTarget(HWND display);

    static HWND ToHwnd(platform::WindowHandle handle) {
        return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
    }
    static platform::WindowHandle ToHandle(HWND hwnd) {
        return static_cast<platform::WindowHandle>(reinterpret_cast<std::uintptr_t>(hwnd));
    }

protected:
    // --- the shared core's hooks ---
    bool PumpNativeEvent(bool mayBlock) override;
    void WakeLoop() override;
    bool StartNativeTimer(platform::TimerHandle timer, unsigned intervalMs) override;
    void StopNativeTimer(platform::TimerHandle timer) override;
    void DeliverToWindow(const platform::Message& message) override;

private:
    struct NativeWindow;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK UtilityProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleWindowMessage(NativeWindow& window, UINT msg, WPARAM wParam, LPARAM lParam);
    void RegisterClasses();
    NativeWindow* Find(HWND hwnd);
    int QueryDpi(HWND hwnd);
    void Paint(NativeWindow& window);
    void PostMouse(NativeWindow& window, platform::MessageKind kind, platform::MouseButton button, WPARAM wParam,
                   LPARAM lParam, int clickCount);
    void PostKey(NativeWindow& window, platform::MessageKind kind, WPARAM wParam);
    void PostChar(NativeWindow& window, WPARAM wParam);
    bool RouteToKeyboardTarget(MSG& msg);
    void ApplyDpiChange(NativeWindow& window, int dpi);
    void StartGdiPlus();

    HINSTANCE instance_ = nullptr;
    bool classesRegistered_ = false;
    bool oleInitialized_ = false;
    ULONG_PTR gdiplusToken_ = 0;
    HWND utility_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::map<HWND, std::unique_ptr<NativeWindow>> windows_;
    // Borrowed: the engine removes its entry before it lets the object go.
    std::map<HWND, IOleInPlaceActiveObject*> keyboardTargets_;
    CharacterDecoder characters_;
    Win32Accessibility accessibility_;
    EngineFactory engineFactory_ = &CoCreateInstance;
    MessageBoxFunction messageBox_ = &MessageBoxW;
};

}  // namespace velmora::win32
