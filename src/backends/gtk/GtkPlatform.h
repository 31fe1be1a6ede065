// The Linux desktop platform: GTK 3 windows on the GLib main context, cairo and
// pango drawing, WebKitGTK as the web engine.
//
// Queue model. GTK delivers input from inside g_main_context_iteration; the
// signal handlers only translate it into platform::Message and append it to a
// FIFO that PeekMessage/WaitMessage hand out, so the toolkit's own code runs
// from DispatchMessage, outside every GTK C frame. The two exceptions are
// painting (cairo contexts live only inside the "draw" signal) and the web
// view's mouse activation (it must reach the toolkit before the engine sees the
// click); both run guarded, and an error they raise is handed on by the next
// PeekMessage, WaitMessage or DispatchMessage, so it still reaches the toolkit's
// error policy and never unwinds through GTK.
//
// Taskbar entry. GTK gives an application one taskbar entry per top-level
// window that is not transient, and the window manager groups them by window
// class; so a window of kind Application is only a record here (title kept, no
// GtkWindow), and the main window itself carries the title and the program icon.
#pragma once

#include <gtk/gtk.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "InputTranslation.h"
#include "platform/MessageFifo.h"
#include "platform/Platform.h"

namespace velmora::gtk {

class GtkPlatform : public platform::Platform {
public:
    GtkPlatform();
    ~GtkPlatform() override;

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
    // --- accessibility (AtkBridge.cpp) ---
    void PublishAccessibleTree(platform::WindowHandle window, platform::IAccessibleNode* root) override;
    platform::IAccessibilityEvents* AccessibilityEvents() override;

    // --- for the web engine: its display as a native child window ---
    // Puts widget into the main window's content above the drawn controls and
    // gives it a handle. bounds: client device pixels. 0 when mainWindow is no
    // top-level window of this platform.
    platform::WindowHandle AttachDisplay(GtkWidget* widget, platform::WindowHandle mainWindow,
                                         const platform::RectI& bounds);
    void DetachDisplay(platform::WindowHandle display);
    // Hides a display, handing the keyboard back to the drawn controls when
    // the display had it.
    void HideDisplayWidget(GtkWidget* widget);
    // Runs f so that no C++ exception leaves it; an error is kept and raised
    // again at the next queue call.
    void Guarded(const std::function<void()>& f);
    // True once GTK is up (initialises it on first use; false without a display).
    bool EnsureGtk();

    // Test hooks: what the queue holds right now, without running GLib.
    std::size_t QueuedMessageCount();
    GtkWidget* TopLevelWidget(platform::WindowHandle window);
    GtkWidget* DrawingArea(platform::WindowHandle window);

private:
    struct NativeWindow;
    struct TimerEntry;

    NativeWindow* Find(platform::WindowHandle handle);
    NativeWindow* FindTopLevel(platform::WindowHandle handle);
    platform::WindowHandle NewHandle() { return nextHandle_++; }
    int ScaleOf(const NativeWindow& window);
    void Post(const platform::Message& message);
    // Coalescing post: replaces a queued message of the same kind for the
    // same window instead of adding another (pointer moves, moves, DPI).
    void PostCoalesced(const platform::Message& message);
    bool TakeMessage(platform::Message& message);
    bool QueueEmpty();
    void RethrowPending();
    void ConnectWindowSignals(NativeWindow& window);
    void LoadProgramIcon();
    void PushMouse(NativeWindow& window, platform::MessageKind kind, GdkEvent* event, double x, double y);
    void UpdateDisplayAllocation(NativeWindow& display);
    void HideDisplay(NativeWindow& display);

    // GTK callbacks (C linkage style, user data is the platform).
    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer self);
    static gboolean OnMap(GtkWidget* widget, GdkEvent* event, gpointer self);
    static void OnAreaAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self);
    static void OnScaleFactor(GObject* object, GParamSpec* pspec, gpointer self);
    static void OnIsActive(GObject* object, GParamSpec* pspec, gpointer self);
    static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
    static gboolean OnLeave(GtkWidget* widget, GdkEventCrossing* event, gpointer self);
    static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
    static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnWindowKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnFocus(GtkWidget* widget, GdkEventFocus* event, gpointer self);
    static gboolean OnTouch(GtkWidget* widget, GdkEventTouch* event, gpointer self);
    static gboolean OnChildPosition(GtkOverlay* overlay, GtkWidget* child, GdkRectangle* allocation,
                                    gpointer self);
    static void OnWindowDestroyed(GtkWidget* widget, gpointer self);
    static gboolean OnTimer(gpointer data);

    bool gtkReady_ = false;
    bool gtkTried_ = false;
    platform::WindowHandle nextHandle_ = 1;
    std::map<platform::WindowHandle, std::unique_ptr<NativeWindow>> windows_;
    std::map<platform::TimerHandle, std::unique_ptr<TimerEntry>> timers_;
    platform::TimerHandle nextTimer_ = 1;

    // The only state another thread may touch (PostCallback).
    platform::MessageFifo queue_;

    std::exception_ptr pending_;
    ClickCounter clicks_{400, 5};
    WheelAccumulator wheel_;
    platform::WindowHandle capture_ = 0;
    GList* iconList_ = nullptr;
};

}  // namespace velmora::gtk
