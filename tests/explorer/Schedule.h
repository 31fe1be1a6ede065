// A schedule for the program explorer: what a user, the window system, a
// screen reader and the web engine do to the reader, and when, in virtual
// milliseconds from the moment the event loop first waits. Several steps may
// share one instant; they then all arrive before the program sees any.
//
// Every step has a one-line text form ("120 click B3"), which is what a
// failing run prints and what the table of regressions stores, so a replay
// reads as a list of things that happened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::explorer {

// Places a pointer step aims at, looked up in the live layout when the step
// runs, so that they stay right after a DPI change or a resize.
enum class Place { B1, B2, B3, B4, Contents, Reader, View, Empty, Strip };

enum class Act {
    Click,           // place: press and release there
    DoubleClick,     // place: a press with a click count of 2, then a release
    Press,           // place, button (0 left, 1 right, 2 middle)
    Release,         // place, button
    Move,            // place
    Leave,           // the pointer left the window
    Wheel,           // place, delta in notches
    Key,             // key code, shift state: press and release
    KeyDown,         // key code, shift state
    Char,            // character
    TouchTap,        // place
    TouchPan,        // place, horizontal travel in pixels
    CloseMain,       // the window manager asks the main window to close
    CloseApp,        // the taskbar entry is asked to close
    CloseQueued,     // another thread queues a call that closes the main window
    Quit,            // a quit message lands in the queue
    RefuseClose,     // 1: the window's close query answers no from now on; 0: yes
    Activate,        // 0 the main window, 1 the application's window, 2 the engine's display
    Deactivate,      // another program became active
    Dpi,             // the main window's monitor changes to this DPI
    Resize,          // the user sizes the window to this client width and height (pixels)
    A11yAction,      // node number in the accessible tree (wraps around), action number
    A11yFocus,       // node number
    EngineStart,     // the engine starts the newest load it was given
    EngineComplete,  // 0: the newest load completes; n: the n-th newest (a late answer)
    EngineFail,      // as EngineComplete, with an HTTP status
    EngineCommands,  // back/forward become available (1) or not (0)
    EngineClick,     // the user clicks into the engine's display (only when it is shown)
    EngineFocus,     // 0: the page takes the keyboard by itself; 1: Tab leaves its last link; 2: Shift+Tab its first
    EngineRefuse,    // 1: the engine refuses every load from now on; 0: it takes them again
    Stall,           // the UI thread is busy for this many milliseconds (timers fall due meanwhile)
};

struct Step {
    // Virtual milliseconds; below 0: the moment the main window first
    // appears, before the event loop runs.
    double at = 0;
    Act act = Act::Click;
    int a = 0;
    int b = 0;
    bool operator==(const Step&) const = default;
};

struct Schedule {
    std::uint64_t seed = 0;
    // Extra lateness of every timer firing, at most this many microseconds,
    // drawn from the seed.
    unsigned timerJitterUs = 0;
    bool touchScreen = false;
    std::vector<Step> steps;
};

// "120 click B3", "120.5 key 9 1", ...
std::string Describe(const Step& step);
// One step a line; the header line names the jitter and the touch screen.
std::string Describe(const Schedule& schedule);
// Reads Describe's form back; steps may also be separated by ";". Throws
// std::invalid_argument naming the bad line.
Schedule ParseSchedule(const std::string& text);

// A random schedule of about `steps` steps from the seed; the same seed
// always gives the same schedule.
Schedule RandomSchedule(std::uint64_t seed, int steps);

// The schedule's last instant.
double EndOf(const Schedule& schedule);

}  // namespace velmora::explorer
