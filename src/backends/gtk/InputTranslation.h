// Turning GDK input into the toolkit's key codes, shift states and click
// counts. Kept apart from the platform object so it can be checked alone.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

namespace velmora::gtk {

platform::Key TranslateKeyval(unsigned keyval);
// GDK modifier mask -> ShiftState bits.
unsigned TranslateModifiers(unsigned gdkState);
// The character a key press types, or 0 when it types none (control keys,
// chords with Ctrl or Alt, dead keys).
char32_t TypedCharacter(unsigned keyval, unsigned gdkState);

// GTK reports a double-click as press, release, press, 2BUTTON_PRESS; the
// toolkit wants the second press itself marked as the double-click, the way
// the desktop's own buttons see it. This tracker decides from time and
// distance, with the desktop's double-click settings.
class ClickCounter {
public:
    ClickCounter(unsigned maxIntervalMs, int maxDistance)
        : maxIntervalMs_(maxIntervalMs), maxDistance_(maxDistance) {}
    // Returns 1 or 2. A third quick press starts a new pair.
    int Press(std::uint64_t window, platform::MouseButton button, std::uint32_t timeMs, int x, int y);
    void Reset() { havePrevious_ = false; }

private:
    unsigned maxIntervalMs_;
    int maxDistance_;
    bool havePrevious_ = false;
    std::uint64_t window_ = 0;
    platform::MouseButton button_ = platform::MouseButton::Left;
    std::uint32_t time_ = 0;
    int x_ = 0;
    int y_ = 0;
};

// Smooth scrolling reports fractions of a notch; the toolkit wants 120 per
// notch. Fractions are carried over so slow scrolling still adds up.
class WheelAccumulator {
public:
    // deltaY: GDK's delta (positive = towards the user). Returns the wheel
    // delta to report now (0 when less than a unit has gathered).
    int AddSmooth(double deltaY);
    static int Notch(bool up) { return up ? 120 : -120; }

private:
    double pending_ = 0;
};

}  // namespace velmora::gtk
