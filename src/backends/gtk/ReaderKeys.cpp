#include "ReaderKeys.h"

#include <array>
#include <cmath>

#include "GLibHolders.h"

namespace velmora::gtk {

namespace {

constexpr std::array<double, 13> kZoomLevels = {0.3, 0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

}  // namespace

double ReaderKeys::ZoomStep(double level, int direction) {
    if (direction > 0) {
        for (double z : kZoomLevels)
            if (z > level + 1e-6) return z;
        return kZoomLevels.back();
    }
    for (auto it = kZoomLevels.rbegin(); it != kZoomLevels.rend(); ++it)
        if (*it < level - 1e-6) return *it;
    return kZoomLevels.front();
}

ReaderKeys::Action ReaderKeys::KeyAction(guint keyval, guint state, bool pageHasKeys) {
    const guint mods = state & (GDK_CONTROL_MASK | GDK_MOD1_MASK);
    const bool ctrl = mods == GDK_CONTROL_MASK;
    const bool alt = mods == GDK_MOD1_MASK;
    switch (keyval) {
    case GDK_KEY_F5:
        return mods ? Action::None : Action::Reload;
    case GDK_KEY_r:
    case GDK_KEY_R:
        return ctrl ? Action::Reload : Action::None;
    case GDK_KEY_p:
    case GDK_KEY_P:
        return ctrl ? Action::Print : Action::None;
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add:
        return ctrl ? Action::ZoomIn : Action::None;
    case GDK_KEY_minus:
    case GDK_KEY_underscore:
    case GDK_KEY_KP_Subtract:
        return ctrl ? Action::ZoomOut : Action::None;
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
        return ctrl ? Action::ZoomReset : Action::None;
    // Alt+arrows move the focus among the window's own controls elsewhere;
    // they go back and forward only inside the page.
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        return alt && pageHasKeys ? Action::Back : Action::None;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        return alt && pageHasKeys ? Action::Forward : Action::None;
    case GDK_KEY_Back:
        return Action::Back;
    case GDK_KEY_Forward:
        return Action::Forward;
    default:
        return Action::None;
    }
}

void ReaderKeys::Attach(WebKitWebView* view) {
    view_ = view;
    g_signal_connect(view_, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(view_, "scroll-event", G_CALLBACK(OnScroll), this);
}

void ReaderKeys::WatchWindow(GtkWidget* toplevel) {
    if (toplevel == toplevel_.get()) return;
    toplevel_.Reset(toplevel);
    if (toplevel_) g_signal_connect(toplevel_.get(), "key-press-event", G_CALLBACK(OnWindowKey), this);
}

void ReaderKeys::Detach() {
    WatchWindow(nullptr);
    if (view_) g_signal_handlers_disconnect_by_data(view_, this);
    view_ = nullptr;
}

bool ReaderKeys::HandleKey(const GdkEventKey* event) {
    if (!view_ || !gtk_widget_is_drawable(GTK_WIDGET(view_))) return false;
    const Action action = KeyAction(event->keyval, event->state, gtk_widget_has_focus(GTK_WIDGET(view_)));
    if (action == Action::None) return false;
    Run(action);
    return true;
}

void ReaderKeys::Run(Action action) {
    switch (action) {
    case Action::None: break;
    case Action::Reload: reload_(); break;
    case Action::Print: Print(); break;
    case Action::ZoomIn: Zoom(1); break;
    case Action::ZoomOut: Zoom(-1); break;
    case Action::ZoomReset: Zoom(0); break;
    case Action::Back: webkit_web_view_go_back(view_); break;
    case Action::Forward: webkit_web_view_go_forward(view_); break;
    }
}

void ReaderKeys::Zoom(int direction) {
    const double level = direction == 0 ? 1.0 : ZoomStep(webkit_web_view_get_zoom_level(view_), direction);
    webkit_web_view_set_zoom_level(view_, level);
}

void ReaderKeys::Print() {
    const GObjectPtr<WebKitPrintOperation> operation(webkit_print_operation_new(view_));
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
    webkit_print_operation_run_dialog(operation.get(), GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
}

gboolean ReaderKeys::OnWindowKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    return static_cast<ReaderKeys*>(self)->HandleKey(event) ? TRUE : FALSE;
}

gboolean ReaderKeys::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->type != GDK_BUTTON_PRESS) return FALSE;
    auto* keys = static_cast<ReaderKeys*>(self);
    // The mouse's back and forward buttons.
    if (event->button == 8) {
        keys->Run(Action::Back);
        return TRUE;
    }
    if (event->button == 9) {
        keys->Run(Action::Forward);
        return TRUE;
    }
    return FALSE;
}

gboolean ReaderKeys::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
    if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK)) != GDK_CONTROL_MASK) return FALSE;
    auto* keys = static_cast<ReaderKeys*>(self);
    int direction = 0;
    if (event->direction == GDK_SCROLL_UP) direction = 1;
    else if (event->direction == GDK_SCROLL_DOWN) direction = -1;
    else if (event->direction == GDK_SCROLL_SMOOTH) {
        // Touchpads report fractions of a notch: one step per notch.
        keys->zoomScroll_ -= event->delta_y;
        if (std::fabs(keys->zoomScroll_) >= 1.0) {
            direction = keys->zoomScroll_ > 0 ? 1 : -1;
            keys->zoomScroll_ = 0;
        }
    }
    if (direction) keys->Zoom(direction);
    return TRUE;
}

}  // namespace velmora::gtk
