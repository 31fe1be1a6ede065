#include "CairoCanvas.h"

#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace velmora::gtk {

using platform::RectF;

namespace {
struct FontDescriptionFree {
    void operator()(PangoFontDescription* desc) const {
        if (desc) pango_font_description_free(desc);
    }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionFree>;
struct ContextDestroy {
    void operator()(cairo_t* cr) const {
        if (cr) cairo_destroy(cr);
    }
};
struct SurfaceDestroy {
    void operator()(cairo_surface_t* surface) const {
        if (surface) cairo_surface_destroy(surface);
    }
};
}  // namespace

CairoCanvas::CairoCanvas(cairo_t* cr, float scale) : cr_(cairo_reference(cr)), scale_(scale) {}

CairoCanvas::~CairoCanvas() {
    // An unbalanced Save must not leak into the next user of the context.
    while (saveDepth_ > 0) Restore();
    cairo_destroy(cr_);
}

std::unique_ptr<CairoCanvas> CairoCanvas::CreateImage(platform::SizeI pixels, float scale) {
    if (scale <= 0) scale = 1;
    std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, pixels.width), std::max(1, pixels.height)));
    cairo_surface_set_device_scale(surface.get(), scale, scale);
    // The context keeps the surface alive; the canvas keeps the context.
    std::unique_ptr<cairo_t, ContextDestroy> cr(cairo_create(surface.get()));
    return std::make_unique<CairoCanvas>(cr.get(), scale);
}

void CairoCanvas::Save() {
    cairo_save(cr_);
    ++saveDepth_;
}

void CairoCanvas::Restore() {
    if (saveDepth_ == 0) return;  // a stray Restore would pop GTK's own state
    cairo_restore(cr_);
    --saveDepth_;
}

void CairoCanvas::Translate(float dx, float dy) { cairo_translate(cr_, dx, dy); }

void CairoCanvas::ClipRect(const RectF& rect) {
    cairo_rectangle(cr_, rect.left, rect.top, std::max(0.0f, rect.Width()), std::max(0.0f, rect.Height()));
    cairo_clip(cr_);
}

void CairoCanvas::SetColor(platform::Color color) {
    const double a = ((color >> 24) & 0xFF) / 255.0;
    const double r = ((color >> 16) & 0xFF) / 255.0;
    const double g = ((color >> 8) & 0xFF) / 255.0;
    const double b = (color & 0xFF) / 255.0;
    cairo_set_source_rgba(cr_, r, g, b, a);
}

void CairoCanvas::PathRect(const RectF& rect, float radius) {
    const double w = std::max(0.0f, rect.Width());
    const double h = std::max(0.0f, rect.Height());
    const double r = std::min<double>({radius, w / 2, h / 2});
    if (r <= 0) {
        cairo_rectangle(cr_, rect.left, rect.top, w, h);
        return;
    }
    const double x = rect.left, y = rect.top;
    cairo_new_sub_path(cr_);
    cairo_arc(cr_, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr_, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr_, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr_, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr_);
}

void CairoCanvas::FillRect(const RectF& rect, platform::Color color, float cornerRadius) {
    cairo_save(cr_);
    SetColor(color);
    PathRect(rect, cornerRadius);
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void CairoCanvas::StrokeRect(const RectF& rect, platform::Color color, float lineWidth, float cornerRadius) {
    cairo_save(cr_);
    SetColor(color);
    cairo_set_line_width(cr_, lineWidth);
    // The stroke stays inside the rectangle, like a border.
    const float inset = lineWidth / 2;
    PathRect({rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset},
             std::max(0.0f, cornerRadius - inset));
    cairo_stroke(cr_);
    cairo_restore(cr_);
}

void CairoCanvas::DrawLine(float x1, float y1, float x2, float y2, platform::Color color, float lineWidth) {
    cairo_save(cr_);
    SetColor(color);
    cairo_set_line_width(cr_, lineWidth);
    cairo_move_to(cr_, x1, y1);
    cairo_line_to(cr_, x2, y2);
    cairo_stroke(cr_);
    cairo_restore(cr_);
}

std::string CairoCanvas::DefaultFontFamily() {
    std::string family = "Sans";
    GtkSettings* settings = gtk_settings_get_default();  // null before gtk_init
    if (settings) {
        gchar* raw = nullptr;
        g_object_get(settings, "gtk-font-name", &raw, nullptr);
        GCharPtr name(raw);
        if (name) {
            FontDescriptionPtr desc(pango_font_description_from_string(name.get()));
            const char* fam = pango_font_description_get_family(desc.get());
            if (fam && *fam) family = fam;
        }
    }
    return family;
}

GObjectPtr<PangoLayout> CairoCanvas::MakeLayout(const std::string& text, const platform::FontSpec& font,
                                                float width, unsigned flags) {
    GObjectPtr<PangoLayout> owned(pango_cairo_create_layout(cr_));
    PangoLayout* layout = owned.get();
    PangoContext* context = pango_layout_get_context(layout);
    // Sizes are logical units (1/96 inch) = cairo user units here.
    pango_cairo_context_set_resolution(context, 96);
    if (GdkScreen* screen = gdk_screen_get_default()) {
        if (const cairo_font_options_t* options = gdk_screen_get_font_options(screen))
            pango_cairo_context_set_font_options(context, options);
    }
    pango_layout_context_changed(layout);

    FontDescriptionPtr desc(pango_font_description_new());
    const std::string family = font.family.empty() ? DefaultFontFamily() : font.family;
    pango_font_description_set_family(desc.get(), family.c_str());
    pango_font_description_set_absolute_size(desc.get(), std::max(1.0f, font.size) * PANGO_SCALE);
    pango_font_description_set_weight(desc.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, desc.get());

    // Invalid UTF-8 would make pango warn and draw nothing; draw the valid
    // part, with replacement characters for the broken bytes.
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    } else {
        GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
        pango_layout_set_text(layout, valid.get(), -1);
    }

    if ((flags & platform::TextWordWrap) && width > 0) {
        pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
        // Words that are longer than the line still break, at a character.
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_NONE);
    pango_layout_set_alignment(layout, (flags & platform::TextHCenter) ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
    return owned;
}

int FittingPrefixBytes(PangoLayout* layout, int widthPango) {
    const char* text = pango_layout_get_text(layout);
    const int length = static_cast<int>(strlen(text));
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    if (logical.width <= widthPango) return length;

    int attrCount = 0;
    const PangoLogAttr* attrs = pango_layout_get_log_attrs_readonly(layout, &attrCount);
    // attrs has one entry per character plus one; walk cursor positions from
    // the end and take the first whose left edge lies within the width.
    const char* p = text;
    int bestBytes = 0;
    for (int i = 0; i < attrCount && p <= text + length; ++i) {
        const int bytes = static_cast<int>(p - text);
        if (attrs[i].is_cursor_position) {
            int edge;
            if (bytes >= length) {
                edge = logical.width;
            } else {
                PangoRectangle pos;
                pango_layout_index_to_pos(layout, bytes, &pos);
                edge = std::min(pos.x, pos.x + pos.width);
            }
            if (edge <= widthPango) bestBytes = bytes;
            else break;
        }
        if (bytes >= length) break;
        p = g_utf8_next_char(p);
    }
    return bestBytes;
}

void CairoCanvas::DrawText(const RectF& rect, const std::string& text, const platform::FontSpec& font,
                           platform::Color color, unsigned flags) {
    if (text.empty()) return;
    const float width = std::max(0.0f, rect.Width());
    const float height = std::max(0.0f, rect.Height());
    GObjectPtr<PangoLayout> owned = MakeLayout(text, font, width, flags);
    PangoLayout* layout = owned.get();

    if ((flags & platform::TextTrimCharacter) && !(flags & platform::TextWordWrap)) {
        const int keep = FittingPrefixBytes(layout, static_cast<int>(width * PANGO_SCALE));
        const std::string cut(pango_layout_get_text(layout), static_cast<size_t>(keep));
        pango_layout_set_text(layout, cut.data(), static_cast<int>(cut.size()));
    }

    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double textWidth = static_cast<double>(logical.width) / PANGO_SCALE;
    const double textHeight = static_cast<double>(logical.height) / PANGO_SCALE;

    double x = rect.left;
    if (flags & platform::TextHCenter) {
        // A wrapped layout already centres each line inside its width; an
        // unwrapped one is centred as a block.
        if (!((flags & platform::TextWordWrap) && width > 0)) x += (width - textWidth) / 2;
    }
    double y = rect.top;
    if (flags & platform::TextVCenter) y += (height - textHeight) / 2;

    cairo_save(cr_);
    cairo_rectangle(cr_, rect.left, rect.top, width, height);
    cairo_clip(cr_);
    SetColor(color);
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, layout);
    cairo_restore(cr_);
}

platform::SizeF CairoCanvas::MeasureText(const std::string& text, const platform::FontSpec& font, float maxWidth,
                                         unsigned flags) {
    if (text.empty()) return {};
    GObjectPtr<PangoLayout> layout =
        MakeLayout(text, font, maxWidth, maxWidth > 0 ? flags : (flags & ~platform::TextWordWrap));
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    float w = static_cast<float>(logical.width) / PANGO_SCALE;
    const float h = static_cast<float>(logical.height) / PANGO_SCALE;
    if ((flags & platform::TextTrimCharacter) && maxWidth > 0) w = std::min(w, maxWidth);
    return {w, h};
}

}  // namespace velmora::gtk
