// Names under which the desktop knows the program: the application id (also
// the name of the .desktop file, the AppStream component and the icon) and the
// window class the window manager groups the taskbar entry by.
#pragma once

namespace velmora::gtk {

inline constexpr const char* kApplicationId = "org.velmora.Velmora";
inline constexpr const char* kWindowClass = "Velmora";

}  // namespace velmora::gtk
