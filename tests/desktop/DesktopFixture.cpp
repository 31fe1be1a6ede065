#include "DesktopFixture.h"

#include <cstdlib>

namespace velmora::gtk::testing {

namespace {
// The virtual display has no GPU; the engine must not try to composite on it.
// A value the user has set stays.
const bool kEngineEnvironment = [] {
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
    // A GTK or GLib critical is a misuse of the toolkit by the backend: fail
    // loudly instead of printing a line nobody reads.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR));
    return true;
}();
}  // namespace

std::uint32_t PixelAt(GtkWidget* widget, int x, int y) {
    GdkWindow* window = gtk_widget_get_window(widget);
    if (!window) return 0xFFFFFFFFu;
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(window, x, y, 1, 1);
    if (!pixbuf) return 0xFFFFFFFFu;
    const guchar* p = gdk_pixbuf_get_pixels(pixbuf);
    const std::uint32_t rgb = (static_cast<std::uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
    g_object_unref(pixbuf);
    return rgb;
}

}  // namespace velmora::gtk::testing
