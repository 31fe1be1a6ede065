#include "WindowClientArea.h"

namespace velmora {

platform::AccessibleRole TWindowClientArea::AccessibleRole() const { return platform::AccessibleRole::Frame; }
std::string TWindowClientArea::AccessibleName() const { return window_.WindowCaption(); }
unsigned TWindowClientArea::AccessibleStates() const {
    unsigned states = platform::AccessibleEnabled;
    if (window_.WindowShown()) states |= platform::AccessibleVisible | platform::AccessibleShowing;
    if (window_.WindowActive()) states |= platform::AccessibleFocused;
    return states;
}

}  // namespace velmora
