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
#pragma once

#include <webkit2/webkit2.h>

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

    GtkPlatform& platform_;
    platform::IWebEngineEvents& events_;
    WebKitWebView* view_ = nullptr;    // weak: the engine owns it
    GtkWidget* display_ = nullptr;     // weak: the engine owns it
    WeakRef<GtkWidget> toplevel_{this};
    // Set while Take grabs the focus: that focus-in is the toolkit's own.
    bool taking_ = false;
    platform::Lifetime life_;
};

}  // namespace velmora::gtk
