#include "InputTranslation.h"

#include <gdk/gdk.h>

#include <cmath>
#include <cstdlib>

namespace velmora::gtk {

using platform::Key;

Key TranslateKeyval(unsigned keyval) {
    switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_ISO_Left_Tab:  // what Shift+Tab sends
        return Key::Tab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        return Key::Enter;
    case GDK_KEY_Escape:
        return Key::Escape;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
        return Key::Space;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        return Key::Left;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        return Key::Up;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        return Key::Right;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        return Key::Down;
    case GDK_KEY_VoidSymbol:
        return Key::None;
    default:
        return Key::Other;
    }
}

unsigned TranslateModifiers(unsigned gdkState) {
    unsigned shift = platform::ShiftNone;
    if (gdkState & GDK_SHIFT_MASK) shift |= platform::ShiftShift;
    if (gdkState & GDK_CONTROL_MASK) shift |= platform::ShiftCtrl;
    if (gdkState & GDK_MOD1_MASK) shift |= platform::ShiftAlt;
    return shift;
}

char32_t TypedCharacter(unsigned keyval, unsigned gdkState) {
    if (gdkState & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return 0;
    const char32_t c = gdk_keyval_to_unicode(keyval);
    if (c < 0x20 || c == 0x7F) return 0;
    return c;
}

int ClickCounter::Press(std::uint64_t window, platform::MouseButton button, std::uint32_t timeMs, int x,
                        int y) {
    const bool pairs = havePrevious_ && window == window_ && button == button_ &&
                       static_cast<std::uint32_t>(timeMs - time_) <= maxIntervalMs_ &&
                       std::abs(x - x_) <= maxDistance_ && std::abs(y - y_) <= maxDistance_;
    if (pairs) {
        havePrevious_ = false;
        return 2;
    }
    havePrevious_ = true;
    window_ = window;
    button_ = button;
    time_ = timeMs;
    x_ = x;
    y_ = y;
    return 1;
}

int WheelAccumulator::AddSmooth(double deltaY) {
    // GDK: positive delta scrolls down (content moves up); a wheel turned
    // away from the user reports +120 to the toolkit.
    pending_ += -deltaY * 120.0;
    const double whole = std::trunc(pending_);
    pending_ -= whole;
    return static_cast<int>(whole);
}

}  // namespace velmora::gtk
