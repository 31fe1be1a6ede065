// Drawing surface handed to the toolkit. All coordinates are logical units;
// the backend applies the window's scale factor to reach device pixels.
#pragma once

#include <string>

#include "PlatformTypes.h"

namespace velmora::platform {

struct SizeF {
    float width = 0;
    float height = 0;
};

class ICanvas {
public:
    virtual ~ICanvas() = default;

    // Save/Restore bracket translation and clipping.
    virtual void Save() = 0;
    virtual void Restore() = 0;
    virtual void Translate(float dx, float dy) = 0;
    // Intersects the current clip with the rectangle.
    virtual void ClipRect(const RectF& rect) = 0;

    virtual void FillRect(const RectF& rect, Color color, float cornerRadius = 0) = 0;
    virtual void StrokeRect(const RectF& rect, Color color, float lineWidth, float cornerRadius = 0) = 0;
    virtual void DrawLine(float x1, float y1, float x2, float y2, Color color, float lineWidth) = 0;

    // Draws UTF-8 text inside rect according to TextFlags.
    virtual void DrawText(const RectF& rect, const std::string& text, const FontSpec& font,
                          Color color, unsigned flags) = 0;
    // Size of the text when laid out with at most maxWidth (0: unlimited).
    virtual SizeF MeasureText(const std::string& text, const FontSpec& font, float maxWidth,
                              unsigned flags) = 0;

    virtual float Scale() const = 0;
};

}  // namespace velmora::platform
