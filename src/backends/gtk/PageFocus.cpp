#include "PageFocus.h"

#include "GtkPlatform.h"

#include <algorithm>

namespace velmora::gtk {

namespace {

// Blurs whatever the page has focused; the document itself keeps the keys.
constexpr const char* kLeaveLinks =
    "if (document.activeElement && document.activeElement !== document.body) document.activeElement.blur();";

// More presses than a page falls behind by while someone types.
constexpr std::size_t kSentKept = 32;

}  // namespace

PageFocus::PageFocus(GtkPlatform& platform, platform::IWebEngineEvents& events)
    : platform_(platform), events_(events) {}

PageFocus::~PageFocus() { Detach(); }

void PageFocus::Attach(WebKitWebView* view, GtkWidget* display) {
    if (view == view_ && display == display_) return;
    Detach();
    view_ = view;
    display_ = display;
    if (!view_) return;
    g_signal_connect(view_, "focus-in-event", G_CALLBACK(OnViewFocusIn), this);
    // Before the view's own handler, which gives the press to the page.
    g_signal_connect(view_, "key-press-event", G_CALLBACK(OnViewKeyPress), this);
}

void PageFocus::WatchWindow(GtkWidget* toplevel) {
    if (toplevel == toplevel_.get()) return;
    toplevel_.Reset(toplevel);
    if (!toplevel_) return;
    g_signal_connect(toplevel_.get(), "focus", G_CALLBACK(OnWindowFocusMove), this);
    g_signal_connect(toplevel_.get(), "key-press-event", G_CALLBACK(OnWindowKeyPress), this);
}

void PageFocus::Detach() {
    life_.Renew();
    WatchWindow(nullptr);
    if (view_) g_signal_handlers_disconnect_by_data(view_, this);
    view_ = nullptr;
    display_ = nullptr;
    sent_.clear();
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

bool PageFocus::TakeBackSent(const SentKey& key) {
    const auto it = std::find(sent_.begin(), sent_.end(), key);
    if (it == sent_.end()) return false;
    sent_.erase(sent_.begin(), it + 1);
    return true;
}

gboolean PageFocus::OnViewKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* focus = static_cast<PageFocus*>(self);
    const SentKey key = KeyOf(*event);
    // A press without a time cannot be told from a later one; a press coming
    // back passes the view on its way to the window's own keys.
    if (key.time == 0 || focus->TakeBackSent(key)) return FALSE;
    focus->sent_.push_back(key);
    if (focus->sent_.size() > kSentKept) focus->sent_.pop_front();
    return FALSE;
}

gboolean PageFocus::OnWindowKeyPress(GtkWidget* window, GdkEventKey* event, gpointer self) {
    auto* focus = static_cast<PageFocus*>(self);
    if (!focus->view_ || gtk_window_get_focus(GTK_WINDOW(window)) == GTK_WIDGET(focus->view_)) return FALSE;
    if (event->time == 0 || !focus->TakeBackSent(KeyOf(*event))) return FALSE;
    // The view lets this one pass without giving it to the page. Shown a
    // copy that no key binding knows, it does nothing else with it.
    GdkEvent* spent = gdk_event_copy(reinterpret_cast<GdkEvent*>(event));
    spent->key.keyval = GDK_KEY_VoidSymbol;
    spent->key.state = 0;
    if (auto handler = GTK_WIDGET_GET_CLASS(focus->view_)->key_press_event)
        handler(GTK_WIDGET(focus->view_), &spent->key);
    gdk_event_free(spent);
    return TRUE;
}

}  // namespace velmora::gtk
