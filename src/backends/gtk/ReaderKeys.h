// The reader's own keys and buttons over the page: F5 and Ctrl+R load the
// chapter again, Ctrl+P prints it, Ctrl with +, - and 0 (or the wheel) zoom,
// Alt with the arrows (inside the page) and the mouse's back and forward
// buttons go through the history. The keys work while the page is shown,
// whichever control of the window has the keyboard.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <utility>

#include "GLibHolders.h"

namespace velmora::gtk {

class ReaderKeys {
public:
    explicit ReaderKeys(std::function<void()> reload) : reload_(std::move(reload)) {}
    ~ReaderKeys() { Detach(); }
    ReaderKeys(const ReaderKeys&) = delete;
    ReaderKeys& operator=(const ReaderKeys&) = delete;

    void Attach(WebKitWebView* view);
    // The window whose keys are watched (held weakly); null: none.
    void WatchWindow(GtkWidget* toplevel);
    void Detach();

    enum class Action { None, Reload, Print, ZoomIn, ZoomOut, ZoomReset, Back, Forward };
    // What a key does. state: the event's modifier state; pageHasKeys: the
    // page itself has the keyboard.
    static Action KeyAction(guint keyval, guint state, bool pageHasKeys);
    // The zoom level one step in or out from the given one.
    static double ZoomStep(double level, int direction);

private:
    bool HandleKey(const GdkEventKey* event);
    void Run(Action action);
    // direction 0: back to the normal size.
    void Zoom(int direction);
    void Print();

    static gboolean OnWindowKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);

    std::function<void()> reload_;
    WebKitWebView* view_ = nullptr;  // borrowed from the engine
    WeakRef<GtkWidget> toplevel_{this};
    double zoomScroll_ = 0;
};

}  // namespace velmora::gtk
