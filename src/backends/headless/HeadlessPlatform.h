// A complete platform without a display, for tests. Everything is
// deterministic: windows have real geometry, time is a virtual clock that only
// moves when a test (or a wait) moves it, input is injected as messages, and
// message boxes are recorded and answered at once.
//
// What it implements for real: window geometry and DPI, the queue with paints
// coalesced per window, timers on the virtual clock (refused while the
// application winds down), message boxes (recorded, answered with
// MessageBoxAnswer), an engine double (HeadlessWebEngine).
// What it leaves out: native child windows beyond their rectangles, mouse
// capture (only remembered), the process facts (set by the test), drawing
// (recorded, not rasterised).
// It does not use the desktop backends' shared core (NativePlatform): it has
// no system events to pump, and its timers fall due on the virtual clock.
//
// Time. The clock counts microseconds from 0. Advance(ms) moves it forward and
// makes every timer that falls due on the way post its Timer message (at most
// one waiting message per timer, as a real queue coalesces them; repeating
// timers re-arm). WaitMessage() returns at once when a message is waiting;
// otherwise it moves the clock to the next scheduled event - a timer or a
// step scheduled with At()/After() - and runs it. When nothing could ever
// arrive (or only past WaitLimitMs) it does not hang: it records the
// deadlock, posts a quit message so an event loop ends, and throws
// HeadlessDeadlock. YieldProcessor() moves the clock to the next event as
// well (or by YieldQuantumMs), so a busy wait that yields makes progress.
//
// Geometry. A Form window is created hidden at DefaultPosition with
// DefaultOuterSize and the frame in Frame (client = outer less the frame).
// An Application window is a zero-size frameless window at (0, 0). Moving or
// resizing a window by any means delivers a Moved message to its events at
// once (the way the system sends its notification), before the call returns.
//
// Painting. InvalidateWindow marks a visible window; when no other message
// waits, PeekMessage hands out one Paint message per marked window. Its
// dispatch paints into a RecordingCanvas with the window's scale (DPI / 96),
// which LastPaint() keeps for inspection.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "RecordedAccessibility.h"
#include "RecordingCanvas.h"
#include "platform/Platform.h"

namespace velmora::headless {

using platform::Message;
using platform::MessageKind;
using platform::PointI;
using platform::RectI;
using platform::SizeI;
using platform::TimerHandle;
using platform::WindowHandle;

// Thrown by WaitMessage when the queue is empty and nothing is scheduled.
class HeadlessDeadlock : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Frame {
    int left = 8;
    int top = 31;
    int right = 8;
    int bottom = 8;
};

// What a recorded message box looked like.
struct RecordedMessageBox {
    WindowHandle owner = 0;
    std::string caption;
    std::string text;
    platform::MessageBoxIcon icon = platform::MessageBoxIcon::None;
    platform::MessageBoxButtons buttons = platform::MessageBoxButtons::Ok;
    bool taskModal = false;
};

// Everything the backend knows about one native window.
struct WindowState {
    WindowHandle handle = 0;
    platform::WindowKind kind = platform::WindowKind::Form;
    bool isChild = false;           // a child window (the engine's display)
    WindowHandle owner = 0;         // top-level: owner window
    WindowHandle parent = 0;        // child: parent window
    std::string title;
    RectI bounds;                   // top-level: screen pixels; child: parent client pixels
    bool visible = false;
    bool destroyed = false;
    int dpi = 96;
    int showCount = 0;              // how often ShowWindow was called
    RectI boundsAtFirstShow;        // where the window was when first shown
    int dpiAtFirstShow = 0;
    platform::IWindowEvents* events = nullptr;
};

class HeadlessPlatform : public platform::Platform {
public:
    HeadlessPlatform();
    ~HeadlessPlatform() override;

    // ---- configuration (set before the windows are created) ----------------
    PointI DefaultPosition{120, 80};
    SizeI DefaultOuterSize{800, 600};
    Frame WindowFrame;
    int DefaultDpi = 96;
    platform::OsVersion Os{10, 0};
    bool Touch = false;
    // A wait that would move the clock past this virtual time is treated like
    // a wait on nothing: an idle loop that nobody ends must not run forever.
    double WaitLimitMs = 600000;
    // 0: YieldProcessor jumps to the next scheduled event (1 ms when none).
    unsigned YieldQuantumMs = 0;
    // When set, every timer falls due this many microseconds later than its
    // interval says, drawn anew each time it is armed: a loaded system's
    // jitter, repeatable from the test's seed.
    std::function<std::uint64_t()> TimerLatenessUs;
    std::string ExecutableFile = "/nonexistent/velmora/Velmora";
    std::string UserDataDirectory = "/nonexistent/velmora-user";
    // LocateCode: this module name, and offsets counted from CodeBase.
    std::string ModuleFileName = "Velmora";
    std::uintptr_t CodeBase = 0;
    // Answer given to every message box.
    platform::MessageBoxResult MessageBoxAnswer = platform::MessageBoxResult::Ok;
    // Called while a message box is "open" (after it has been recorded).
    std::function<void(const RecordedMessageBox&)> OnMessageBox;
    // Called when a window has been shown, before ShowWindow returns: what
    // the system does to a window the moment it appears (a close request
    // from the window manager, say) can be played there.
    std::function<void(WindowHandle)> OnWindowShown;
    // When set, CreateWebEngine fails with this result.
    std::optional<platform::EngineResult> WebEngineCreationFailure;

    // ---- time --------------------------------------------------------------
    std::uint64_t NowMicroseconds() const { return nowUs_; }
    double NowMs() const { return static_cast<double>(nowUs_) / 1000.0; }
    // Moves the clock forward, running what falls due on the way.
    void Advance(double ms);
    // Schedules a step at an absolute virtual time / after a delay.
    void At(double ms, std::function<void()> step);
    void After(double ms, std::function<void()> step);
    // Dispatches every waiting message (paints included); errors propagate.
    void DispatchPending();
    // Advances to now + ms event by event, dispatching what each one posts.
    void RunFor(double ms);
    bool Deadlocked() const { return deadlocked_; }
    std::size_t LiveTimerCount() const;

    // ---- injected input (client pixels of the window) ----------------------
    void Press(WindowHandle window, int x, int y, platform::MouseButton button = platform::MouseButton::Left,
               unsigned shift = platform::ShiftNone, int clickCount = 1);
    void Release(WindowHandle window, int x, int y, platform::MouseButton button = platform::MouseButton::Left,
                 unsigned shift = platform::ShiftNone);
    void Move(WindowHandle window, int x, int y, unsigned shift = platform::ShiftNone);
    // Press and release at the same point.
    void Click(WindowHandle window, int x, int y, platform::MouseButton button = platform::MouseButton::Left);
    // Press, release, second press (clickCount 2), release.
    void DoubleClick(WindowHandle window, int x, int y);
    void Wheel(WindowHandle window, int x, int y, int delta, unsigned shift = platform::ShiftNone);
    // KeyDown and KeyUp to the active window. No Char message is made; use Char.
    void Key(platform::Key key, unsigned shift = platform::ShiftNone);
    void KeyDown(platform::Key key, unsigned shift = platform::ShiftNone);
    void Char(char32_t character);
    void CloseRequest(WindowHandle window);
    // Makes the window active as the user would (Deactivate/Activate messages).
    void Activate(WindowHandle window);
    // A DPI change of the window's monitor: the window's DPI becomes dpi and a
    // DpiChanged message is posted.
    void ChangeDpi(WindowHandle window, int dpi);
    // The desktop's scale as a Linux desktop gives it: a whole factor and a
    // font DPI (0: none set). Windows created later get the DPI it makes;
    // every open top-level window whose DPI it changes gets ChangeDpi.
    void SetDesktopScale(int factor, double fontDpi);
    // The user (or the system) moves/resizes the window.
    void MoveByUser(WindowHandle window, const RectI& bounds);
    // Posts any message as is.
    void Post(const Message& message);

    // ---- inspection ---------------------------------------------------------
    const WindowState* Window(WindowHandle window) const;
    // Live top-level windows in creation order (optionally only one kind).
    std::vector<WindowHandle> TopLevelWindows() const;
    std::vector<WindowHandle> TopLevelWindows(platform::WindowKind kind) const;
    std::size_t WindowsCreated() const { return nextWindow_ - 1; }
    const std::vector<RecordedMessageBox>& MessageBoxes() const { return messageBoxes_; }
    // The canvas of the last paint of the window, or nullptr.
    const RecordingCanvas* LastPaint(WindowHandle window) const;
    std::size_t QueueSize() const { return queue_.size(); }
    bool QuitPosted() const;
    WindowHandle CapturedWindow() const { return capture_; }
    int OffscreenCanvasesCreated() const { return offscreenCreated_; }
    bool UiThreadInitialized() const { return uiThreadInitialized_; }
    bool FloatingPointMasked() const { return fpMasked_; }
    // Log shared with the headless web engine: display-window placement calls
    // ("SetWindowPos(h, x, y, cx, cy, 0xFLAGS)", "SetParentWindow(child, parent, bottom|top)")
    // and the engine's own calls.
    std::vector<std::string>& CallLog() { return callLog_; }

    // A child window for the engine's display: hidden, empty rect.
    WindowHandle CreateChildWindow(WindowHandle parent);

    // ---- platform::Platform ----------------------------------------------------
    void InitializeUiThread() override;
    void MaskFloatingPointExceptions() override;
    std::string ExecutablePath() override;
    std::string UserDataFolder() override;
    platform::CodeLocation LocateCode(const void* address) override;
    platform::OsVersion GetOsVersion() override;

    WindowHandle CreateNativeWindow(const platform::WindowCreateParams& params,
                                    platform::IWindowEvents* events) override;
    void DestroyNativeWindow(WindowHandle window) override;
    void SetWindowTitle(WindowHandle window, const std::string& title) override;
    RectI GetWindowBounds(WindowHandle window) override;
    SizeI GetClientSize(WindowHandle window) override;
    void SetClientSize(WindowHandle window, SizeI size) override;
    void SetWindowBounds(WindowHandle window, const RectI& bounds) override;
    void ShowWindow(WindowHandle window) override;
    void HideWindow(WindowHandle window) override;
    bool IsWindowVisible(WindowHandle window) override;
    void ActivateWindow(WindowHandle window) override;
    WindowHandle ActiveWindow() override;
    void InvalidateWindow(WindowHandle window) override;
    void SetMouseCapture(WindowHandle window) override;
    void ReleaseMouseCapture() override;
    int GetWindowDpi(WindowHandle window) override;
    bool TouchAvailable() override;

    void SetWindowPos(WindowHandle window, const RectI& rect, unsigned flags) override;
    void SetParentWindow(WindowHandle child, WindowHandle parent, bool toBottom) override;
    WindowHandle GetParentWindow(WindowHandle child) override;

    bool PeekMessage(Message& message) override;
    void DispatchMessage(const Message& message) override;
    void PostQuitMessage() override;
    void PostCallback(std::function<void()> callback) override;
    void WaitMessage() override;

    TimerHandle CreateTimer(unsigned intervalMs, bool repeating, std::function<void()> callback) override;
    void KillTimer(TimerHandle timer) override;
    void RefuseTimers(bool refuse) override;
    std::uint64_t HighResolutionCounter() override;
    std::uint64_t HighResolutionFrequency() override;
    void YieldProcessor() override;

    platform::MessageBoxResult ShowMessageBox(const platform::MessageBoxRequest& request) override;
    std::unique_ptr<platform::ICanvas> CreateOffscreenCanvas(SizeI pixels, float scale) override;
    std::unique_ptr<platform::IWebEngine> CreateWebEngine(platform::IWebEngineEvents& events,
                                                          platform::EngineResult& failure) override;

    void PublishAccessibleTree(WindowHandle window, platform::IAccessibleNode* root) override {
        accessibility_.Publish(window, root);
    }
    platform::IAccessibilityEvents* AccessibilityEvents() override { return &accessibility_; }
    // The published trees and every change the core announced.
    RecordedAccessibility& Accessibility() { return accessibility_; }

private:
    struct Timer {
        std::uint64_t intervalUs = 0;
        bool repeating = false;
        std::uint64_t dueUs = 0;
        bool armed = true;      // false: a one-shot that has fired
        std::uint64_t order = 0;
        std::function<void()> callback;
    };
    struct Step {
        std::uint64_t dueUs = 0;
        std::uint64_t order = 0;
        std::function<void()> run;
    };

    WindowState* Find(WindowHandle window);
    WindowState& Require(WindowHandle window, const char* operation);
    void NotifyMoved(WindowState& w);
    void SetActive(WindowHandle window);
    // Earliest scheduled event time, if any.
    std::optional<std::uint64_t> NextEventTime() const;
    // Runs every event due at or before the current time, in due order.
    void RunDueEvents();
    void AdvanceTo(std::uint64_t targetUs);
    bool TimerMessageWaiting(TimerHandle timer) const;
    void PostMouse(MessageKind kind, WindowHandle window, int x, int y, platform::MouseButton button,
                   unsigned shift, int clickCount);

    std::map<WindowHandle, WindowState> windows_;
    WindowHandle nextWindow_ = 1;
    WindowHandle active_ = 0;
    WindowHandle capture_ = 0;
    std::deque<Message> queue_;
    std::set<WindowHandle> invalid_;
    std::map<std::uint64_t, std::function<void()>> callbacks_;
    std::uint64_t nextInvoke_ = 1;
    std::map<TimerHandle, Timer> timers_;
    TimerHandle nextTimer_ = 1;
    bool refuseTimers_ = false;
    std::vector<Step> steps_;
    std::uint64_t nextOrder_ = 1;
    std::uint64_t nowUs_ = 0;
    bool deadlocked_ = false;
    std::vector<RecordedMessageBox> messageBoxes_;
    std::map<WindowHandle, std::unique_ptr<RecordingCanvas>> lastPaint_;
    std::vector<std::string> callLog_;
    int offscreenCreated_ = 0;
    bool uiThreadInitialized_ = false;
    bool fpMasked_ = false;
    RecordedAccessibility accessibility_;
};

}  // namespace velmora::headless
