#include "DesktopFixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace velmora::gtk::testing {

namespace {

std::string& PrivateHome() {
    static std::string home;
    return home;
}

// The tests run with a home folder of their own, so that nothing a test
// provokes lands in the user's folders, and with a desktop whose browser is a
// script that notes the address it was asked to open.
void UsePrivateHome() {
    gchar* root = g_dir_make_tmp("velmora-desktop-home-XXXXXX", nullptr);
    if (!root) return;
    const std::string home = root;
    g_free(root);
    PrivateHome() = home;
    for (const char* dir : {"/config", "/data/applications", "/cache", "/Downloads"})
        std::filesystem::create_directories(home + dir);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_DOWNLOAD_DIR", (home + "/Downloads").c_str(), 1);
    const std::string script = home + "/fake-browser.sh";
    // What the browser inherited of the variables the backend sets for itself
    // goes beside the address, written before it.
    std::ofstream(script) << "#!/bin/sh\nenv | grep -E '^(GDK_GL|WEBKIT_DISABLE_DMABUF_RENDERER)=' > \""
                          << BrowserMarker() << ".env\"\nprintf '%s' \"$1\" > \"" << BrowserMarker()
                          << ".part\" && mv \"" << BrowserMarker() << ".part\" \"" << BrowserMarker() << "\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    std::ofstream(home + "/data/applications/velmora-fake-browser.desktop")
        << "[Desktop Entry]\nType=Application\nName=Fake browser\nExec=" << script
        << " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\nNoDisplay=true\n";
    std::ofstream(home + "/config/mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/http=velmora-fake-browser.desktop\n"
           "x-scheme-handler/https=velmora-fake-browser.desktop\n";
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(PrivateHome(), ignored);
    });
}

// The virtual display has no GPU; the engine must not try to composite on it.
// A value the user has set stays.
const bool kEngineEnvironment = [] {
    UsePrivateHome();
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
    // A GTK or GLib critical is a misuse of the toolkit by the backend: fail
    // loudly instead of printing a line nobody reads.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR));
    return true;
}();
}  // namespace

std::string TestHome() { return PrivateHome(); }
std::string BrowserMarker() { return PrivateHome() + "/browser-opened"; }

void SendKeyPress(GtkWidget* top, guint keyval, guint state) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
    event->key.keyval = keyval;
    event->key.state = state;
    // Each press its own time, as the display gives it: presses are told
    // apart by it.
    static guint32 lastTime = 0;
    event->key.time = lastTime = std::max<guint32>(lastTime + 1, g_get_monotonic_time() / 1000);
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gtk_widget_get_display(top))));
    gtk_main_do_event(event);
    gdk_event_free(event);
}

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
