// What the reader page shows while a chapter loads: a thin line along its top
// that follows the engine's estimate, and, once the wait is longer than a
// moment, a plain cover with the given words, so that the previous chapter
// does not stand under the new choice as if it were current.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "GLibHolders.h"

namespace velmora::gtk {

class LoadIndicator {
public:
    // Adds its pieces as overlay children of the given overlay.
    LoadIndicator(GtkOverlay* overlay, std::string coverText);
    ~LoadIndicator();
    LoadIndicator(const LoadIndicator&) = delete;
    LoadIndicator& operator=(const LoadIndicator&) = delete;

    // A new chapter was chosen: the line appears at once, the cover after the
    // moment has passed without the new page arriving.
    void Begin();
    void Progress(double fraction);
    // The new page has started to arrive: the cover goes.
    void Arrived();
    // The load has ended (shown or failed): everything goes.
    void End();

    bool LineShown() const { return gtk_widget_get_visible(line_.get()); }
    bool CoverShown() const { return gtk_widget_get_visible(cover_.get()); }
    double Fraction() const { return fraction_; }

    static constexpr guint kCoverDelayMs = 400;

private:
    static gboolean OnDrawLine(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean OnDrawCover(GtkWidget* widget, cairo_t* cr, gpointer self);

    const std::string coverText_;
    // Held by us as well: the window may destroy the overlay first.
    GObjectPtr<GtkWidget> line_;
    GObjectPtr<GtkWidget> cover_;
    SourceId coverTimer_;
    double fraction_ = 0;
};

}  // namespace velmora::gtk
