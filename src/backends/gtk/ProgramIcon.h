// The program icon for window decorations and the taskbar: the PNGs rendered
// from the project's SVG at build time, found in the build tree beside the
// executable, in the installed prefix, or through the icon theme.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "GLibHolders.h"

namespace velmora::gtk {

// Directories searched, in order, for icons/hicolor/<n>x<n>/apps/<id>.png.
std::vector<std::string> ProgramIconRoots(const std::string& executablePath);
// A list of GdkPixbuf; empty when no image was found.
IconList LoadProgramIcons(const std::string& executablePath);

}  // namespace velmora::gtk
