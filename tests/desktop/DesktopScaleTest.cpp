// The desktop's font DPI as part of the window's scale: read, followed while
// running and drawn at; the page follows it too.
#include <unistd.h>

#include <cmath>

#include "EngineFixture.h"

namespace velmora::gtk::testing {
namespace {

using platform::MessageKind;

// Sets the desktop's font DPI for the test's length, as the desktop's
// settings service would, and puts the old value back afterwards.
class FontDpi {
public:
    FontDpi() { g_object_get(Settings(), "gtk-xft-dpi", &original_, nullptr); }
    ~FontDpi() { Set(original_); }
    FontDpi(const FontDpi&) = delete;
    FontDpi& operator=(const FontDpi&) = delete;

    // dpi 0: none set.
    void SetDpi(double dpi) { Set(dpi > 0 ? static_cast<int>(std::lround(dpi * 1024)) : -1); }
    double OriginalDpi() const { return original_ > 0 ? original_ / 1024.0 : 96.0; }

private:
    static GtkSettings* Settings() { return gtk_settings_get_default(); }
    static void Set(int value) { g_object_set(Settings(), "gtk-xft-dpi", value, nullptr); }
    int original_ = -1;
};

TEST_F(DesktopTest, AFontDpiChangeIsADpiChangeAndTheWindowIsDrawnAtTheNewScale) {
    FontDpi fontDpi;
    fontDpi.SetDpi(96);
    RecordingWindow events;
    float canvasScale = 0;
    events.paint = [&](platform::ICanvas& canvas) {
        canvasScale = canvas.Scale();
        canvas.FillRect({0, 0, 2000, 2000}, 0xFFFFFFFF);
        canvas.FillRect({0, 0, 10, 10}, 0xFFFF0000);  // 10 units
    };
    const auto window = ShownWindow(events, {200, 100});
    const int scale = MonitorScale();
    GtkWidget* top = platform_->TopLevelWidget(window);
    EXPECT_EQ(platform_->GetWindowDpi(window), 96 * scale);
    EXPECT_EQ(events.Count(MessageKind::DpiChanged), 0);

    fontDpi.SetDpi(144);
    ASSERT_TRUE(Pump([&] { return events.Count(MessageKind::DpiChanged) == 1; }));
    EXPECT_EQ(events.Last(MessageKind::DpiChanged)->dpi, 144 * scale);
    EXPECT_EQ(platform_->GetWindowDpi(window), 144 * scale);
    // Drawn again at 1.5 x the whole factor: 10 units are 15 logical pixels.
    ASSERT_TRUE(Pump([&] { return canvasScale == 1.5f * scale && PixelAt(top, 14, 5) == 0xFF0000u; }));
    EXPECT_EQ(PixelAt(top, 16, 5), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(top, 5, 16), 0xFFFFFFu);

    // The same DPI once more is no change; no font DPI is 96 again.
    fontDpi.SetDpi(144);
    PumpFor(50);
    EXPECT_EQ(events.Count(MessageKind::DpiChanged), 1);
    fontDpi.SetDpi(0);
    ASSERT_TRUE(Pump([&] { return events.Count(MessageKind::DpiChanged) == 2; }));
    EXPECT_EQ(events.Last(MessageKind::DpiChanged)->dpi, 96 * scale);
    ASSERT_TRUE(Pump([&] { return canvasScale == 1.0f * scale && PixelAt(top, 11, 5) == 0xFFFFFFu; }));
    EXPECT_EQ(PixelAt(top, 9, 5), 0xFF0000u);
}

// The engine scales its pages by the desktop's font DPI on its own, also
// when it changes while the page is shown; the reader's zoom keys work on
// top of that.
TEST_F(EngineTest, ThePageFollowsTheFontDpiAndTheZoomKeysWorkOnTopOfIt) {
    FontDpi fontDpi;
    fontDpi.SetDpi(96);
    const std::string page =
        std::string(g_get_tmp_dir()) + "/velmora-desktop-scale-" + std::to_string(getpid()) + ".html";
    ASSERT_TRUE(g_file_set_contents(page.c_str(),
                                    "<!DOCTYPE html><html><body style='margin:0;background:#fff'>"
                                    "<div style='width:100px;height:100px;background:#00ff00'></div></body></html>",
                                    -1, nullptr));
    gchar* uri = g_filename_to_uri(page.c_str(), nullptr, nullptr);
    const std::string pageUri = uri;
    g_free(uri);
    const platform::RectI bounds{0, 0, 300 * scale, 200 * scale};
    ASSERT_TRUE(engine->InPlaceActivate(window, bounds));
    ASSERT_TRUE(engine->Navigate(page, 0).ok);
    GtkWidget* top = platform_->TopLevelWidget(window);
    ASSERT_TRUE(Pump([&] { return events.Saw("complete " + pageUri) && LoadSettled(); }));
    // The square's right edge, in the window's logical pixels.
    const auto edgeAt = [&](int x) {
        return Pump([&] { return PixelAt(top, x - 3, 50) == 0x00FF00u && PixelAt(top, x + 3, 50) == 0xFFFFFFu; },
                    3000);
    };
    EXPECT_TRUE(edgeAt(100));

    fontDpi.SetDpi(144);
    EXPECT_TRUE(edgeAt(150));
    SendKeyPress(top, GDK_KEY_plus, GDK_CONTROL_MASK);
    EXPECT_TRUE(edgeAt(165));
    SendKeyPress(top, GDK_KEY_0, GDK_CONTROL_MASK);
    EXPECT_TRUE(edgeAt(150));
    fontDpi.SetDpi(96);
    EXPECT_TRUE(edgeAt(100));
    unlink(page.c_str());
}

}  // namespace
}  // namespace velmora::gtk::testing
