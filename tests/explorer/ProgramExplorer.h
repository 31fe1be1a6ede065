// Plays a schedule against the whole reader - the program's own entry, main
// window and application object - on the headless backend, and checks after
// every step what must hold whatever the user does:
//
//  close     a close request reaches the window's close query, and one it
//            agrees to (or a quit message) ends the program within
//            kCloseBoundMs of virtual time; the program ends for no other
//            reason, with exit code 0 and nothing left behind;
//  chapter   each chapter choice gives exactly one load, of that chapter's
//            address, and nothing else is loaded but the start-up's empty
//            page;
//  slide     when no slide runs, exactly one page's content is visible, the
//            active one, over the page area; the engine's display is hidden
//            or lies over the web view, and shows exactly while the reader
//            page is the active one;
//  timers    the animation timer lives exactly while an animation runs,
//            animations only while a slide runs, no other timer but the
//            idle pass's, and none once the program winds down;
//  focus     the focused control is one of the window's, visible, able to
//            take focus - or there is none;
//  a11y      the published accessible tree is the window's control tree:
//            every control that has a role once, parents and children that
//            agree, and the states, names and bounds of the controls;
//  errors    no error box, unless the engine was made to refuse loads.
//
// A failed run names its invariant; Shrink looks for the shortest schedule
// that still fails the same one.
#pragma once

#include <functional>
#include <string>

#include "explorer/Schedule.h"

namespace velmora::explorer {

// How long a close or quit may take to end the program, virtual ms.
constexpr double kCloseBoundMs = 1000;

struct Verdict {
    bool ok = true;
    std::string invariant;  // "close", "chapter", ...
    std::string detail;
    double at = 0;  // virtual ms
    // How far the program got: steps played, choices made, pages loaded.
    int stepsPlayed = 0;
    int choices = 0;
};

Verdict Play(const Schedule& schedule);

// The shortest schedule found that still fails with the same invariant;
// `runs` counts the plays it took.
Schedule Shrink(const Schedule& failing, const Verdict& failure, int* runs = nullptr);

}  // namespace velmora::explorer
