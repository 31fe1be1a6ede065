// The Linux desktop platform: GTK 3 windows on the GLib main context, cairo and
// pango drawing, WebKitGTK as the web engine.
//
// What it implements for real:
//  - top-level windows (title, bounds, client size read back at once while
//    the window system has not answered a resize yet, show/hide, activation),
//    the scale factor as DPI (96 x scale) and its change notification;
//  - mouse (double-click by the theme's time and distance), wheel (smooth
//    deltas added up to notches), keys and typed characters, focus, touch;
//  - the web engine's display as a child window in the main window's overlay;
//  - message boxes (on stderr without a display), timers, the program icon;
//  - accessibility through ATK (AtkBridge): each window's published tree with
//    roles, names, states, screen extents, focus on request and the default
//    action; changes of names, states, bounds and children are announced; the
//    web view's node is the engine's own accessible, placed in the tree.
// What it leaves out:
//  - mouse capture is GDK's implicit grab of a pressed button; the handle is
//    only remembered;
//  - the OS version is fixed at 10.0 (it only chooses a visual style);
//  - a window of kind Application is only a record (see Taskbar entry);
//  - accessible text, values and descriptions (no control has more than its
//    name to tell).
//
// Windows. A handle names one of two kinds of record, each its own type: a
// TopLevel (a GtkWindow holding an overlay over the drawing area, or only a
// record) or a Display (the engine's widget inside a top-level's overlay,
// placed in that window's client area). Each call looks the handle up among
// the kind it serves.
//
// Queue model. GTK delivers input from inside g_main_context_iteration; the
// signal handlers only translate it into platform::Message and post it to the
// shared core's FIFO (NativePlatform), so the toolkit's own code runs from
// DispatchMessage, outside every GTK C frame. The two exceptions are painting
// (cairo contexts live only inside the "draw" signal) and the web view's mouse
// activation (it must reach the toolkit before the engine sees the click);
// both run Guarded.
//
// Taskbar entry. GTK gives an application one taskbar entry per top-level
// window that is not transient, and the window manager groups them by window
// class; so a window of kind Application is only a record here (title kept, no
// GtkWindow), and the main window itself carries the title and the program icon.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "AtkBridge.h"
#include "InputTranslation.h"
#include "GLibHolders.h"
#include "backends/native/NativePlatform.h"

namespace velmora::gtk {

class GtkPlatform final : public platform::NativePlatform {
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
    // Hands the keyboard back to the drawn controls when the display widget
    // (or something inside it) has it; nothing otherwise.
    void TakeKeyboardFromDisplay(GtkWidget* widget);
    // True once GTK is up (initialises it on first use; false without a display).
    bool EnsureGtk();

    // Test hooks.
    GtkWidget* TopLevelWidget(platform::WindowHandle window);
    GtkWidget* DrawingArea(platform::WindowHandle window);

protected:
    // --- the shared core's hooks ---
    bool PumpNativeEvent(bool mayBlock) override;
    void WakeLoop() override;
    bool StartNativeTimer(platform::TimerHandle timer, unsigned intervalMs) override;
    void StopNativeTimer(platform::TimerHandle timer) override;
    void DeliverToWindow(const platform::Message& message) override;

private:
    struct TopLevel;
    struct Display;
    struct NativeTimer;

    // The record of either kind, or nullptr.
    TopLevel* FindTopLevel(platform::WindowHandle handle);
    Display* FindDisplay(platform::WindowHandle handle);
    // A top-level record that has its GtkWindow.
    TopLevel* FindGtkWindow(platform::WindowHandle handle);
    platform::WindowHandle NewHandle() { return nextHandle_++; }
    int ScaleOf(const TopLevel& window);
    int ScaleOf(const Display& display);
    void ConnectWindowSignals(TopLevel& window);
    void LoadProgramIcon();

    // Top-level windows and displays, each by its own rules.
    platform::RectI TopLevelBounds(TopLevel& window);
    platform::SizeI TopLevelClientSize(TopLevel& window);
    // In the parent's client area, device pixels.
    platform::RectI DisplayBounds(const Display& display);
    void PlaceTopLevel(TopLevel& window, const platform::RectI& rect, unsigned flags);
    void PlaceDisplay(Display& display, const platform::RectI& rect, unsigned flags);
    void UpdateDisplayAllocation(Display& display);
    void HideDisplay(Display& display);

    // A pointer event of a window's drawing area (button, motion, wheel,
    // touch) as a message to that window: its point in device pixels and the
    // modifier keys.
    platform::Message PointerMessage(const TopLevel& window, platform::MessageKind kind, const GdkEvent* event);
    // Moves keep only the latest position waiting; the rest queue in order.
    void PostPointer(const platform::Message& message);

    // The window a message box belongs to: its owner, else the active window;
    // none when task-modal.
    GtkWindow* DialogParent(const platform::MessageBoxRequest& request);

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
    std::map<platform::WindowHandle, std::unique_ptr<TopLevel>> windows_;
    std::map<platform::WindowHandle, std::unique_ptr<Display>> displays_;
    AtkBridge accessibility_{*this};
    std::map<platform::TimerHandle, std::unique_ptr<NativeTimer>> nativeTimers_;
    ClickCounter clicks_{400, 5};
    WheelAccumulator wheel_;
    platform::WindowHandle capture_ = 0;
    IconList iconList_;
};

}  // namespace velmora::gtk
