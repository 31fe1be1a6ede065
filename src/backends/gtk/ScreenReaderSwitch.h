// Whether the desktop's screen reader is switched on, as the accessibility
// bus tells it (org.a11y.Status.ScreenReaderEnabled, which a desktop sets
// from its screen reader setting), followed while the program runs.
//
// The page reads differently for a screen reader: with this engine a screen
// reader reads a page by its caret, so the page shows a caret the arrows move
// (caret browsing) while the screen reader is on, and the arrows scroll as in
// any browser page while it is off.
//
// No session bus, no accessibility bus or no answer all read as "off". The
// first answer comes from the main loop; nothing blocks.
#pragma once

#include <gio/gio.h>

#include <functional>

#include "GLibHolders.h"

namespace velmora::gtk {

class ScreenReaderSwitch {
public:
    // changed runs on the main loop with each new answer, the first included.
    explicit ScreenReaderSwitch(std::function<void(bool on)> changed);
    ~ScreenReaderSwitch();
    ScreenReaderSwitch(const ScreenReaderSwitch&) = delete;
    ScreenReaderSwitch& operator=(const ScreenReaderSwitch&) = delete;

private:
    static void OnProxy(GObject* source, GAsyncResult* result, gpointer self);
    static void OnPropertiesChanged(GDBusProxy* proxy, GVariant* changed, GStrv invalidated, gpointer self);
    void Read();

    std::function<void(bool)> changed_;
    GObjectPtr<GCancellable> cancellable_;
    GObjectPtr<GDBusProxy> proxy_;
};

}  // namespace velmora::gtk
