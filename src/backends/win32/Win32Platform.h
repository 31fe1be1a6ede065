// The Windows desktop platform: native windows of the UI thread, GDI+
// drawing, the system's WebBrowser control as the web engine.
//
// Queue model. The window procedures translate what the system sends or
// posts into platform::Message and append it to a FIFO; PeekMessage pumps the
// native queue (translate, dispatch) until the FIFO holds something, and
// DispatchMessage hands the translated message to the toolkit. So the
// toolkit's code runs outside every system frame, and an error it raises
// never unwinds through user32 or the engine. Two things must happen inside
// the window procedure: painting (a paint DC lives only between BeginPaint and
// EndPaint) and the display's mouse activation (the view must take the focus
// before the engine sees the click). Both run guarded: an error is kept and
// raised again by the next PeekMessage, WaitMessage or DispatchMessage.
//
// Taskbar entry. A window of kind Application is a zero-size borderless
// pop-up with WS_EX_APPWINDOW; the forms are owned by it, so they have no
// taskbar entry of their own. Minimising a form minimises that window, which
// hides every window it owns; restoring the entry brings them back.
#pragma once

#include "WinApi.h"

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/MessageFifo.h"
#include "platform/Platform.h"

namespace velmora::win32 {

class Win32Platform : public platform::Platform {
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

    // --- queue ---
    bool PeekMessage(platform::Message& message) override;
    void DispatchMessage(const platform::Message& message) override;
    void PostQuitMessage() override;
    void PostCallback(std::function<void()> callback) override;
    void WaitMessage() override;

    // --- timers ---
    platform::TimerHandle CreateTimer(unsigned intervalMs, bool repeating, std::function<void()> callback) override;
    void KillTimer(platform::TimerHandle timer) override;
    std::uint64_t HighResolutionCounter() override;
    std::uint64_t HighResolutionFrequency() override;
    void YieldProcessor() override;

    // --- dialogs, drawing, engine ---
    platform::MessageBoxResult ShowMessageBox(const platform::MessageBoxRequest& request) override;
    std::unique_ptr<platform::ICanvas> CreateOffscreenCanvas(platform::SizeI pixels, float scale) override;
    std::unique_ptr<platform::IWebEngine> CreateWebEngine(platform::IWebEngineEvents& events,
                                                          platform::EngineResult& failure) override;

    // --- for the web engine ---
    // Runs f so that no C++ exception leaves it; an error is kept and raised
    // again at the next queue call.
    void Guarded(const std::function<void()>& f);
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

private:
    struct NativeWindow;
    struct TimerEntry;

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
    void Post(const platform::Message& message);
    void PostCoalesced(const platform::Message& message);
    // Takes and dispatches one native message; false when none is waiting.
    bool PumpOne();
    bool RouteToKeyboardTarget(MSG& msg);
    void RethrowPending();
    void StartGdiPlus();

    HINSTANCE instance_ = nullptr;
    bool classesRegistered_ = false;
    bool oleInitialized_ = false;
    ULONG_PTR gdiplusToken_ = 0;
    HWND utility_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::map<HWND, std::unique_ptr<NativeWindow>> windows_;
    std::map<platform::TimerHandle, std::unique_ptr<TimerEntry>> timers_;
    platform::TimerHandle nextTimer_ = 1;
    std::map<HWND, IOleInPlaceActiveObject*> keyboardTargets_;

    // The only state another thread may touch (PostCallback).
    platform::MessageFifo fifo_;

    std::exception_ptr pending_;
    wchar_t highSurrogate_ = 0;
};

}  // namespace velmora::win32
