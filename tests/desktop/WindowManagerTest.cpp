// Behaviour that only shows with a window manager: where a new window goes,
// the frame around it, and close requests from the title bar. Runs when
// openbox is installed; it is started for the test and stopped after it.
#include <csignal>
#include <fstream>
#include <string>

#include "DesktopFixture.h"

// Last: the X11 headers define macros that clash with ordinary names.
#include <gdk/gdkx.h>

namespace velmora::gtk::testing {
namespace {

class WindowManagerTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        gchar* openbox = g_find_program_in_path("openbox");
        if (!openbox) GTEST_SKIP() << "no openbox";
        GdkDisplay* display = gdk_display_get_default();
        if (!GDK_IS_X11_DISPLAY(display)) {
            g_free(openbox);
            GTEST_SKIP() << "not an X11 display";
        }
        // Windows go under the pointer, centred: never the screen corner.
        config_ = std::string(g_get_tmp_dir()) + "/velmora-openbox-" + std::to_string(getpid()) + ".xml";
        std::ofstream(config_) << "<?xml version=\"1.0\"?><openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
                                  "<placement><policy>UnderMouse</policy><center>yes</center></placement>"
                                  "</openbox_config>";
        gchar* argv[] = {openbox, const_cast<gchar*>("--replace"), const_cast<gchar*>("--config-file"),
                         const_cast<gchar*>(config_.c_str()), nullptr};
        GError* error = nullptr;
        if (!g_spawn_async(nullptr, argv, nullptr,
                           static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                           nullptr, &wm_, &error)) {
            g_free(openbox);
            GTEST_SKIP() << error->message;
        }
        g_free(openbox);
        // The window manager announces itself on the root window.
        GdkScreen* screen = gdk_screen_get_default();
        for (int i = 0; i < 300 && !gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_WM_STATE")); ++i) {
            g_usleep(10000);
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        }
        g_usleep(200000);
        gdk_device_warp(gdk_seat_get_pointer(gdk_display_get_default_seat(display)), screen, 600, 420);
        gdk_display_flush(display);
    }
    void TearDown() override {
        DesktopTest::TearDown();
        if (wm_) {
            kill(wm_, SIGTERM);
            g_spawn_close_pid(wm_);
        }
        if (!config_.empty()) unlink(config_.c_str());
    }
    GPid wm_ = 0;
    std::string config_;
};

TEST_F(WindowManagerTest, NewWindowGoesWhereTheManagerPutsItWithTheClientSizeAsked) {
    RecordingWindow events;
    platform::WindowCreateParams params;
    params.title = "Тальмерин";
    const auto window = platform_->CreateNativeWindow(params, &events);
    const int scale = MonitorScale();
    // What the toolkit does for a first showing at the default position.
    const platform::RectI initial = platform_->GetWindowBounds(window);
    platform_->SetClientSize(window, {368 * scale, 480 * scale});
    const platform::RectI sized = platform_->GetWindowBounds(window);
    platform_->SetWindowBounds(window, {initial.left, initial.top, initial.left + sized.Width(), initial.top + sized.Height()});
    platform_->ShowWindow(window);
    platform_->ActivateWindow(window);
    GtkWidget* top = platform_->TopLevelWidget(window);
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(top) && events.Count(platform::MessageKind::Moved) > 0; }));
    PumpFor(300);

    const platform::RectI bounds = platform_->GetWindowBounds(window);
    EXPECT_GT(bounds.left, 100) << "pinned to the corner instead of placed by the window manager";
    EXPECT_GT(bounds.top, 100);
    EXPECT_EQ(platform_->GetClientSize(window), (platform::SizeI{368 * scale, 480 * scale}));
    // The manager's frame is part of the outer rectangle.
    EXPECT_GT(bounds.Height(), 480 * scale);
    EXPECT_EQ(platform_->ActiveWindow(), window);

    // The title bar's close button arrives as a close request; the window stays.
    GdkWindow* gdkWindow = gtk_widget_get_window(top);
    GdkEvent* deleteEvent = gdk_event_new(GDK_DELETE);
    deleteEvent->any.window = GDK_WINDOW(g_object_ref(gdkWindow));
    gtk_main_do_event(deleteEvent);
    gdk_event_free(deleteEvent);
    ASSERT_TRUE(Pump([&] { return events.Count(platform::MessageKind::Close) == 1; }));
    EXPECT_TRUE(gtk_widget_get_mapped(top));
}

}  // namespace
}  // namespace velmora::gtk::testing
