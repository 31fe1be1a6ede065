#include "PageFocus.h"

#include "GtkPlatform.h"

namespace velmora::gtk {

namespace {

// Blurs whatever the page has focused; the document itself keeps the keys.
constexpr const char* kLeaveLinks =
    "if (document.activeElement && document.activeElement !== document.body) document.activeElement.blur();";

}  // namespace

PageFocus::PageFocus(GtkPlatform& platform, platform::IWebEngineEvents& events)
    : platform_(platform), events_(events) {}

PageFocus::~PageFocus() { Detach(); }

void PageFocus::Attach(WebKitWebView* view, GtkWidget* display) {
    if (view == view_ && display == display_) return;
    Detach();
    view_ = view;
    display_ = display;
    if (view_) g_signal_connect(view_, "focus-in-event", G_CALLBACK(OnViewFocusIn), this);
}

void PageFocus::WatchWindow(GtkWidget* toplevel) {
    if (toplevel == toplevel_.get()) return;
    toplevel_.Reset(toplevel);
    if (toplevel_) g_signal_connect(toplevel_.get(), "focus", G_CALLBACK(OnWindowFocusMove), this);
}

void PageFocus::Detach() {
    life_.Renew();
    WatchWindow(nullptr);
    if (view_) g_signal_handlers_disconnect_by_data(view_, this);
    view_ = nullptr;
    display_ = nullptr;
}

bool PageFocus::PageHasKeys() const {
    if (!display_ || !toplevel_) return false;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(toplevel_.get()));
    return focus && (focus == display_ || gtk_widget_is_ancestor(focus, display_));
}

void PageFocus::Take(platform::EngineFocusEntry entry) {
    // A display out of sight cannot hold the keys: GTK would leave the window
    // without a focus widget once it is hidden.
    if (!view_ || !display_ || !gtk_widget_is_visible(display_)) return;
    if (entry != platform::EngineFocusEntry::Keep)
        webkit_web_view_evaluate_javascript(view_, kLeaveLinks, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (gtk_widget_has_focus(GTK_WIDGET(view_))) return;
    taking_ = true;
    gtk_widget_grab_focus(GTK_WIDGET(view_));
    taking_ = false;
}

void PageFocus::Release() {
    if (display_) platform_.TakeKeyboardFromDisplay(display_);
}

gboolean PageFocus::OnViewFocusIn(GtkWidget*, GdkEventFocus*, gpointer self) {
    auto* focus = static_cast<PageFocus*>(self);
    if (focus->taking_) return FALSE;
    // Told through the queue, and only if the page still has the keys then.
    focus->platform_.PostCallback(focus->life_.Guard([focus] {
        if (focus->view_ && gtk_widget_has_focus(GTK_WIDGET(focus->view_))) focus->events_.DisplayFocused();
    }));
    return FALSE;
}

gboolean PageFocus::OnWindowFocusMove(GtkWidget*, GtkDirectionType direction, gpointer self) {
    auto* focus = static_cast<PageFocus*>(self);
    if (!focus->PageHasKeys()) return FALSE;
    // Tab and Shift+Tab out of the page go on in the toolkit's order. Arrow
    // keys the page did not use (it cannot scroll further) must not carry the
    // focus out of it at all.
    if (direction == GTK_DIR_TAB_FORWARD || direction == GTK_DIR_TAB_BACKWARD) {
        const bool forward = direction == GTK_DIR_TAB_FORWARD;
        focus->platform_.PostCallback(
            focus->life_.Guard([focus, forward] { focus->events_.DisplayFocusLeaving(forward); }));
    }
    return TRUE;
}

}  // namespace velmora::gtk
