#include "LoadIndicator.h"

#include <algorithm>

namespace velmora::gtk {

namespace {
constexpr int kLineHeight = 3;
}

LoadIndicator::LoadIndicator(GtkOverlay* overlay) {
    // Held by us as well: the window may destroy the overlay first.
    cover_ = GTK_WIDGET(g_object_ref_sink(gtk_drawing_area_new()));
    gtk_widget_set_no_show_all(cover_, TRUE);
    g_signal_connect(cover_, "draw", G_CALLBACK(OnDrawCover), this);
    gtk_overlay_add_overlay(overlay, cover_);

    line_ = GTK_WIDGET(g_object_ref_sink(gtk_drawing_area_new()));
    gtk_widget_set_no_show_all(line_, TRUE);
    gtk_widget_set_size_request(line_, -1, kLineHeight);
    gtk_widget_set_valign(line_, GTK_ALIGN_START);
    gtk_widget_set_halign(line_, GTK_ALIGN_FILL);
    g_signal_connect(line_, "draw", G_CALLBACK(OnDrawLine), this);
    gtk_overlay_add_overlay(overlay, line_);
    // The line lies over the page's top edge; clicks go through to the page.
    gtk_overlay_set_overlay_pass_through(overlay, line_, TRUE);
}

LoadIndicator::~LoadIndicator() {
    CancelCoverTimer();
    g_signal_handlers_disconnect_by_data(line_, this);
    g_signal_handlers_disconnect_by_data(cover_, this);
    g_object_unref(line_);
    g_object_unref(cover_);
}

void LoadIndicator::Begin() {
    fraction_ = 0;
    gtk_widget_show(line_);
    gtk_widget_queue_draw(line_);
    CancelCoverTimer();
    coverTimer_ = g_timeout_add(kCoverDelayMs, +[](gpointer self) -> gboolean {
        auto* indicator = static_cast<LoadIndicator*>(self);
        indicator->coverTimer_ = 0;
        gtk_widget_show(indicator->cover_);
        return G_SOURCE_REMOVE;
    }, this);
}

void LoadIndicator::Progress(double fraction) {
    fraction_ = std::clamp(fraction, 0.0, 1.0);
    if (gtk_widget_get_visible(line_)) gtk_widget_queue_draw(line_);
}

void LoadIndicator::Arrived() {
    CancelCoverTimer();
    gtk_widget_hide(cover_);
}

void LoadIndicator::End() {
    Arrived();
    gtk_widget_hide(line_);
}

void LoadIndicator::CancelCoverTimer() {
    if (coverTimer_) g_source_remove(coverTimer_);
    coverTimer_ = 0;
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

gboolean LoadIndicator::OnDrawCover(GtkWidget* widget, cairo_t* cr, gpointer) {
    const int width = gtk_widget_get_allocated_width(widget);
    const int height = gtk_widget_get_allocated_height(widget);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, "Глава загружается…");
    int textWidth = 0, textHeight = 0;
    pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
    cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
    cairo_move_to(cr, (width - textWidth) / 2.0, (height - textHeight) / 2.0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
}

}  // namespace velmora::gtk
