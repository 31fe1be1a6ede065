// Drawing with GDI+: anti-aliased shapes, colours with alpha, and text laid
// out with word wrapping, centring and trimming at a character. The canvas
// works in logical units; a world transform applies the window's scale.
#pragma once

#include "WinApi.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace Gdiplus {
class Bitmap;
class Graphics;
}  // namespace Gdiplus

namespace velmora::win32 {

// GDI+ must be started before the first drawing and shut down after the last.
ULONG_PTR StartupGdiPlus();
void ShutdownGdiPlus(ULONG_PTR token);

class GdiPlusCanvas : public platform::ICanvas {
public:
    // Draws on dc (not owned) at scale device pixels per unit.
    GdiPlusCanvas(HDC dc, float scale);
    ~GdiPlusCanvas() override;
    GdiPlusCanvas(const GdiPlusCanvas&) = delete;
    GdiPlusCanvas& operator=(const GdiPlusCanvas&) = delete;

    // A canvas on a bitmap of its own (for measuring and off-screen work).
    static std::unique_ptr<GdiPlusCanvas> CreateBitmap(platform::SizeI pixels, float scale);

    void Save() override;
    void Restore() override;
    void Translate(float dx, float dy) override;
    void ClipRect(const platform::RectF& rect) override;

    void FillRect(const platform::RectF& rect, platform::Color color, float cornerRadius) override;
    void StrokeRect(const platform::RectF& rect, platform::Color color, float lineWidth, float cornerRadius) override;
    void DrawLine(float x1, float y1, float x2, float y2, platform::Color color, float lineWidth) override;

    void DrawText(const platform::RectF& rect, const std::string& text, const platform::FontSpec& font,
                  platform::Color color, unsigned flags) override;
    platform::SizeF MeasureText(const std::string& text, const platform::FontSpec& font, float maxWidth,
                                unsigned flags) override;

    float Scale() const override { return scale_; }

private:
    GdiPlusCanvas(std::unique_ptr<Gdiplus::Bitmap> bitmap, float scale);
    void Prepare();

    std::unique_ptr<Gdiplus::Bitmap> bitmap_;
    std::unique_ptr<Gdiplus::Graphics> graphics_;
    float scale_;
    std::vector<unsigned> states_;
};

}  // namespace velmora::win32
