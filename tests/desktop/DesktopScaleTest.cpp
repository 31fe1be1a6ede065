// The desktop's font DPI as part of the window's scale: read, followed while
// running, drawn at, and passed on to the page.
#include <cmath>
#include <optional>

#include "EngineFixture.h"

namespace velmora::gtk::testing {
namespace {

using platform::MessageKind;
using platform::PosMoveSize;

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

TEST_F(EngineTest, ThePageFollowsTheFontDpiAndTheZoomKeysStepOnTopOfIt) {
    FontDpi fontDpi;
    fontDpi.SetDpi(96);
    const platform::RectI bounds{0, 0, 200 * scale, 150 * scale};
    ASSERT_TRUE(engine->InPlaceActivate(window, bounds));
    ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);
    GtkWidget* view = GTK_WIDGET(View());
    GtkWidget* top = platform_->TopLevelWidget(window);
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(view) && LoadSettled(); }));
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(View()), 1.0);

    // The toolkit places its displays again after a DPI change.
    const auto dpiChange = [&](double dpi) {
        const int before = window_.Count(MessageKind::DpiChanged);
        fontDpi.SetDpi(dpi);
        ASSERT_TRUE(Pump([&] { return window_.Count(MessageKind::DpiChanged) > before; }));
        platform_->SetWindowPos(engine->DisplayWindow(), bounds, PosMoveSize);
    };
    dpiChange(120);
    EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), 1.25, 1e-9);

    SendKeyPress(top, GDK_KEY_plus, GDK_CONTROL_MASK);
    EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), 1.1 * 1.25, 1e-9);
    SendKeyPress(top, GDK_KEY_0, GDK_CONTROL_MASK);
    EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), 1.25, 1e-9);

    // The reader's own zoom stays when the desktop's scale changes.
    SendKeyPress(top, GDK_KEY_minus, GDK_CONTROL_MASK);
    dpiChange(144);
    EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), 0.9 * 1.5, 1e-9);
    dpiChange(0);
    EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), 0.9, 1e-9);
}

}  // namespace
}  // namespace velmora::gtk::testing
