#include "Theme.h"

#include <cmath>

namespace velmora::theme {

platform::FontSpec UiFont() { return platform::FontSpec{.family = "", .size = UiFontSize, .bold = false}; }

namespace {

// Advances at 12 units, indexed from the first character of each range.
constexpr float kAsciiAdvance[95] = {
    // space ! " # $ % & ' ( ) * + , - . /
    3.5f, 3.5f, 5, 7, 6.5f, 10, 9, 3, 4, 4, 5, 8, 3, 4.5f, 3, 4.5f,
    // 0-9
    6.5f, 6.5f, 6.5f, 6.5f, 6.5f, 6.5f, 6.5f, 6.5f, 6.5f, 6.5f,
    // : ; < = > ? @
    3, 3, 8, 8, 8, 5.5f, 11.5f,
    // A-Z
    8, 7.5f, 7.5f, 8.5f, 6.5f, 6, 8.5f, 8.5f, 3.5f, 4.5f, 7.5f, 6, 11, 9, 9, 7, 9, 7.5f, 6.5f, 6.5f, 8.5f, 8,
    11.5f, 7.5f, 7, 7,
    // [ \ ] ^ _ `
    4, 4.5f, 4, 8, 5, 3.5f,
    // a-z
    6, 7, 5.5f, 7, 6.5f, 4, 7, 7, 3, 3, 6, 3, 10.5f, 7, 7, 7, 7, 4.5f, 5, 4, 7, 6, 9, 6, 6, 5.5f,
    // { | } ~
    4, 3, 4, 8};

// U+0410 .. U+042F
constexpr float kCyrillicUpper[32] = {7.5f, 7,    7,     6,    8,     6.5f, 11,   6.5f, 8.5f, 8.5f, 7.5f,
                                      8,    10,   8.5f,  8,    8.5f,  6.5f, 7.5f, 6.5f, 7,    9.5f, 7.5f,
                                      8.5f, 7.5f, 11.5f, 12,   8.5f,  10.5f, 7,   7.5f, 11,   7.5f};
// U+0430 .. U+044F
constexpr float kCyrillicLower[32] = {6.5f, 7,    6.5f, 5,    7,    6.5f, 9,    5.5f, 7.5f, 7.5f,  6.5f,
                                      7,    8.5f, 7.5f, 7,    7.5f, 7,    5.5f, 6,    6,    9,     6,
                                      7.5f, 7,    10,   10.5f, 7.5f, 9.5f, 6.5f, 6,   10,   6.5f};

}  // namespace

float CharAdvance(char32_t c) {
    if (c >= 0x20 && c <= 0x7E) return kAsciiAdvance[c - 0x20];
    if (c >= 0x410 && c <= 0x42F) return kCyrillicUpper[c - 0x410];
    if (c >= 0x430 && c <= 0x44F) return kCyrillicLower[c - 0x430];
    if (c == 0x401) return 6.5f;  // Ё
    if (c == 0x451) return 6.5f;  // ё
    if (c >= 0x2E80 && c <= 0xFFEF) return 12;  // wide East Asian forms
    return 7;
}

std::u32string DecodeUtf8(const std::string& utf8) {
    std::u32string out;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= n) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cont = s[i + static_cast<std::size_t>(k)];
            if ((cont & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (cont & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

float CaptionWidth(const std::string& utf8) {
    float width = 0;
    for (char32_t c : DecodeUtf8(utf8)) width += CharAdvance(c);
    return width;
}

platform::SizeF HeaderSizeFor(const std::string& caption) {
    float text = std::ceil(CaptionWidth(caption) - 1e-4f);
    return {text + 2 * TabHeaderPaddingX, TabHeaderLineHeight + 2 * TabHeaderPaddingY};
}

void DrawButtonFace(platform::ICanvas& canvas, const platform::RectF& rect, FaceState state, bool focused) {
    Color face = ButtonFace, border = ButtonBorder;
    if (state == FaceState::Hover) {
        face = ButtonFaceHover;
        border = ButtonBorderHover;
    } else if (state == FaceState::Pressed) {
        face = ButtonFacePressed;
        border = ButtonBorderPressed;
    }
    canvas.FillRect(rect, face, ButtonCornerRadius);
    canvas.StrokeRect({rect.left + 0.5f, rect.top + 0.5f, rect.right - 0.5f, rect.bottom - 0.5f}, border, 1,
                      ButtonCornerRadius);
    if (focused) DrawFocusRing(canvas, rect, ButtonCornerRadius);
}

void DrawFocusRing(platform::ICanvas& canvas, const platform::RectF& rect, float cornerRadius) {
    const float inset = FocusRingWidth / 2 + 1;
    canvas.StrokeRect({rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset}, FocusRing,
                      FocusRingWidth, cornerRadius);
}

void DrawFocusFrame(platform::ICanvas& canvas, const platform::RectF& rect) {
    const float half = FocusFrameWidth / 2;
    canvas.StrokeRect({rect.left + half, rect.top + half, rect.right - half, rect.bottom - half}, FocusRing,
                      FocusFrameWidth, 0);
}

void DrawCaption(platform::ICanvas& canvas, const platform::RectF& rect, const std::string& text, unsigned flags,
                 Color color) {
    if (text.empty()) return;
    platform::RectF inner{rect.left + ButtonTextPadding, rect.top + ButtonTextPadding, rect.right - ButtonTextPadding,
                          rect.bottom - ButtonTextPadding};
    if (inner.right < inner.left) inner.right = inner.left;
    if (inner.bottom < inner.top) inner.bottom = inner.top;
    canvas.Save();
    canvas.ClipRect(rect);
    canvas.DrawText(inner, text, UiFont(), color, flags);
    canvas.Restore();
}

}  // namespace velmora::theme
