// The message box as GTK shows it, in the steps it takes: the text cleaned of
// the desktop convention's line ends, the dialog with its icon and buttons,
// and the button pressed read back as the platform's answer. Which window the
// dialog belongs to, and what happens without a display, are the platform's.
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "platform/PlatformTypes.h"

namespace velmora::gtk {

// Without carriage returns (GTK would show each as a box) and without line
// breaks at the end.
std::string DialogText(const std::string& text);

GtkMessageType MessageTypeOf(platform::MessageBoxIcon icon);

// A modal dialog titled with the caption, showing text with the icon's kind,
// holding the request's buttons with the first of them as the default. parent
// nullptr: centred on the screen. The caller destroys it.
GtkWidget* NewMessageDialog(GtkWindow* parent, const platform::MessageBoxRequest& request, const std::string& text);

// The answer of a button's response; none for a dialog closed without a
// button (window manager, Escape).
std::optional<platform::MessageBoxResult> AnswerOf(gint response);

}  // namespace velmora::gtk
