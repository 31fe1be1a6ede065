// The default theme: a light, clean desktop look. Colours, the UI font, the
// metrics controls size themselves by, and small drawing helpers. All sizes
// are logical units.
#pragma once

#include <string>

#include "platform/Canvas.h"
#include "platform/PlatformTypes.h"

namespace velmora::theme {

using platform::Color;

// --- colours (0xAARRGGBB) -----------------------------------------------------
constexpr Color FormBackground = 0xFFF3F3F3;
constexpr Color Text = 0xFF1B1B1B;
constexpr Color TextDisabled = 0xFF8A8A8A;
constexpr Color Accent = 0xFF0067C0;

constexpr Color ButtonFace = 0xFFFDFDFD;
constexpr Color ButtonFaceHover = 0xFFEAF3FC;
constexpr Color ButtonFacePressed = 0xFFCCE1F5;
constexpr Color ButtonBorder = 0xFFD0D0D0;
constexpr Color ButtonBorderHover = 0xFF7FB2E5;
constexpr Color ButtonBorderPressed = 0xFF0067C0;
constexpr Color FocusRing = Accent;

constexpr Color TabStripBackground = 0xFFE9E9E9;
constexpr Color TabHeaderFace = 0xFFE9E9E9;
constexpr Color TabHeaderFaceHover = 0xFFF4F4F4;
constexpr Color TabHeaderFaceSelected = 0xFFFFFFFF;
constexpr Color TabHeaderText = 0xFF4A4A4A;
constexpr Color TabHeaderTextSelected = 0xFF1B1B1B;
constexpr Color TabPageBackground = 0xFFFFFFFF;
constexpr Color Separator = 0xFFD6D6D6;

// --- font and metrics ---------------------------------------------------------
constexpr float UiFontSize = 12;
// The theme's UI font (family empty: the platform's UI face) at its size.
platform::FontSpec UiFont();

constexpr float ButtonCornerRadius = 3;
constexpr float ButtonTextPadding = 6;     // inside the border, every side
constexpr float ButtonDefaultWidth = 80;
constexpr float ButtonDefaultHeight = 22;
constexpr float FocusRingWidth = 2;
// The frame around a focused control whose content is a native view (the web
// view's page), drawn in the band the view leaves free around it.
constexpr float FocusFrameWidth = 2;

// Page headers. A header's size does not depend on the canvas that will draw
// it: the theme measures captions with its own advance table (the UI font at
// 12 units, one width per character, approximating a common sans-serif UI
// face), so every backend, headless or real, lays headers out alike:
//   width  = ceil(sum of the caption's advances) + 2 x TabHeaderPaddingX
//   height = TabHeaderLineHeight + 2 x TabHeaderPaddingY = 28
// With this table "Оглавление" measures 68 and "Содержание" 72, so the two
// headers come out 92 x 28 and 96 x 28.
constexpr float TabHeaderPaddingX = 12;
constexpr float TabHeaderPaddingY = 6;
constexpr float TabHeaderLineHeight = 16;
constexpr float TabHeaderMinHeight = 5;
constexpr float TabSelectedMarkHeight = 2;

// Advance of one character of the UI font in the theme's table.
float CharAdvance(char32_t c);
// Width of a caption by the theme's table (not rounded).
float CaptionWidth(const std::string& utf8);
// Auto-size of a page header for a caption.
platform::SizeF HeaderSizeFor(const std::string& caption);

// --- drawing helpers ----------------------------------------------------------
enum class FaceState { Normal, Hover, Pressed };

void DrawButtonFace(platform::ICanvas& canvas, const platform::RectF& rect, FaceState state, bool focused);
// Caption inside rect less the button padding, laid out by the text flags
// (a button's default: centred both ways, cut at a character boundary) and
// clipped to rect.
void DrawCaption(platform::ICanvas& canvas, const platform::RectF& rect, const std::string& text, unsigned flags,
                 Color color = Text);
void DrawFocusRing(platform::ICanvas& canvas, const platform::RectF& rect, float cornerRadius);
void DrawFocusFrame(platform::ICanvas& canvas, const platform::RectF& rect);

// Decodes UTF-8 into code points; malformed bytes decode as U+FFFD.
std::u32string DecodeUtf8(const std::string& utf8);

}  // namespace velmora::theme
