#include "LoadIndicator.h"

#include <algorithm>
#include <utility>

namespace velmora::gtk {

namespace {
constexpr int kLineHeight = 3;
}

LoadIndicator::LoadIndicator(GtkOverlay* overlay, std::string coverText)
    : coverText_(std::move(coverText)),
      line_(GTK_WIDGET(g_object_ref_sink(gtk_drawing_area_new()))),
      cover_(GTK_WIDGET(g_object_ref_sink(gtk_drawing_area_new()))) {
    gtk_widget_set_no_show_all(cover_.get(), TRUE);
    g_signal_connect(cover_.get(), "draw", G_CALLBACK(OnDrawCover), this);
    gtk_overlay_add_overlay(overlay, cover_.get());

    gtk_widget_set_no_show_all(line_.get(), TRUE);
    gtk_widget_set_size_request(line_.get(), -1, kLineHeight);
    gtk_widget_set_valign(line_.get(), GTK_ALIGN_START);
    gtk_widget_set_halign(line_.get(), GTK_ALIGN_FILL);
    g_signal_connect(line_.get(), "draw", G_CALLBACK(OnDrawLine), this);
    gtk_overlay_add_overlay(overlay, line_.get());
    // The line lies over the page's top edge; clicks go through to the page.
    gtk_overlay_set_overlay_pass_through(overlay, line_.get(), TRUE);
}

LoadIndicator::~LoadIndicator() {
    g_signal_handlers_disconnect_by_data(line_.get(), this);
    g_signal_handlers_disconnect_by_data(cover_.get(), this);
}

void LoadIndicator::Begin() {
    fraction_ = 0;
    gtk_widget_show(line_.get());
    gtk_widget_queue_draw(line_.get());
    coverTimer_.Reset(g_timeout_add(kCoverDelayMs, +[](gpointer self) -> gboolean {
        auto* indicator = static_cast<LoadIndicator*>(self);
        indicator->coverTimer_.Forget();
        gtk_widget_show(indicator->cover_.get());
        return G_SOURCE_REMOVE;
    }, this));
}

void LoadIndicator::Progress(double fraction) {
    fraction_ = std::clamp(fraction, 0.0, 1.0);
    if (gtk_widget_get_visible(line_.get())) gtk_widget_queue_draw(line_.get());
}

void LoadIndicator::Arrived() {
    coverTimer_.Reset();
    gtk_widget_hide(cover_.get());
}

void LoadIndicator::End() {
    Arrived();
    gtk_widget_hide(line_.get());
}

gboolean LoadIndicator::OnDrawLine(GtkWidget* widget, cairo_t* cr, gpointer self) {
    auto* indicator = static_cast<LoadIndicator*>(self);
    const int width = gtk_widget_get_allocated_width(widget);
    const int height = gtk_widget_get_allocated_height(widget);
    // A sliver even at the start, so that the line is seen at once.
    const double shown = std::max(0.05, indicator->fraction_);
    cairo_set_source_rgb(cr, 0.21, 0.52, 0.89);
    cairo_rectangle(cr, 0, 0, width * shown, height);
    cairo_fill(cr);
    return TRUE;
}

gboolean LoadIndicator::OnDrawCover(GtkWidget* widget, cairo_t* cr, gpointer self) {
    auto* indicator = static_cast<LoadIndicator*>(self);
    const int width = gtk_widget_get_allocated_width(widget);
    const int height = gtk_widget_get_allocated_height(widget);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    if (indicator->coverText_.empty()) return TRUE;
    const GObjectPtr<PangoLayout> layout(gtk_widget_create_pango_layout(widget, indicator->coverText_.c_str()));
    int textWidth = 0, textHeight = 0;
    pango_layout_get_pixel_size(layout.get(), &textWidth, &textHeight);
    cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
    cairo_move_to(cr, (width - textWidth) / 2.0, (height - textHeight) / 2.0);
    pango_cairo_show_layout(cr, layout.get());
    return TRUE;
}

}  // namespace velmora::gtk
