// ICanvas on a cairo context with pango text. The context is already in
// logical units (GTK scales window surfaces by the monitor's factor and the
// window's draw handler adds the font DPI's fraction to the matrix; the
// off-screen canvas sets the device scale itself), so drawing stays crisp
// at any scale.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <memory>
#include <string>

#include "GLibHolders.h"
#include "platform/Canvas.h"

namespace velmora::gtk {

class CairoCanvas : public platform::ICanvas {
public:
    // Does not take ownership of cr; keeps a reference while alive.
    CairoCanvas(cairo_t* cr, float scale);
    // A canvas on its own image surface of the given device pixels.
    static std::unique_ptr<CairoCanvas> CreateImage(platform::SizeI pixels, float scale);
    cairo_surface_t* Surface() const { return cairo_get_target(cr_); }
    ~CairoCanvas() override;
    CairoCanvas(const CairoCanvas&) = delete;
    CairoCanvas& operator=(const CairoCanvas&) = delete;

    void Save() override;
    void Restore() override;
    void Translate(float dx, float dy) override;
    void ClipRect(const platform::RectF& rect) override;
    void FillRect(const platform::RectF& rect, platform::Color color, float cornerRadius = 0) override;
    void StrokeRect(const platform::RectF& rect, platform::Color color, float lineWidth,
                    float cornerRadius = 0) override;
    void DrawLine(float x1, float y1, float x2, float y2, platform::Color color, float lineWidth) override;
    void DrawText(const platform::RectF& rect, const std::string& text, const platform::FontSpec& font,
                  platform::Color color, unsigned flags) override;
    platform::SizeF MeasureText(const std::string& text, const platform::FontSpec& font, float maxWidth,
                                unsigned flags) override;
    float Scale() const override { return scale_; }

    // The family used when a FontSpec names none: the desktop's UI font.
    static std::string DefaultFontFamily();

private:
    GObjectPtr<PangoLayout> MakeLayout(const std::string& text, const platform::FontSpec& font, float width,
                            unsigned flags);
    void SetColor(platform::Color color);
    void PathRect(const platform::RectF& rect, float radius);

    cairo_t* cr_;
    float scale_;
    int saveDepth_ = 0;
};

// Byte length of the longest prefix of the layout's single line, cut at a
// character (grapheme) boundary, whose advance fits in width (pango units).
int FittingPrefixBytes(PangoLayout* layout, int widthPango);

}  // namespace velmora::gtk
