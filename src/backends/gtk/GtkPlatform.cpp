#include "GtkPlatform.h"

#include "AtkBridge.h"

#include <dlfcn.h>
#include <fenv.h>
#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "BenchTrace.h"
#include "base/Exceptions.h"
#include "platform/DesktopScale.h"
#include "CairoCanvas.h"
#include "DesktopIdentity.h"
#include "EngineEnvironment.h"
#include "MessageDialog.h"
#include "ProgramIcon.h"
#include "ScaleConversion.h"
#include "WebKitEngine.h"

namespace velmora::gtk {

using platform::Message;
using platform::MessageKind;
using platform::RectI;
using platform::SizeI;
using platform::WindowHandle;

namespace {

constexpr const char* kHandleKey = "velmora-window-handle";

gpointer HandleToPointer(WindowHandle handle) { return reinterpret_cast<gpointer>(static_cast<uintptr_t>(handle)); }

WindowHandle HandleOf(gpointer object) {
    if (!object) return 0;
    return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(g_object_get_data(G_OBJECT(object), kHandleKey)));
}

platform::MouseButton ButtonOf(guint button) {
    switch (button) {
    case 2:
        return platform::MouseButton::Middle;
    case 3:
        return platform::MouseButton::Right;
    default:
        return platform::MouseButton::Left;
    }
}

// The rectangle a window moves or resizes to: the asked corner unless
// PosNoMove, the asked size unless PosNoSize, the current rest.
RectI PlacedRect(const RectI& current, const RectI& asked, unsigned flags) {
    RectI next = current;
    if (!(flags & platform::PosNoMove)) {
        next = {asked.left, asked.top, asked.left + current.Width(), asked.top + current.Height()};
    }
    if (!(flags & platform::PosNoSize)) {
        next.right = next.left + asked.Width();
        next.bottom = next.top + asked.Height();
    }
    return next;
}

// A widget's scale factor; without one, the primary monitor's.
int ScaleOfWidget(GtkWidget* widget) {
    if (widget) return std::max(1, gtk_widget_get_scale_factor(widget));
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
    if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
    return monitor ? std::max(1, gdk_monitor_get_scale_factor(monitor)) : 1;
}

// The desktop's font DPI (GTK keeps it in 1024ths); 0 when it sets none.
double DesktopFontDpi() {
    GtkSettings* settings = gtk_settings_get_default();
    if (!settings) return 0;
    gint dpi = -1;
    g_object_get(settings, "gtk-xft-dpi", &dpi, nullptr);
    return dpi > 0 ? dpi / 1024.0 : 0;
}

}  // namespace

struct GtkPlatform::TopLevel {
    WindowHandle handle = 0;
    platform::WindowKind kind = platform::WindowKind::Form;
    platform::IWindowEvents* events = nullptr;
    std::string title;

    // None for a window of kind Application, or without a display; also none
    // once GTK destroyed the window behind the toolkit's back.
    GtkWidget* window = nullptr;
    GtkWidget* overlay = nullptr;
    GtkWidget* area = nullptr;
    bool everMapped = false;
    bool movedByProgram = false;
    platform::PointI initialPosition;
    // Client size asked for (logical pixels) until the window system answers.
    std::optional<SizeI> pendingClient;
    unsigned configureCount = 0;
    unsigned configureCountAtRequest = 0;
    // The DPI the toolkit was told last.
    int lastDpi = 96;
};

struct GtkPlatform::Display {
    WindowHandle handle = 0;
    GtkWidget* widget = nullptr;
    // The top-level whose overlay holds the widget; 0 once that window is gone.
    WindowHandle parent = 0;
    RectI logicalRect;  // in the parent's client area, GTK logical pixels
};

struct GtkPlatform::NativeTimer {
    GtkPlatform* platform = nullptr;
    platform::TimerHandle handle = 0;
    guint source = 0;
};

GtkPlatform::GtkPlatform() = default;

GtkPlatform::~GtkPlatform() {
    StopAllTimers();
    if (gtkReady_)
        if (GtkSettings* settings = gtk_settings_get_default()) g_signal_handlers_disconnect_by_data(settings, this);
    displays_.clear();
    for (auto& [handle, window] : windows_) {
        if (window->window) {
            g_signal_handlers_disconnect_by_data(window->window, this);
            if (window->area) g_signal_handlers_disconnect_by_data(window->area, this);
            if (window->overlay) g_signal_handlers_disconnect_by_data(window->overlay, this);
            gtk_widget_destroy(window->window);
        }
    }
    windows_.clear();
}

// ---------------------------------------------------------------- process

bool GtkPlatform::EnsureGtk() {
    if (gtkReady_) return true;
    if (gtkTried_) return false;
    gtkTried_ = true;
    // The Wayland app id and the X11 window class both come from these; the
    // desktop file, the icon and the taskbar entry are matched by them.
    static const bool named = [] {
        g_set_prgname(kApplicationId);
        g_set_application_name(kWindowClass);
        return true;
    }();
    (void)named;
    SetEngineEnvironment();
    gtkReady_ = gtk_init_check(nullptr, nullptr);
    if (!gtkReady_) return false;
    // gtk_init derives the class from the program name; the taskbar groups
    // by it and the desktop file's StartupWMClass names it.
    gdk_set_program_class(kWindowClass);
    LoadProgramIcon();
    if (GtkSettings* settings = gtk_settings_get_default()) {
        gint time = 400, distance = 5;
        g_object_get(settings, "gtk-double-click-time", &time, "gtk-double-click-distance", &distance, nullptr);
        clicks_ = ClickCounter(static_cast<unsigned>(std::max(0, time)), std::max(0, distance));
        // The font DPI is how many desktops scale by 125 % or 150 %; a
        // change of it is a DPI change of every window.
        g_signal_connect(settings, "notify::gtk-xft-dpi", G_CALLBACK(OnFontDpi), this);
    }
    return true;
}

void GtkPlatform::InitializeUiThread() {
    if (!EnsureGtk()) {
        const char* display = g_getenv("DISPLAY");
        const char* wayland = g_getenv("WAYLAND_DISPLAY");
        std::string reason = "Cannot open the display";
        if ((!display || !*display) && (!wayland || !*wayland)) reason += " (neither DISPLAY nor WAYLAND_DISPLAY is set)";
        else if (display && *display) reason += std::string(" ") + display;
        // The toolkit's own class, raised here: the last-chance report names
        // this module and the offset of this call, not an unknown place.
        throw EOSError(reason);
    }
}

void GtkPlatform::MaskFloatingPointExceptions() {
    fedisableexcept(FE_ALL_EXCEPT);
#if defined(__x86_64__) || defined(__i386__)
    // FE_ALL_EXCEPT leaves out the denormal-operand kind; mask it too, in
    // both the SSE and the x87 control words.
    unsigned int mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr |= 0x1F80u;  // all six exception masks
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    unsigned short x87 = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87));
    x87 |= 0x3Fu;
    __asm__ volatile("fldcw %0" : : "m"(x87));
#endif
}

std::string GtkPlatform::ExecutablePath() {
    std::string buffer(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return {};
    buffer.resize(static_cast<size_t>(length));
    return buffer;
}

std::string GtkPlatform::UserDataFolder() { return g_get_user_config_dir(); }

platform::CodeLocation GtkPlatform::LocateCode(const void* address) {
    platform::CodeLocation location;
    Dl_info info{};
    if (address && dladdr(address, &info) && info.dli_fname) {
        const char* name = std::strrchr(info.dli_fname, '/');
        location.moduleFileName = name ? name + 1 : info.dli_fname;
        location.offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    } else {
        location.moduleFileName = "Velmora";
        location.offset = reinterpret_cast<std::uintptr_t>(address);
    }
    return location;
}

// The version only chooses among visual styles that imitate system releases;
// every Linux desktop gets the newest one.
platform::OsVersion GtkPlatform::GetOsVersion() { return {10, 0}; }

void GtkPlatform::LoadProgramIcon() {
    iconList_ = LoadProgramIcons(ExecutablePath());
    if (iconList_) gtk_window_set_default_icon_list(iconList_.get());
}

// ---------------------------------------------------------------- windows

GtkWidget* GtkPlatform::TopLevelWidget(WindowHandle handle) {
    if (TopLevel* w = FindTopLevel(handle)) return w->window;
    if (Display* d = FindDisplay(handle)) return d->widget;
    return nullptr;
}

void GtkPlatform::PublishAccessibleTree(WindowHandle window, platform::IAccessibleNode* root) {
    accessibility_.Publish(window, root);
}

platform::IAccessibilityEvents* GtkPlatform::AccessibilityEvents() { return &accessibility_; }

GtkWidget* GtkPlatform::DrawingArea(WindowHandle handle) {
    TopLevel* w = FindTopLevel(handle);
    return w ? w->area : nullptr;
}

GtkPlatform::TopLevel* GtkPlatform::FindTopLevel(WindowHandle handle) {
    auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : it->second.get();
}

GtkPlatform::Display* GtkPlatform::FindDisplay(WindowHandle handle) {
    auto it = displays_.find(handle);
    return it == displays_.end() ? nullptr : it->second.get();
}

GtkPlatform::TopLevel* GtkPlatform::FindGtkWindow(WindowHandle handle) {
    TopLevel* window = FindTopLevel(handle);
    return (window && window->window) ? window : nullptr;
}

int GtkPlatform::ScaleOf(const TopLevel& window) { return ScaleOfWidget(window.window); }

int GtkPlatform::ScaleOf(const Display& display) { return ScaleOfWidget(display.widget); }

int GtkPlatform::DpiOf(const TopLevel& window) { return platform::DesktopDpi(ScaleOf(window), DesktopFontDpi()); }

double GtkPlatform::TextScaleOf(const TopLevel& window) {
    return DpiOf(window) / (96.0 * ScaleOf(window));
}

void GtkPlatform::NoticeDpi(TopLevel& window) {
    const int dpi = DpiOf(window);
    if (dpi == window.lastDpi) return;
    window.lastDpi = dpi;
    PostCoalesced({.kind = MessageKind::DpiChanged, .window = window.handle, .dpi = dpi});
    // The toolkit draws everything again at the new scale; the whole factor
    // alone would not make GTK do so.
    if (window.area) gtk_widget_queue_draw(window.area);
}

WindowHandle GtkPlatform::CreateNativeWindow(const platform::WindowCreateParams& params,
                                             platform::IWindowEvents* events) {
    auto entry = std::make_unique<TopLevel>();
    entry->handle = NewHandle();
    entry->kind = params.kind;
    entry->events = events;
    entry->title = params.title;
    const WindowHandle handle = entry->handle;

    if (params.kind == platform::WindowKind::Application || !EnsureGtk()) {
        // Application: see the header, the main window carries the taskbar entry.
        windows_.emplace(handle, std::move(entry));
        return handle;
    }

    GtkWidget* window = NewAccessibleWindow();
    gtk_window_set_title(GTK_WINDOW(window), params.title.c_str());
    gtk_window_set_resizable(GTK_WINDOW(window), TRUE);
    if (params.useProgramIcon && iconList_) gtk_window_set_icon_list(GTK_WINDOW(window), iconList_.get());
    if (TopLevel* owner = FindGtkWindow(params.owner))
        gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(owner->window));

    GtkWidget* overlay = gtk_overlay_new();
    GtkWidget* area = gtk_drawing_area_new();
    gtk_widget_set_can_focus(area, TRUE);
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK |
                                    GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK |
                                    GDK_TOUCH_MASK);
    gtk_container_add(GTK_CONTAINER(overlay), area);
    gtk_container_add(GTK_CONTAINER(window), overlay);
    gtk_widget_show(area);
    gtk_widget_show(overlay);
    gtk_widget_grab_focus(area);

    for (GtkWidget* widget : {window, overlay, area}) g_object_set_data(G_OBJECT(widget), kHandleKey, HandleToPointer(handle));
    entry->window = window;
    entry->overlay = overlay;
    entry->area = area;
    // Before it is mapped GTK knows no frame and no placement; the window
    // manager will choose the position (see SetWindowBounds).
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(window), &x, &y);
    const int scale = ScaleOf(*entry);
    entry->lastDpi = DpiOf(*entry);
    entry->initialPosition = {x * scale, y * scale};
    TopLevel& ref = *entry;
    windows_.emplace(handle, std::move(entry));
    ConnectWindowSignals(ref);
    return handle;
}

void GtkPlatform::ConnectWindowSignals(TopLevel& w) {
    g_signal_connect(w.window, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(w.window, "configure-event", G_CALLBACK(OnConfigure), this);
    g_signal_connect(w.window, "map-event", G_CALLBACK(OnMap), this);
    g_signal_connect(w.window, "notify::scale-factor", G_CALLBACK(OnScaleFactor), this);
    g_signal_connect(w.window, "notify::is-active", G_CALLBACK(OnIsActive), this);
    g_signal_connect(w.window, "destroy", G_CALLBACK(OnWindowDestroyed), this);
    g_signal_connect(w.window, "key-press-event", G_CALLBACK(OnWindowKey), this);
    g_signal_connect(w.window, "key-release-event", G_CALLBACK(OnWindowKey), this);
    g_signal_connect(w.overlay, "get-child-position", G_CALLBACK(OnChildPosition), this);
    g_signal_connect(w.area, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(w.area, "size-allocate", G_CALLBACK(OnAreaAllocate), this);
    g_signal_connect(w.area, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(w.area, "button-release-event", G_CALLBACK(OnButtonRelease), this);
    g_signal_connect(w.area, "motion-notify-event", G_CALLBACK(OnMotion), this);
    g_signal_connect(w.area, "leave-notify-event", G_CALLBACK(OnLeave), this);
    g_signal_connect(w.area, "scroll-event", G_CALLBACK(OnScroll), this);
    g_signal_connect(w.area, "key-press-event", G_CALLBACK(OnKey), this);
    g_signal_connect(w.area, "key-release-event", G_CALLBACK(OnKey), this);
    g_signal_connect(w.area, "focus-in-event", G_CALLBACK(OnFocus), this);
    g_signal_connect(w.area, "focus-out-event", G_CALLBACK(OnFocus), this);
    g_signal_connect(w.area, "touch-event", G_CALLBACK(OnTouch), this);
}

void GtkPlatform::DestroyNativeWindow(WindowHandle handle) {
    if (FindDisplay(handle)) {
        DetachDisplay(handle);
        return;
    }
    auto it = windows_.find(handle);
    if (it == windows_.end()) return;
    TopLevel& w = *it->second;
    // Displays inside it go with it; their engines keep their own reference.
    for (auto& [h, display] : displays_)
        if (display->parent == handle) display->parent = 0;
    if (capture_ == handle) capture_ = 0;
    if (w.window) {
        g_signal_handlers_disconnect_by_data(w.window, this);
        g_signal_handlers_disconnect_by_data(w.overlay, this);
        g_signal_handlers_disconnect_by_data(w.area, this);
        gtk_widget_destroy(w.window);
    }
    windows_.erase(it);
    // Messages already queued for it are dropped when dispatched (no window).
}

void GtkPlatform::SetWindowTitle(WindowHandle handle, const std::string& title) {
    TopLevel* w = FindTopLevel(handle);
    if (!w) return;
    w->title = title;
    if (w->window) gtk_window_set_title(GTK_WINDOW(w->window), title.c_str());
}

RectI GtkPlatform::GetWindowBounds(WindowHandle handle) {
    if (TopLevel* w = FindTopLevel(handle)) return TopLevelBounds(*w);
    if (Display* d = FindDisplay(handle)) return DisplayBounds(*d);
    return {};
}

RectI GtkPlatform::DisplayBounds(const Display& d) {
    const int scale = ScaleOf(d);
    return {d.logicalRect.left * scale, d.logicalRect.top * scale, d.logicalRect.right * scale,
            d.logicalRect.bottom * scale};
}

RectI GtkPlatform::TopLevelBounds(TopLevel& w) {
    if (!w.window) return {};
    const int scale = ScaleOf(w);
    GdkWindow* gdkWindow = gtk_widget_get_window(w.window);
    if (gdkWindow && gtk_widget_get_mapped(w.window)) {
        // Position and frame from the window system; the client part from
        // TopLevelClientSize, so a resize not yet answered reads back as asked.
        GdkRectangle frame;
        gdk_window_get_frame_extents(gdkWindow, &frame);
        const int frameWidth = std::max(0, frame.width - gdk_window_get_width(gdkWindow)) * scale;
        const int frameHeight = std::max(0, frame.height - gdk_window_get_height(gdkWindow)) * scale;
        const SizeI client = TopLevelClientSize(w);
        const int left = frame.x * scale, top = frame.y * scale;
        return {left, top, left + client.width + frameWidth, top + client.height + frameHeight};
    }
    // Not on screen: no frame is known yet, so the outer rectangle is the
    // client area at the position GTK will ask for.
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(w.window), &x, &y);
    const SizeI client = TopLevelClientSize(w);
    return {x * scale, y * scale, x * scale + client.width, y * scale + client.height};
}

SizeI GtkPlatform::GetClientSize(WindowHandle handle) {
    if (TopLevel* w = FindTopLevel(handle)) return TopLevelClientSize(*w);
    if (Display* d = FindDisplay(handle)) {
        const RectI bounds = DisplayBounds(*d);
        return {bounds.Width(), bounds.Height()};
    }
    return {};
}

SizeI GtkPlatform::TopLevelClientSize(TopLevel& w) {
    if (!w.window) return {};
    const int scale = ScaleOf(w);
    if (w.pendingClient) return {w.pendingClient->width * scale, w.pendingClient->height * scale};
    if (gtk_widget_get_realized(w.area)) {
        GtkAllocation allocation;
        gtk_widget_get_allocation(w.area, &allocation);
        return {allocation.width * scale, allocation.height * scale};
    }
    int width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(w.window), &width, &height);
    return {width * scale, height * scale};
}

void GtkPlatform::SetClientSize(WindowHandle handle, SizeI size) {
    TopLevel* w = FindGtkWindow(handle);
    if (!w) return;
    const int scale = ScaleOf(*w);
    const SizeI logical{std::max(1, DeviceToLogicalExtent(size.width, scale)),
                        std::max(1, DeviceToLogicalExtent(size.height, scale))};
    // The window system answers a resize of a mapped window later; until then
    // the requested size is the one to report, as the toolkit reads it back
    // right away.
    w->pendingClient = logical;
    w->configureCountAtRequest = w->configureCount;
    gtk_window_resize(GTK_WINDOW(w->window), logical.width, logical.height);
}

void GtkPlatform::SetWindowBounds(WindowHandle handle, const RectI& bounds) {
    TopLevel* w = FindGtkWindow(handle);
    if (!w) return;
    const int scale = ScaleOf(*w);
    // Until the window has been on screen, a move to the position reported at
    // creation is "leave it where the window manager puts it": GTK cannot know
    // that position beforehand, and moving there explicitly would pin every
    // new window to the screen corner.
    const bool keepsDefault = !w->everMapped && !w->movedByProgram && bounds.left == w->initialPosition.x &&
                              bounds.top == w->initialPosition.y;
    if (!keepsDefault) {
        w->movedByProgram = true;
        gtk_window_move(GTK_WINDOW(w->window), DeviceToLogicalPosition(bounds.left, scale),
                        DeviceToLogicalPosition(bounds.top, scale));
    }
    const RectI outer = TopLevelBounds(*w);
    const SizeI client = TopLevelClientSize(*w);
    const int frameWidth = std::max(0, outer.Width() - client.width);
    const int frameHeight = std::max(0, outer.Height() - client.height);
    SetClientSize(handle, {std::max(1, bounds.Width() - frameWidth), std::max(1, bounds.Height() - frameHeight)});
}

void GtkPlatform::ShowWindow(WindowHandle handle) {
    if (GtkWidget* widget = TopLevelWidget(handle)) gtk_widget_show(widget);
}

void GtkPlatform::HideWindow(WindowHandle handle) {
    if (TopLevel* w = FindGtkWindow(handle)) gtk_widget_hide(w->window);
    else if (Display* d = FindDisplay(handle)) HideDisplay(*d);
}

bool GtkPlatform::IsWindowVisible(WindowHandle handle) {
    GtkWidget* widget = TopLevelWidget(handle);
    return widget && gtk_widget_get_visible(widget);
}

void GtkPlatform::ActivateWindow(WindowHandle handle) {
    if (TopLevel* w = FindGtkWindow(handle)) gtk_window_present(GTK_WINDOW(w->window));
}

WindowHandle GtkPlatform::ActiveWindow() {
    for (auto& [handle, w] : windows_)
        if (w->window && gtk_window_is_active(GTK_WINDOW(w->window))) return handle;
    return 0;
}

void GtkPlatform::InvalidateWindow(WindowHandle handle) {
    if (TopLevel* w = FindGtkWindow(handle)) gtk_widget_queue_draw(w->area);
}

// A pointer pressed in a drawing area stays with it until released (GDK's
// implicit grab), which is all the capture the toolkit needs; the handle is
// kept so releases outside still reach the capturing window.
void GtkPlatform::SetMouseCapture(WindowHandle handle) { capture_ = handle; }

void GtkPlatform::ReleaseMouseCapture() { capture_ = 0; }

int GtkPlatform::GetWindowDpi(WindowHandle handle) {
    if (TopLevel* w = FindTopLevel(handle)) return DpiOf(*w);
    if (Display* d = FindDisplay(handle)) {
        if (TopLevel* parent = FindTopLevel(d->parent)) return DpiOf(*parent);
        return platform::DesktopDpi(ScaleOf(*d), DesktopFontDpi());
    }
    return 96;
}

bool GtkPlatform::TouchAvailable() {
    if (!EnsureGtk()) return false;
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
    return seat && (gdk_seat_get_capabilities(seat) & GDK_SEAT_CAPABILITY_TOUCH);
}

// ---------------------------------------------------------------- child windows

WindowHandle GtkPlatform::AttachDisplay(GtkWidget* widget, WindowHandle mainWindow, const RectI& bounds) {
    TopLevel* parent = FindGtkWindow(mainWindow);
    if (!parent || !widget) return 0;
    auto entry = std::make_unique<Display>();
    entry->handle = NewHandle();
    entry->widget = widget;
    entry->parent = mainWindow;
    entry->logicalRect = DeviceToLogicalRect(bounds, ScaleOf(*parent));
    g_object_set_data(G_OBJECT(widget), kHandleKey, HandleToPointer(entry->handle));
    gtk_overlay_add_overlay(GTK_OVERLAY(parent->overlay), widget);
    const WindowHandle handle = entry->handle;
    displays_.emplace(handle, std::move(entry));
    gtk_widget_show(widget);
    return handle;
}

void GtkPlatform::DetachDisplay(WindowHandle handle) {
    auto it = displays_.find(handle);
    if (it == displays_.end()) return;
    Display& d = *it->second;
    g_object_set_data(G_OBJECT(d.widget), kHandleKey, nullptr);
    if (GtkWidget* container = gtk_widget_get_parent(d.widget))
        gtk_container_remove(GTK_CONTAINER(container), d.widget);
    displays_.erase(it);
}

void GtkPlatform::HideDisplay(Display& display) {
    // GTK leaves a window without a focus widget when the focused one is
    // hidden, and then no key reaches the drawn controls at all: hand the
    // keyboard back to them first.
    TakeKeyboardFromDisplay(display.widget);
    gtk_widget_hide(display.widget);
}

void GtkPlatform::TakeKeyboardFromDisplay(GtkWidget* widget) {
    Display* display = widget ? FindDisplay(HandleOf(widget)) : nullptr;
    TopLevel* parent = display ? FindGtkWindow(display->parent) : nullptr;
    if (!parent) return;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(parent->window));
    if (focus && (focus == widget || gtk_widget_is_ancestor(focus, widget))) gtk_widget_grab_focus(parent->area);
}

void GtkPlatform::HideDisplayWidget(GtkWidget* widget) {
    if (Display* display = FindDisplay(HandleOf(widget))) HideDisplay(*display);
    else if (widget) gtk_widget_hide(widget);
}

void GtkPlatform::UpdateDisplayAllocation(Display& display) {
    if (TopLevel* parent = FindGtkWindow(display.parent)) gtk_widget_queue_resize(parent->overlay);
}

void GtkPlatform::SetWindowPos(WindowHandle handle, const RectI& rect, unsigned flags) {
    if (TopLevel* w = FindGtkWindow(handle)) PlaceTopLevel(*w, rect, flags);
    else if (Display* d = FindDisplay(handle)) PlaceDisplay(*d, rect, flags);
}

void GtkPlatform::PlaceTopLevel(TopLevel& w, const RectI& rect, unsigned flags) {
    if (!(flags & platform::PosNoMove) || !(flags & platform::PosNoSize))
        SetWindowBounds(w.handle, PlacedRect(TopLevelBounds(w), rect, flags));
    if (flags & platform::PosShowWindow) gtk_widget_show(w.window);
    if (flags & platform::PosHideWindow) gtk_widget_hide(w.window);
}

void GtkPlatform::PlaceDisplay(Display& d, const RectI& rect, unsigned flags) {
    // Asked in the parent's device pixels, kept in its logical ones.
    TopLevel* parent = FindGtkWindow(d.parent);
    const int scale = parent ? ScaleOf(*parent) : 1;
    const RectI next = PlacedRect(d.logicalRect, DeviceToLogicalRect(rect, scale), flags);
    if (!(flags & platform::PosNoMove)) VELMORA_BENCH_TRACE_POINT("pos", next.left, next.top);
    if (!(next == d.logicalRect)) {
        d.logicalRect = next;
        UpdateDisplayAllocation(d);
    }
    if (flags & platform::PosShowWindow) gtk_widget_show(d.widget);
    if (flags & platform::PosHideWindow) HideDisplay(d);
}

void GtkPlatform::SetParentWindow(WindowHandle child, WindowHandle parent, bool toBottom) {
    Display* c = FindDisplay(child);
    if (!c) return;
    // A display inside another display lives in the same overlay: GTK has one
    // stacking level for them, the main window's content.
    for (Display* inner = FindDisplay(parent); inner; inner = FindDisplay(parent)) parent = inner->parent;
    TopLevel* target = FindGtkWindow(parent);
    if (!target) return;
    if (c->parent != target->handle || !gtk_widget_get_parent(c->widget)) {
        // Kept alive while it has no container.
        GObjectPtr<GtkWidget> keep(GTK_WIDGET(g_object_ref(c->widget)));
        if (GtkWidget* container = gtk_widget_get_parent(c->widget))
            gtk_container_remove(GTK_CONTAINER(container), c->widget);
        gtk_overlay_add_overlay(GTK_OVERLAY(target->overlay), c->widget);
        c->parent = target->handle;
    }
    if (toBottom) gtk_overlay_reorder_overlay(GTK_OVERLAY(target->overlay), c->widget, 0);
}

WindowHandle GtkPlatform::GetParentWindow(WindowHandle child) {
    Display* c = FindDisplay(child);
    return c ? c->parent : 0;
}

gboolean GtkPlatform::OnChildPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* allocation, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    Display* d = platform->FindDisplay(HandleOf(child));
    if (!d) return FALSE;
    VELMORA_BENCH_TRACE_POINT("alloc", d->logicalRect.left, d->logicalRect.top);
    allocation->x = d->logicalRect.left;
    allocation->y = d->logicalRect.top;
    allocation->width = std::max(1, d->logicalRect.Width());
    allocation->height = std::max(1, d->logicalRect.Height());
    return TRUE;
}

// ---------------------------------------------------------------- the shared core's hooks

bool GtkPlatform::PumpNativeEvent(bool mayBlock) { return g_main_context_iteration(nullptr, mayBlock); }

void GtkPlatform::WakeLoop() { g_main_context_wakeup(nullptr); }

void GtkPlatform::DeliverToWindow(const Message& message) {
    TopLevel* w = FindTopLevel(message.window);
    if (w && w->events) w->events->OnMessage(message);
}

gboolean GtkPlatform::OnTimer(gpointer data) {
    auto* timer = static_cast<NativeTimer*>(data);
    if (timer->platform->NativeTimerFired(timer->handle)) return G_SOURCE_CONTINUE;
    timer->source = 0;
    timer->platform->nativeTimers_.erase(timer->handle);
    return G_SOURCE_REMOVE;
}

bool GtkPlatform::StartNativeTimer(platform::TimerHandle handle, unsigned intervalMs) {
    auto timer = std::make_unique<NativeTimer>(NativeTimer{.platform = this, .handle = handle});
    timer->source = g_timeout_add(std::max(1u, intervalMs), OnTimer, timer.get());
    nativeTimers_[handle] = std::move(timer);
    return true;
}

void GtkPlatform::StopNativeTimer(platform::TimerHandle handle) {
    auto it = nativeTimers_.find(handle);
    if (it == nativeTimers_.end()) return;
    if (it->second->source) g_source_remove(it->second->source);
    nativeTimers_.erase(it);
}

std::uint64_t GtkPlatform::HighResolutionCounter() { return static_cast<std::uint64_t>(g_get_monotonic_time()); }

std::uint64_t GtkPlatform::HighResolutionFrequency() { return 1000000; }

void GtkPlatform::YieldProcessor() { sched_yield(); }

// ---------------------------------------------------------------- dialogs, drawing

platform::MessageBoxResult GtkPlatform::ShowMessageBox(const platform::MessageBoxRequest& request) {
    const std::string text = DialogText(request.text);
    if (!EnsureGtk()) {
        // Without a display the report still has to reach someone.
        std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), text.c_str());
        return EscapeAnswer(request.buttons);
    }
    GtkWidget* dialog = NewMessageDialog(DialogParent(request), request, text);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return AnswerOf(response).value_or(EscapeAnswer(request.buttons));
}

GtkWindow* GtkPlatform::DialogParent(const platform::MessageBoxRequest& request) {
    if (request.taskModal) return nullptr;
    TopLevel* owner = FindGtkWindow(request.owner);
    if (!owner) owner = FindGtkWindow(ActiveWindow());
    return owner ? GTK_WINDOW(owner->window) : nullptr;
}

std::unique_ptr<platform::ICanvas> GtkPlatform::CreateOffscreenCanvas(SizeI pixels, float scale) {
    return CairoCanvas::CreateImage(pixels, scale);
}

std::unique_ptr<platform::IWebEngine> GtkPlatform::CreateWebEngine(platform::IWebEngineEvents& events,
                                                                   platform::EngineResult& failure) {
    if (!EnsureGtk()) {
        failure = platform::EngineFailure(platform::EngineUnspecifiedFailure, "The web engine needs a display");
        return nullptr;
    }
    failure = {};
    return std::make_unique<WebKitEngine>(*this, events, EnginePages());
}

// ---------------------------------------------------------------- GTK signals

gboolean GtkPlatform::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    if (!w || !w->events) return FALSE;
    VELMORA_BENCH_TRACE_POINT("draw", 0, 0);
    // GTK's context is in its logical pixels, backed by whole device pixels;
    // the part of the scale beyond the whole factor (the font DPI's) goes
    // into the context's matrix, so everything is drawn at the device's own
    // resolution instead of being enlarged afterwards.
    const double textScale = platform->TextScaleOf(*w);
    cairo_scale(cr, textScale, textScale);
    const float scale = static_cast<float>(platform->DpiOf(*w) / 96.0);
    platform->Guarded([&] {
        CairoCanvas canvas(cr, scale);
        w->events->OnPaint(canvas);
    });
    return TRUE;
}

gboolean GtkPlatform::OnDelete(GtkWidget* widget, GdkEvent*, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    platform->Post({.kind = MessageKind::Close, .window = HandleOf(widget)});
    return TRUE;  // the toolkit decides; GTK must not destroy the window itself
}

gboolean GtkPlatform::OnConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    if (TopLevel* w = platform->FindTopLevel(HandleOf(widget))) ++w->configureCount;
    platform->PostCoalesced({.kind = MessageKind::Moved, .window = HandleOf(widget)});
    return FALSE;
}

gboolean GtkPlatform::OnMap(GtkWidget* widget, GdkEvent*, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    if (TopLevel* w = platform->FindTopLevel(HandleOf(widget))) w->everMapped = true;
    return FALSE;
}

void GtkPlatform::OnAreaAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    if (!w || !w->pendingClient) return;
    // The request is settled once the window has the size, or once the window
    // system has answered it with another one (a maximised or tiled window).
    const bool matches = allocation->width == w->pendingClient->width && allocation->height == w->pendingClient->height;
    if (matches || w->configureCount > w->configureCountAtRequest) {
        w->pendingClient.reset();
        platform->PostCoalesced({.kind = MessageKind::Moved, .window = w->handle});
    }
}

void GtkPlatform::OnScaleFactor(GObject* object, GParamSpec*, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(object));
    if (!w) return;
    platform->NoticeDpi(*w);
}

void GtkPlatform::OnFontDpi(GObject*, GParamSpec*, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    for (auto& [handle, window] : platform->windows_)
        if (window->window) platform->NoticeDpi(*window);
}

void GtkPlatform::OnIsActive(GObject* object, GParamSpec*, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    platform->Post({.kind = gtk_window_is_active(GTK_WINDOW(object)) ? MessageKind::Activate : MessageKind::Deactivate,
                    .window = HandleOf(object)});
}

Message GtkPlatform::PointerMessage(const TopLevel& w, MessageKind kind, const GdkEvent* event) {
    gdouble x = 0, y = 0;
    gdk_event_get_coords(event, &x, &y);
    GdkModifierType state{};
    gdk_event_get_state(event, &state);
    const int scale = ScaleOf(w);
    return {.kind = kind,
            .window = w.handle,
            .point = {LogicalToDevicePoint(x, scale), LogicalToDevicePoint(y, scale)},
            .shift = TranslateModifiers(state)};
}

void GtkPlatform::PostPointer(const Message& message) {
    if (message.kind == MessageKind::MouseMove || message.kind == MessageKind::TouchMove) PostCoalesced(message);
    else Post(message);
}

gboolean GtkPlatform::OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    // GTK adds 2BUTTON/3BUTTON events after the plain presses; the click
    // counter already marked the second press.
    if (!w || event->type != GDK_BUTTON_PRESS) return TRUE;
    if (!gtk_widget_has_focus(widget)) gtk_widget_grab_focus(widget);
    Message message = platform->PointerMessage(*w, MessageKind::MouseDown, reinterpret_cast<GdkEvent*>(event));
    message.button = ButtonOf(event->button);
    message.clickCount = platform->clicks_.Press(w->handle, message.button, event->time, static_cast<int>(event->x),
                                                 static_cast<int>(event->y));
    platform->PostPointer(message);
    return TRUE;
}

gboolean GtkPlatform::OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    if (!w) return TRUE;
    Message message = platform->PointerMessage(*w, MessageKind::MouseUp, reinterpret_cast<GdkEvent*>(event));
    message.button = ButtonOf(event->button);
    platform->PostPointer(message);
    return TRUE;
}

gboolean GtkPlatform::OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    if (TopLevel* w = platform->FindTopLevel(HandleOf(widget)))
        platform->PostPointer(platform->PointerMessage(*w, MessageKind::MouseMove, reinterpret_cast<GdkEvent*>(event)));
    return TRUE;
}

gboolean GtkPlatform::OnLeave(GtkWidget* widget, GdkEventCrossing* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    // Crossings caused by grabs (a pressed button, a menu) are no real leave.
    if (event->mode != GDK_CROSSING_NORMAL) return FALSE;
    platform->Post({.kind = MessageKind::MouseLeave, .window = HandleOf(widget)});
    return FALSE;
}

gboolean GtkPlatform::OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    if (!w) return TRUE;
    int delta = 0;
    switch (event->direction) {
    case GDK_SCROLL_UP:
        delta = WheelAccumulator::Notch(true);
        break;
    case GDK_SCROLL_DOWN:
        delta = WheelAccumulator::Notch(false);
        break;
    case GDK_SCROLL_SMOOTH:
        delta = platform->wheel_.AddSmooth(event->delta_y);
        break;
    default:  // horizontal scrolling: the toolkit has no use for it
        return TRUE;
    }
    if (delta == 0) return TRUE;
    Message message = platform->PointerMessage(*w, MessageKind::MouseWheel, reinterpret_cast<GdkEvent*>(event));
    message.wheelDelta = delta;
    platform->PostPointer(message);
    return TRUE;
}

gboolean GtkPlatform::OnKey(GtkWidget* widget, GdkEventKey* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    if (!w) return FALSE;
    const bool press = event->type == GDK_KEY_PRESS;
    const Message message{.kind = press ? MessageKind::KeyDown : MessageKind::KeyUp,
                          .window = w->handle,
                          .key = TranslateKeyval(event->keyval),
                          .shift = TranslateModifiers(event->state)};
    platform->Post(message);
    if (press) {
        // The key's character follows its press, as translated key input does.
        if (char32_t c = TypedCharacter(event->keyval, event->state)) {
            Message typed = message;
            typed.kind = MessageKind::Char;
            typed.character = c;
            platform->Post(typed);
        }
    }
    // Handled: GTK must not move the focus on Tab or arrows by itself.
    return TRUE;
}

gboolean GtkPlatform::OnWindowKey(GtkWidget* widget, GdkEventKey* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    if (!w || !w->area) return FALSE;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(widget));
    if (focus == w->area || focus == nullptr) return FALSE;  // the drawing area's own handler takes it
    // The page keys belong to the window even while the web view has the
    // keyboard: Ctrl+Tab and Ctrl+Shift+Tab go to the toolkit (GTK would
    // otherwise use them to move its own focus).
    if (TranslateKeyval(event->keyval) != platform::Key::Tab || !(event->state & GDK_CONTROL_MASK)) return FALSE;
    return OnKey(w->area, event, self);
}

gboolean GtkPlatform::OnFocus(GtkWidget* widget, GdkEventFocus* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    platform->Post({.kind = event->in ? MessageKind::FocusIn : MessageKind::FocusOut, .window = HandleOf(widget)});
    return FALSE;
}

gboolean GtkPlatform::OnTouch(GtkWidget* widget, GdkEventTouch* event, gpointer self) {
    auto* platform = static_cast<GtkPlatform*>(self);
    TopLevel* w = platform->FindTopLevel(HandleOf(widget));
    if (!w) return FALSE;
    MessageKind kind;
    switch (event->type) {
    case GDK_TOUCH_BEGIN:
        kind = MessageKind::TouchBegin;
        break;
    case GDK_TOUCH_UPDATE:
        kind = MessageKind::TouchMove;
        break;
    case GDK_TOUCH_END:
    case GDK_TOUCH_CANCEL:
        kind = MessageKind::TouchEnd;
        break;
    default:
        return FALSE;
    }
    platform->PostPointer(platform->PointerMessage(*w, kind, reinterpret_cast<GdkEvent*>(event)));
    return TRUE;
}

void GtkPlatform::OnWindowDestroyed(GtkWidget* widget, gpointer self) {
    // Destroyed behind the toolkit's back (e.g. the display connection went):
    // forget the widgets so nothing touches them again.
    auto* platform = static_cast<GtkPlatform*>(self);
    if (TopLevel* w = platform->FindTopLevel(HandleOf(widget))) {
        w->window = nullptr;
        w->overlay = nullptr;
        w->area = nullptr;
    }
}

}  // namespace velmora::gtk

namespace velmora::platform {

std::unique_ptr<Platform> CreateDefaultPlatform() { return std::make_unique<gtk::GtkPlatform>(); }

}  // namespace velmora::platform
