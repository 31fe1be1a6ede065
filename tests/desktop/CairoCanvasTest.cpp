#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <string>

#include "backends/gtk/CairoCanvas.h"

namespace velmora::gtk {
namespace {

using platform::FontSpec;
using platform::RectF;

// Reads the canvas's pixels (ARGB32, premultiplied) in device coordinates.
struct Pixels {
    explicit Pixels(CairoCanvas& canvas) : surface(canvas.Surface()) {
        cairo_surface_flush(surface);
        data = cairo_image_surface_get_data(surface);
        stride = cairo_image_surface_get_stride(surface);
        width = cairo_image_surface_get_width(surface);
        height = cairo_image_surface_get_height(surface);
    }
    std::uint32_t At(int x, int y) const {
        return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
    }
    bool AnyInked(int x0, int y0, int x1, int y1) const {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if ((At(x, y) >> 24) != 0) return true;
        return false;
    }
    // Rightmost column with ink, -1 if none.
    int RightmostInk() const {
        for (int x = width - 1; x >= 0; --x)
            for (int y = 0; y < height; ++y)
                if ((At(x, y) >> 24) != 0) return x;
        return -1;
    }
    cairo_surface_t* surface;
    unsigned char* data;
    int stride, width, height;
};

FontSpec UiFont(float size = 14) {
    FontSpec font;
    font.size = size;
    return font;
}

TEST(CairoCanvas, FillsInLogicalUnitsAtTheDeviceScale) {
    auto canvas = CairoCanvas::CreateImage({40, 40}, 2);
    EXPECT_EQ(canvas->Scale(), 2);
    canvas->FillRect({5, 5, 10, 10}, 0xFFFF0000);
    Pixels px(*canvas);
    EXPECT_EQ(px.At(10, 10), 0xFFFF0000u);
    EXPECT_EQ(px.At(19, 19), 0xFFFF0000u);
    EXPECT_EQ(px.At(20, 20), 0u);  // edges land on whole device pixels: crisp
    EXPECT_EQ(px.At(9, 9), 0u);
}

TEST(CairoCanvas, SaveRestoreBracketClipAndTranslation) {
    auto canvas = CairoCanvas::CreateImage({30, 30}, 1);
    canvas->Save();
    canvas->Translate(10, 10);
    canvas->ClipRect({0, 0, 5, 5});
    canvas->FillRect({0, 0, 20, 20}, 0xFF00FF00);
    canvas->Restore();
    canvas->FillRect({0, 0, 2, 2}, 0xFF0000FF);
    Pixels px(*canvas);
    EXPECT_EQ(px.At(12, 12), 0xFF00FF00u);
    EXPECT_EQ(px.At(16, 16), 0u);  // outside the clip
    EXPECT_EQ(px.At(1, 1), 0xFF0000FFu);  // translation undone
    // A stray Restore does not pop state that is not the canvas's own.
    canvas->Restore();
    canvas->FillRect({20, 20, 22, 22}, 0xFF0000FF);
    EXPECT_EQ(Pixels(*canvas).At(21, 21), 0xFF0000FFu);
}

TEST(CairoCanvas, WordWrapBreaksBetweenWordsInsideTheWidth) {
    auto canvas = CairoCanvas::CreateImage({10, 10}, 1);
    const std::string caption = "Радионавигационные средства определения места в море";
    const auto oneLine = canvas->MeasureText(caption, UiFont(), 0, 0);
    const auto wrapped = canvas->MeasureText(caption, UiFont(), 200, platform::TextWordWrap);
    EXPECT_GT(oneLine.width, 200);
    EXPECT_LE(wrapped.width, 200);
    EXPECT_GE(wrapped.height, oneLine.height * 2);
    // Without the flag the width limit does not wrap.
    const auto unwrapped = canvas->MeasureText(caption, UiFont(), 200, 0);
    EXPECT_FLOAT_EQ(unwrapped.height, oneLine.height);
    EXPECT_EQ(canvas->MeasureText("", UiFont(), 0, 0).width, 0);
}

TEST(CairoCanvas, TextSizeFollowsTheFontSize) {
    auto canvas = CairoCanvas::CreateImage({10, 10}, 1);
    const auto small = canvas->MeasureText("Оглавление", UiFont(10), 0, 0);
    const auto large = canvas->MeasureText("Оглавление", UiFont(20), 0, 0);
    EXPECT_NEAR(large.width / small.width, 2.0, 0.25);
    EXPECT_GT(large.height, small.height * 1.6);
}

TEST(CairoCanvas, TrimmingCutsAtACharacterThatFitsWhole) {
    auto canvas = CairoCanvas::CreateImage({120, 30}, 1);
    canvas->DrawText({0, 0, 60, 30}, "Картографические проекции", UiFont(), 0xFF000000,
                     platform::TextTrimCharacter);
    Pixels px(*canvas);
    EXPECT_TRUE(px.AnyInked(0, 0, 60, 30));
    EXPECT_LT(px.RightmostInk(), 60);

    // The prefix chosen never splits a two-byte Cyrillic letter, and it is the
    // longest one that fits.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_from_string("Sans 12px");
    pango_layout_set_font_description(layout, desc);
    const std::string text = "Зарождение мореплавания";
    pango_layout_set_text(layout, text.c_str(), -1);
    for (int width : {1, 20, 47, 90, 100000}) {
        const int bytes = FittingPrefixBytes(layout, width * PANGO_SCALE);
        ASSERT_TRUE(g_utf8_validate(text.c_str(), bytes, nullptr)) << width;
        PangoLayout* prefix = pango_cairo_create_layout(cr);
        pango_layout_set_font_description(prefix, desc);
        pango_layout_set_text(prefix, text.c_str(), bytes);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(prefix, &w, &h);
        EXPECT_LE(w, width) << width;
        if (bytes < static_cast<int>(text.size())) {
            const char* next = g_utf8_next_char(text.c_str() + bytes);
            pango_layout_set_text(prefix, text.c_str(), static_cast<int>(next - text.c_str()));
            pango_layout_get_pixel_size(prefix, &w, &h);
            EXPECT_GT(w, width - 1) << "one more letter would have fitted at " << width;
        }
        g_object_unref(prefix);
    }
    pango_font_description_free(desc);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

TEST(CairoCanvas, CentringPlacesTheTextInTheMiddle) {
    auto canvas = CairoCanvas::CreateImage({200, 60}, 1);
    canvas->DrawText({0, 0, 200, 60}, "Ок", UiFont(), 0xFF000000, platform::TextHCenter | platform::TextVCenter);
    Pixels px(*canvas);
    EXPECT_FALSE(px.AnyInked(0, 0, 80, 60));
    EXPECT_FALSE(px.AnyInked(120, 0, 200, 60));
    EXPECT_FALSE(px.AnyInked(0, 0, 200, 15));
    EXPECT_FALSE(px.AnyInked(0, 45, 200, 60));
    EXPECT_TRUE(px.AnyInked(80, 15, 120, 45));
}

TEST(CairoCanvas, TextIsClippedToItsRectangle) {
    auto canvas = CairoCanvas::CreateImage({200, 100}, 1);
    canvas->DrawText({10, 10, 60, 30}, "Современные способы навигации", UiFont(), 0xFF000000, 0);
    Pixels px(*canvas);
    EXPECT_FALSE(px.AnyInked(60, 0, 200, 100));
    EXPECT_FALSE(px.AnyInked(0, 30, 200, 100));
    EXPECT_TRUE(px.AnyInked(10, 10, 60, 30));
}

TEST(CairoCanvas, InvalidUtf8IsStillDrawn) {
    auto canvas = CairoCanvas::CreateImage({200, 40}, 1);
    const std::string broken = std::string("Глава") + "\xD0";  // cut inside a letter
    const auto size = canvas->MeasureText(broken, UiFont(), 0, 0);
    EXPECT_GT(size.width, 0);
    canvas->DrawText({0, 0, 200, 40}, broken, UiFont(), 0xFF000000, 0);
    EXPECT_TRUE(Pixels(*canvas).AnyInked(0, 0, 200, 40));
}

TEST(CairoCanvas, RoundedStrokeStaysInsideTheRectangle) {
    auto canvas = CairoCanvas::CreateImage({50, 50}, 1);
    canvas->StrokeRect({10, 10, 40, 40}, 0xFF000000, 2, 6);
    Pixels px(*canvas);
    EXPECT_FALSE(px.AnyInked(0, 0, 50, 10));
    EXPECT_FALSE(px.AnyInked(40, 0, 50, 50));
    EXPECT_NE(px.At(25, 10), 0u);
    EXPECT_EQ(px.At(10, 10), 0u);  // the corner is rounded off
    EXPECT_EQ(px.At(25, 25), 0u);  // a stroke, not a fill
}

}  // namespace
}  // namespace velmora::gtk
