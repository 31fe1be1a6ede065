// A canvas that draws nothing and remembers every call, so tests can check
// what a control painted and where.
//
// Text metrics are fixed and font-independent in their shape: every character
// (UTF-8 code point) advances kCharAdvance units and a line is kLineHeight
// units high, both at font size 12 and scaled linearly with the font size.
// Word wrap breaks between words at spaces (a single word wider than the
// limit stays on its own line).
#pragma once

#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace velmora::headless {

using platform::Color;
using platform::FontSpec;
using platform::RectF;
using platform::SizeF;

struct CanvasOp {
    enum class Kind { Save, Restore, Translate, Clip, FillRect, StrokeRect, Line, Text };
    Kind kind = Kind::Save;
    // Rectangle of the operation in canvas coordinates with every translation
    // applied (for Translate: left/top hold dx/dy; for Line: the end points).
    RectF rect;
    // The effective clip when the operation ran, in the same coordinates.
    RectF clip;
    Color color = 0;
    float lineWidth = 0;
    float cornerRadius = 0;
    std::string text;
    FontSpec font;
    unsigned flags = 0;

    // One line such as "FillRect(0,28,368,480 #FFF0F0F0)"; see the .cpp.
    std::string ToString() const;
};

class RecordingCanvas : public platform::ICanvas {
public:
    static constexpr float kCharAdvance = 7;
    static constexpr float kLineHeight = 16;

    explicit RecordingCanvas(float scale = 1, SizeF size = {1e6f, 1e6f});

    void Save() override;
    void Restore() override;
    void Translate(float dx, float dy) override;
    void ClipRect(const RectF& rect) override;
    void FillRect(const RectF& rect, Color color, float cornerRadius = 0) override;
    void StrokeRect(const RectF& rect, Color color, float lineWidth, float cornerRadius = 0) override;
    void DrawLine(float x1, float y1, float x2, float y2, Color color, float lineWidth) override;
    void DrawText(const RectF& rect, const std::string& text, const FontSpec& font, Color color,
                  unsigned flags) override;
    SizeF MeasureText(const std::string& text, const FontSpec& font, float maxWidth, unsigned flags) override;
    float Scale() const override { return scale_; }

    const std::vector<CanvasOp>& Ops() const { return ops_; }
    // Every op as ToString(), in call order.
    std::vector<std::string> Log() const;
    // The texts drawn, in call order.
    std::vector<std::string> Texts() const;
    // The lines a text breaks into under the metrics above.
    static std::vector<std::string> WrapLines(const std::string& text, const FontSpec& font, float maxWidth,
                                              unsigned flags);
    static float TextWidth(const std::string& text, const FontSpec& font);

private:
    struct State {
        float dx = 0;
        float dy = 0;
        RectF clip;
    };
    CanvasOp Make(CanvasOp::Kind kind, const RectF& local) const;

    float scale_;
    State state_;
    std::vector<State> stack_;
    std::vector<CanvasOp> ops_;
};

}  // namespace velmora::headless
