// The DPI of a window on a desktop that scales in two steps: windows by a
// whole factor per monitor, and text by the desktop's font DPI (how X11
// desktops express 125 % and 150 %, and the large-text setting). The
// toolkit scales everything by one factor, so both steps fold into one DPI.
#pragma once

#include <cmath>

namespace velmora::platform {

// factor: the monitor's whole scale factor (below 1 counts as 1); fontDpi:
// the desktop's font DPI at factor 1, 0 or less when the desktop sets none
// (then the DPI is 96 per factor).
inline int DesktopDpi(int factor, double fontDpi) {
    if (factor < 1) factor = 1;
    if (!(fontDpi > 0)) return 96 * factor;
    return static_cast<int>(std::lround(factor * fontDpi));
}

}  // namespace velmora::platform
