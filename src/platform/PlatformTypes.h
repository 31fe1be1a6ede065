// Plain data that crosses the platform boundary. Nothing here may name an OS
// or toolkit type: the core includes this, and every backend translates to it.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::platform {

// Opaque handles. 0 always means "none".
using WindowHandle = std::uint64_t;
using TimerHandle = std::uint64_t;

struct PointI {
    int x = 0;
    int y = 0;
    friend bool operator==(const PointI&, const PointI&) = default;
};

struct SizeI {
    int width = 0;
    int height = 0;
    friend bool operator==(const SizeI&, const SizeI&) = default;
};

// Edges, right and bottom exclusive.
struct RectI {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const RectI&, const RectI&) = default;
};

struct RectF {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    float Width() const { return right - left; }
    float Height() const { return bottom - top; }
    friend bool operator==(const RectF&, const RectF&) = default;
};

// 0xAARRGGBB
using Color = std::uint32_t;

enum class MouseButton { Left, Right, Middle };

enum ShiftState : unsigned {
    ShiftNone = 0,
    ShiftShift = 1,
    ShiftCtrl = 2,
    ShiftAlt = 4,
};

// Virtual key codes the toolkit reacts to; printable keys arrive as Char.
enum class Key : int {
    None = 0,
    Tab = 9,
    Enter = 13,
    Escape = 27,
    Space = 32,
    Left = 37,
    Up = 38,
    Right = 39,
    Down = 40,
    Other = 255,
};

enum class MessageKind {
    Quit,
    Paint,            // window must be drawn; the backend passes a canvas to OnPaint
    Close,            // close request: close button, Alt+F4, system menu, taskbar
    Activate,         // the window became the active window
    Deactivate,
    Moved,            // the native window was moved or resized (by anyone)
    DpiChanged,       // dpi = new DPI
    MouseDown,
    MouseUp,
    MouseMove,
    MouseWheel,       // wheelDelta: 120 per notch
    MouseLeave,
    KeyDown,
    KeyUp,
    Char,
    FocusIn,
    FocusOut,
    TouchBegin,       // touch points in client pixels
    TouchMove,
    TouchEnd,
    Timer,            // timer = handle of the timer that fired
    Invoke,           // a posted callback (used for deferred disposal)
};

// One message of the UI thread's queue. Coordinates are client pixels of the
// target window.
struct Message {
    MessageKind kind = MessageKind::Quit;
    WindowHandle window = 0;
    TimerHandle timer = 0;
    MouseButton button = MouseButton::Left;
    PointI point;
    int clickCount = 1;   // 2 for the second press of a double-click
    int wheelDelta = 0;
    Key key = Key::None;
    char32_t character = 0;
    unsigned shift = ShiftNone;
    int dpi = 96;
    std::uint64_t invokeId = 0;
};

enum class MessageBoxIcon { None, Error, Warning, Information, Question };
enum class MessageBoxButtons { Ok, OkCancel, YesNo };
enum class MessageBoxResult { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
    WindowHandle owner = 0;   // 0: no owner
    std::string caption;
    std::string text;
    MessageBoxIcon icon = MessageBoxIcon::None;
    MessageBoxButtons buttons = MessageBoxButtons::Ok;
    bool taskModal = false;   // no owner, blocks every window of the program
};

// What kind of top-level window the toolkit asks for.
enum class WindowKind {
    Application,  // zero-size borderless window that carries the taskbar entry
    Form,         // title bar, sizing frame, system menu, minimise and maximise
};

struct WindowCreateParams {
    WindowKind kind = WindowKind::Form;
    WindowHandle owner = 0;
    std::string title;
    bool useProgramIcon = true;
};

struct FontSpec {
    std::string family;   // empty: the theme's UI font
    float size = 12;      // logical units (1/96 inch)
    bool bold = false;
};

enum TextFlags : unsigned {
    TextNone = 0,
    TextWordWrap = 1,
    TextHCenter = 2,
    TextVCenter = 4,
    TextTrimCharacter = 8,  // cut at a character boundary where it does not fit
};

}  // namespace velmora::platform
