#include "WinApi.h"

// The GDI+ headers use min and max unqualified.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "GdiPlusCanvas.h"

#include "GdiHolders.h"

#include <cmath>

#include "TextConversion.h"

namespace velmora::win32 {

namespace {

// The message font's face as the system names it.
std::wstring MessageFontFace() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) && metrics.lfMessageFont.lfFaceName[0])
        return std::wstring(metrics.lfMessageFont.lfFaceName);
    return std::wstring(L"Segoe UI");
}

// The face GDI really draws the message font with. GDI's font mapping always
// lands on some installed face, while GDI+ finds a family only by its exact
// name: a system whose message font names a face that is not installed (Wine
// without its own font package: "MS Shell Dlg" stands for a missing Tahoma,
// and there is no Arial either) would otherwise draw no text at all.
std::wstring MappedMessageFontFace() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return {};
    MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return {};
    std::wstring face;
    Gdiplus::Font font(dc.get(), &metrics.lfMessageFont);
    Gdiplus::FontFamily family;
    wchar_t name[LF_FACESIZE] = {};
    if (font.GetLastStatus() == Gdiplus::Ok && font.GetFamily(&family) == Gdiplus::Ok &&
        family.GetFamilyName(name) == Gdiplus::Ok)
        face = name;
    return face;
}

bool FamilyInstalled(const std::wstring& name) {
    if (name.empty()) return false;
    Gdiplus::FontFamily family(name.c_str());
    return family.GetLastStatus() == Gdiplus::Ok;
}

// The theme's UI font: the face the system uses for message text. Resolved
// once (GDI+ is running whenever a font is made), so a missing face is not
// looked up again on every paint.
const std::wstring& UiFontFamily() {
    static const std::wstring family = [] {
        for (const std::wstring& candidate : {MessageFontFace(), std::wstring(L"Arial")})
            if (FamilyInstalled(candidate)) return candidate;
        std::wstring mapped = MappedMessageFontFace();
        return mapped.empty() ? std::wstring(L"Arial") : mapped;
    }();
    return family;
}

std::unique_ptr<Gdiplus::Font> MakeFont(const platform::FontSpec& request) {
    const INT style = request.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular;
    const float size = request.size > 0 ? request.size : 12.0f;
    if (!request.family.empty()) {
        auto font = std::make_unique<Gdiplus::Font>(Widen(request.family).c_str(), size, style, Gdiplus::UnitPixel);
        if (font->GetLastStatus() == Gdiplus::Ok) return font;
    }
    return std::make_unique<Gdiplus::Font>(UiFontFamily().c_str(), size, style, Gdiplus::UnitPixel);
}

// Typographic layout (no padding around the text), with trailing spaces
// counted, so measured and drawn text agree.
std::unique_ptr<Gdiplus::StringFormat> MakeFormat(unsigned flags) {
    auto format = std::make_unique<Gdiplus::StringFormat>(Gdiplus::StringFormat::GenericTypographic());
    INT formatFlags = format->GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces;
    if (!(flags & platform::TextWordWrap)) formatFlags |= Gdiplus::StringFormatFlagsNoWrap;
    format->SetFormatFlags(formatFlags);
    format->SetAlignment((flags & platform::TextHCenter) ? Gdiplus::StringAlignmentCenter : Gdiplus::StringAlignmentNear);
    format->SetLineAlignment((flags & platform::TextVCenter) ? Gdiplus::StringAlignmentCenter
                                                               : Gdiplus::StringAlignmentNear);
    format->SetTrimming((flags & platform::TextTrimCharacter) ? Gdiplus::StringTrimmingCharacter
                                                                : Gdiplus::StringTrimmingNone);
    return format;
}

void AddRoundedRect(Gdiplus::GraphicsPath& path, const platform::RectF& r, float radius) {
    const float d = std::min({radius * 2, r.Width(), r.Height()});
    path.AddArc(r.left, r.top, d, d, 180, 90);
    path.AddArc(r.right - d, r.top, d, d, 270, 90);
    path.AddArc(r.right - d, r.bottom - d, d, d, 0, 90);
    path.AddArc(r.left, r.bottom - d, d, d, 90, 90);
    path.CloseFigure();
}

}  // namespace

ULONG_PTR StartupGdiPlus() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 0;
    return token;
}

void ShutdownGdiPlus(ULONG_PTR token) {
    if (token) Gdiplus::GdiplusShutdown(token);
}

GdiPlusCanvas::GdiPlusCanvas(HDC dc, float scale)
    : graphics_(std::make_unique<Gdiplus::Graphics>(dc)), scale_(scale > 0 ? scale : 1.0f) {
    Prepare();
}

GdiPlusCanvas::GdiPlusCanvas(std::unique_ptr<Gdiplus::Bitmap> bitmap, float scale)
    : bitmap_(std::move(bitmap)), graphics_(std::make_unique<Gdiplus::Graphics>(bitmap_.get())),
      scale_(scale > 0 ? scale : 1.0f) {
    Prepare();
}

GdiPlusCanvas::~GdiPlusCanvas() {
    graphics_.reset();
    bitmap_.reset();
}

std::unique_ptr<GdiPlusCanvas> GdiPlusCanvas::CreateBitmap(platform::SizeI pixels, float scale) {
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(std::max(1, pixels.width), std::max(1, pixels.height),
                                                    PixelFormat32bppPARGB);
    return std::unique_ptr<GdiPlusCanvas>(new GdiPlusCanvas(std::move(bitmap), scale));
}

void GdiPlusCanvas::Prepare() {
    graphics_->SetPageUnit(Gdiplus::UnitPixel);
    graphics_->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics_->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics_->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    graphics_->ScaleTransform(scale_, scale_);
}

void GdiPlusCanvas::Save() { states_.push_back(graphics_->Save()); }

void GdiPlusCanvas::Restore() {
    if (states_.empty()) return;
    graphics_->Restore(states_.back());
    states_.pop_back();
}

void GdiPlusCanvas::Translate(float dx, float dy) { graphics_->TranslateTransform(dx, dy); }

void GdiPlusCanvas::ClipRect(const platform::RectF& rect) {
    graphics_->IntersectClip(Gdiplus::RectF(rect.left, rect.top, rect.Width(), rect.Height()));
}

void GdiPlusCanvas::FillRect(const platform::RectF& rect, platform::Color color, float cornerRadius) {
    if (rect.Width() <= 0 || rect.Height() <= 0) return;
    Gdiplus::SolidBrush brush{Gdiplus::Color(static_cast<Gdiplus::ARGB>(color))};
    if (cornerRadius <= 0) {
        graphics_->FillRectangle(&brush, rect.left, rect.top, rect.Width(), rect.Height());
        return;
    }
    Gdiplus::GraphicsPath path;
    AddRoundedRect(path, rect, cornerRadius);
    graphics_->FillPath(&brush, &path);
}

void GdiPlusCanvas::StrokeRect(const platform::RectF& rect, platform::Color color, float lineWidth,
                               float cornerRadius) {
    if (rect.Width() <= 0 || rect.Height() <= 0 || lineWidth <= 0) return;
    Gdiplus::Pen pen(Gdiplus::Color(static_cast<Gdiplus::ARGB>(color)), lineWidth);
    // The line lies inside the rectangle, as the toolkit lays out borders.
    const float inset = lineWidth / 2;
    const platform::RectF inner{rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset};
    if (cornerRadius <= 0) {
        graphics_->DrawRectangle(&pen, inner.left, inner.top, inner.Width(), inner.Height());
        return;
    }
    Gdiplus::GraphicsPath path;
    AddRoundedRect(path, inner, std::max(0.0f, cornerRadius - inset));
    graphics_->DrawPath(&pen, &path);
}

void GdiPlusCanvas::DrawLine(float x1, float y1, float x2, float y2, platform::Color color, float lineWidth) {
    Gdiplus::Pen pen(Gdiplus::Color(static_cast<Gdiplus::ARGB>(color)), lineWidth);
    graphics_->DrawLine(&pen, x1, y1, x2, y2);
}

void GdiPlusCanvas::DrawText(const platform::RectF& rect, const std::string& text, const platform::FontSpec& font,
                             platform::Color color, unsigned flags) {
    if (text.empty() || rect.Width() <= 0 || rect.Height() <= 0) return;
    const std::wstring wide = Widen(text);
    auto gdiFont = MakeFont(font);
    auto format = MakeFormat(flags);
    Gdiplus::SolidBrush brush{Gdiplus::Color(static_cast<Gdiplus::ARGB>(color))};
    // The layout rectangle clips: text never spills out of its control.
    graphics_->DrawString(wide.c_str(), static_cast<INT>(wide.size()), gdiFont.get(),
                          Gdiplus::RectF(rect.left, rect.top, rect.Width(), rect.Height()), format.get(), &brush);
}

platform::SizeF GdiPlusCanvas::MeasureText(const std::string& text, const platform::FontSpec& font, float maxWidth,
                                           unsigned flags) {
    if (text.empty()) return {};
    const std::wstring wide = Widen(text);
    auto gdiFont = MakeFont(font);
    const unsigned effective = maxWidth > 0 ? flags : (flags & ~static_cast<unsigned>(platform::TextWordWrap));
    auto format = MakeFormat(effective & ~static_cast<unsigned>(platform::TextHCenter | platform::TextVCenter));
    const float width = maxWidth > 0 ? maxWidth : 1.0e6f;
    Gdiplus::RectF bounds;
    graphics_->MeasureString(wide.c_str(), static_cast<INT>(wide.size()), gdiFont.get(),
                             Gdiplus::RectF(0, 0, width, 1.0e6f), format.get(), &bounds);
    float w = bounds.Width;
    if ((flags & platform::TextTrimCharacter) && maxWidth > 0) w = std::min(w, maxWidth);
    return {w, bounds.Height};
}

}  // namespace velmora::win32
