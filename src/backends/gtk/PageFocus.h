// The keyboard between the window's drawn controls and the engine's page.
//
// The toolkit's web view holding the window's focus means that the WebKit
// view holds GTK's focus: Take and Release follow the view. Inside the page
// WebKit moves over the links itself; past the last one (or before the first)
// it hands the focus back through the top-level's focus chain
// (gtk_widget_child_focus on the window). That request is caught here and
// given to the toolkit, whose tab order decides where the focus goes; GTK
// must not move it to a widget the toolkit does not know. A page that takes
// GTK's focus by itself (an assistive tool put it there) is told to the
// toolkit as well.
//
// WebKit answers keys later: a key press the page did not use comes back
// through the window after the page had it, and the view then lets the next
// press it meets pass by without giving it to the page. When GTK's focus has
// moved on in between (Ctrl+Tab to the table of contents), that press does
// not meet the view, and the first key after the next entry into the page
// would be lost. Such a press is handed to the view here, spent, and goes no
// further: the page had it, and the control that has the focus now was not
// its target.
#pragma once

#include <webkit2/webkit2.h>

#include <deque>

#include "GLibHolders.h"
#include "backends/native/Lifetime.h"
#include "platform/WebEngine.h"

namespace velmora::gtk {

class GtkPlatform;

class PageFocus {
public:
    PageFocus(GtkPlatform& platform, platform::IWebEngineEvents& events);
    ~PageFocus();
    PageFocus(const PageFocus&) = delete;
    PageFocus& operator=(const PageFocus&) = delete;

    // The page's view and the display widget that holds it in the window.
    void Attach(WebKitWebView* view, GtkWidget* display);
    // The top-level window the display is in; nullptr forgets it.
    void WatchWindow(GtkWidget* toplevel);
    // Forgets the view and the window; what was posted is dropped.
    void Detach();

    // The page takes GTK's focus. Entering by Tab or Shift+Tab leaves no link
    // focused, so that the page's own Tab starts at its first link and
    // Shift+Tab at its last, and the reading keys scroll from where the page
    // stands.
    void Take(platform::EngineFocusEntry entry);
    // The drawn controls take the keyboard back if the page has it.
    void Release();
    // GTK's focus is on the page (or inside it).
    bool PageHasKeys() const;

private:
    static gboolean OnViewFocusIn(GtkWidget* widget, GdkEventFocus* event, gpointer self);
    static gboolean OnWindowFocusMove(GtkWidget* window, GtkDirectionType direction, gpointer self);
    static gboolean OnViewKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnWindowKeyPress(GtkWidget* window, GdkEventKey* event, gpointer self);

    // A press the view gave to the page; the copy WebKit sends back is equal
    // in these fields.
    struct SentKey {
        guint32 time;
        guint16 keycode;
        guint keyval;
        guint state;
        bool operator==(const SentKey& other) const {
            return time == other.time && keycode == other.keycode && keyval == other.keyval && state == other.state;
        }
    };
    static SentKey KeyOf(const GdkEventKey& event) {
        return {event.time, event.hardware_keycode, event.keyval, event.state};
    }
    // True (and the press and those before it forgotten) when the press is
    // one the page has had.
    bool TakeBackSent(const SentKey& key);

    GtkPlatform& platform_;
    platform::IWebEngineEvents& events_;
    WebKitWebView* view_ = nullptr;    // weak: the engine owns it
    GtkWidget* display_ = nullptr;     // weak: the engine owns it
    WeakRef<GtkWidget> toplevel_{this};
    // Set while Take grabs the focus: that focus-in is the toolkit's own.
    bool taking_ = false;
    // Presses the page has had, oldest first; the page answers them in
    // order, so one coming back settles those before it. Presses the page
    // used never come back: the list is kept short.
    std::deque<SentKey> sent_;
    platform::Lifetime life_;
};

}  // namespace velmora::gtk
