#include "HeadlessPlatform.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "HeadlessWebEngine.h"
#include "platform/DesktopScale.h"

namespace velmora::headless {

namespace {
std::uint64_t ToMicroseconds(double ms) { return ms <= 0 ? 0 : static_cast<std::uint64_t>(ms * 1000.0 + 0.5); }
}  // namespace

HeadlessPlatform::HeadlessPlatform() = default;
HeadlessPlatform::~HeadlessPlatform() = default;

// ---- process ----------------------------------------------------------------

void HeadlessPlatform::InitializeUiThread() { uiThreadInitialized_ = true; }

void HeadlessPlatform::MaskFloatingPointExceptions() { fpMasked_ = true; }

std::string HeadlessPlatform::ExecutablePath() { return ExecutableFile; }

std::string HeadlessPlatform::UserDataFolder() { return UserDataDirectory; }

platform::CodeLocation HeadlessPlatform::LocateCode(const void* address) {
    auto a = reinterpret_cast<std::uintptr_t>(address);
    return {ModuleFileName, a >= CodeBase ? a - CodeBase : a};
}

platform::OsVersion HeadlessPlatform::GetOsVersion() { return Os; }

// ---- windows ----------------------------------------------------------------

WindowState* HeadlessPlatform::Find(WindowHandle window) {
    auto it = windows_.find(window);
    return it == windows_.end() || it->second.destroyed ? nullptr : &it->second;
}

const WindowState* HeadlessPlatform::Window(WindowHandle window) const {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

WindowState& HeadlessPlatform::Require(WindowHandle window, const char* operation) {
    WindowState* w = Find(window);
    if (!w) throw std::logic_error(std::string("headless: ") + operation + " on an unknown or destroyed window");
    return *w;
}

WindowHandle HeadlessPlatform::CreateNativeWindow(const platform::WindowCreateParams& params,
                                                  platform::IWindowEvents* events) {
    WindowState w;
    w.handle = nextWindow_++;
    w.kind = params.kind;
    w.owner = params.owner;
    w.title = params.title;
    w.dpi = DefaultDpi;
    w.events = events;
    if (params.kind == platform::WindowKind::Form)
        w.bounds = {DefaultPosition.x, DefaultPosition.y, DefaultPosition.x + DefaultOuterSize.width,
                    DefaultPosition.y + DefaultOuterSize.height};
    windows_[w.handle] = w;
    return w.handle;
}

WindowHandle HeadlessPlatform::CreateChildWindow(WindowHandle parent) {
    WindowState w;
    w.handle = nextWindow_++;
    w.isChild = true;
    w.parent = parent;
    w.dpi = DefaultDpi;
    windows_[w.handle] = w;
    return w.handle;
}

void HeadlessPlatform::DestroyNativeWindow(WindowHandle window) {
    WindowState* w = Find(window);
    if (!w) return;
    w->destroyed = true;
    w->visible = false;
    w->events = nullptr;
    invalid_.erase(window);
    if (active_ == window) active_ = 0;
    if (capture_ == window) capture_ = 0;
    // Child windows go with their parent, as native ones do.
    for (auto& [handle, child] : windows_)
        if (child.isChild && child.parent == window && !child.destroyed) DestroyNativeWindow(handle);
}

void HeadlessPlatform::SetWindowTitle(WindowHandle window, const std::string& title) {
    Require(window, "SetWindowTitle").title = title;
}

RectI HeadlessPlatform::GetWindowBounds(WindowHandle window) { return Require(window, "GetWindowBounds").bounds; }

SizeI HeadlessPlatform::GetClientSize(WindowHandle window) {
    const WindowState& w = Require(window, "GetClientSize");
    if (w.kind != platform::WindowKind::Form || w.isChild) return {w.bounds.Width(), w.bounds.Height()};
    return {std::max(0, w.bounds.Width() - WindowFrame.left - WindowFrame.right),
            std::max(0, w.bounds.Height() - WindowFrame.top - WindowFrame.bottom)};
}

void HeadlessPlatform::NotifyMoved(WindowState& w) {
    if (!w.events) return;
    const Message m{.kind = MessageKind::Moved, .window = w.handle};
    w.events->OnMessage(m);
}

void HeadlessPlatform::SetClientSize(WindowHandle window, SizeI size) {
    WindowState& w = Require(window, "SetClientSize");
    int extraW = 0, extraH = 0;
    if (w.kind == platform::WindowKind::Form && !w.isChild) {
        extraW = WindowFrame.left + WindowFrame.right;
        extraH = WindowFrame.top + WindowFrame.bottom;
    }
    RectI b{w.bounds.left, w.bounds.top, w.bounds.left + size.width + extraW, w.bounds.top + size.height + extraH};
    if (b == w.bounds) return;
    w.bounds = b;
    if (w.visible) invalid_.insert(window);
    NotifyMoved(w);
}

void HeadlessPlatform::SetWindowBounds(WindowHandle window, const RectI& bounds) {
    WindowState& w = Require(window, "SetWindowBounds");
    if (bounds == w.bounds) return;
    w.bounds = bounds;
    if (w.visible) invalid_.insert(window);
    NotifyMoved(w);
}

void HeadlessPlatform::MoveByUser(WindowHandle window, const RectI& bounds) { SetWindowBounds(window, bounds); }

void HeadlessPlatform::ShowWindow(WindowHandle window) {
    WindowState& w = Require(window, "ShowWindow");
    if (w.showCount++ == 0) {
        w.boundsAtFirstShow = w.bounds;
        w.dpiAtFirstShow = w.dpi;
    }
    w.visible = true;
    invalid_.insert(window);
    if (OnWindowShown) OnWindowShown(window);
}

void HeadlessPlatform::HideWindow(WindowHandle window) {
    WindowState& w = Require(window, "HideWindow");
    w.visible = false;
    invalid_.erase(window);
}

bool HeadlessPlatform::IsWindowVisible(WindowHandle window) {
    const WindowState* w = Find(window);
    return w && w->visible;
}

void HeadlessPlatform::SetActive(WindowHandle window) {
    if (active_ == window) return;
    WindowHandle previous = active_;
    active_ = window;
    if (previous && Find(previous)) {
        const Message m{.kind = MessageKind::Deactivate, .window = previous};
        queue_.push_back(m);
    }
    if (window) {
        const Message m{.kind = MessageKind::Activate, .window = window};
        queue_.push_back(m);
    }
}

void HeadlessPlatform::ActivateWindow(WindowHandle window) {
    Require(window, "ActivateWindow");
    SetActive(window);
}

void HeadlessPlatform::Activate(WindowHandle window) { ActivateWindow(window); }

WindowHandle HeadlessPlatform::ActiveWindow() { return active_; }

void HeadlessPlatform::InvalidateWindow(WindowHandle window) {
    const WindowState* w = Find(window);
    if (w && w->visible) invalid_.insert(window);
}

void HeadlessPlatform::SetMouseCapture(WindowHandle window) { capture_ = window; }

void HeadlessPlatform::ReleaseMouseCapture() { capture_ = 0; }

int HeadlessPlatform::GetWindowDpi(WindowHandle window) {
    const WindowState* w = Find(window);
    return w ? w->dpi : DefaultDpi;
}

bool HeadlessPlatform::TouchAvailable() { return Touch; }

void HeadlessPlatform::ChangeDpi(WindowHandle window, int dpi) {
    WindowState& w = Require(window, "ChangeDpi");
    w.dpi = dpi;
    const Message m{.kind = MessageKind::DpiChanged, .window = window, .dpi = dpi};
    queue_.push_back(m);
}

void HeadlessPlatform::SetDesktopScale(int factor, double fontDpi) {
    DefaultDpi = platform::DesktopDpi(factor, fontDpi);
    for (auto& [handle, w] : windows_)
        if (!w.destroyed && !w.isChild && w.dpi != DefaultDpi) ChangeDpi(handle, DefaultDpi);
}

std::vector<WindowHandle> HeadlessPlatform::TopLevelWindows() const {
    std::vector<WindowHandle> out;
    for (const auto& [handle, w] : windows_)
        if (!w.isChild && !w.destroyed) out.push_back(handle);
    return out;
}

std::vector<WindowHandle> HeadlessPlatform::TopLevelWindows(platform::WindowKind kind) const {
    std::vector<WindowHandle> out;
    for (const auto& [handle, w] : windows_)
        if (!w.isChild && !w.destroyed && w.kind == kind) out.push_back(handle);
    return out;
}

// ---- child windows ------------------------------------------------------------

void HeadlessPlatform::SetWindowPos(WindowHandle window, const RectI& rect, unsigned flags) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "SetWindowPos(%llu, %d, %d, %d, %d, 0x%X)",
                  static_cast<unsigned long long>(window), rect.left, rect.top, rect.Width(), rect.Height(), flags);
    callLog_.emplace_back(buf);
    WindowState* w = Find(window);
    if (!w) return;
    RectI b = w->bounds;
    if ((flags & platform::PosNoMove) == 0) {
        b.right = rect.left + b.Width();
        b.bottom = rect.top + b.Height();
        b.left = rect.left;
        b.top = rect.top;
    }
    if ((flags & platform::PosNoSize) == 0) {
        b.right = b.left + rect.Width();
        b.bottom = b.top + rect.Height();
    }
    w->bounds = b;
    if (flags & platform::PosShowWindow) w->visible = true;
    if (flags & platform::PosHideWindow) w->visible = false;
}

void HeadlessPlatform::SetParentWindow(WindowHandle child, WindowHandle parent, bool toBottom) {
    callLog_.push_back("SetParentWindow(" + std::to_string(child) + ", " + std::to_string(parent) + ", " +
                       (toBottom ? "bottom" : "top") + ")");
    if (WindowState* w = Find(child)) w->parent = parent;
}

WindowHandle HeadlessPlatform::GetParentWindow(WindowHandle child) {
    const WindowState* w = Find(child);
    return w ? w->parent : 0;
}

// ---- queue ----------------------------------------------------------------------

bool HeadlessPlatform::PeekMessage(Message& message) {
    if (!queue_.empty()) {
        message = queue_.front();
        queue_.pop_front();
        return true;
    }
    // Paints come only when nothing else waits, one per invalid window.
    while (!invalid_.empty()) {
        WindowHandle window = *invalid_.begin();
        invalid_.erase(invalid_.begin());
        const WindowState* w = Find(window);
        if (!w || !w->visible) continue;
        message = {.kind = MessageKind::Paint, .window = window};
        return true;
    }
    return false;
}

void HeadlessPlatform::DispatchMessage(const Message& message) {
    switch (message.kind) {
    case MessageKind::Quit: return;
    case MessageKind::Invoke: {
        auto it = callbacks_.find(message.invokeId);
        if (it == callbacks_.end()) return;
        auto callback = std::move(it->second);
        callbacks_.erase(it);
        if (callback) callback();
        return;
    }
    case MessageKind::Timer: {
        auto it = timers_.find(message.timer);
        if (it == timers_.end()) return;
        // Copy: the callback may kill its own timer.
        auto callback = it->second.callback;
        if (!it->second.repeating) timers_.erase(it);
        if (callback) callback();
        return;
    }
    case MessageKind::Paint: {
        WindowState* w = Find(message.window);
        if (!w || !w->visible || !w->events) return;
        SizeI client = GetClientSize(message.window);
        float scale = static_cast<float>(w->dpi) / 96.0f;
        auto canvas = std::make_unique<RecordingCanvas>(
            scale, platform::SizeF{static_cast<float>(client.width) / scale, static_cast<float>(client.height) / scale});
        RecordingCanvas& ref = *canvas;
        lastPaint_[message.window] = std::move(canvas);
        w->events->OnPaint(ref);
        return;
    }
    default: {
        WindowState* w = Find(message.window);
        if (!w || !w->events) return;
        w->events->OnMessage(message);
        return;
    }
    }
}

const RecordingCanvas* HeadlessPlatform::LastPaint(WindowHandle window) const {
    auto it = lastPaint_.find(window);
    return it == lastPaint_.end() ? nullptr : it->second.get();
}

void HeadlessPlatform::PostQuitMessage() {
    const Message m{.kind = MessageKind::Quit};
    queue_.push_back(m);
}

bool HeadlessPlatform::QuitPosted() const {
    return std::any_of(queue_.begin(), queue_.end(), [](const Message& m) { return m.kind == MessageKind::Quit; });
}

void HeadlessPlatform::PostCallback(std::function<void()> callback) {
    const Message m{.kind = MessageKind::Invoke, .invokeId = nextInvoke_++};
    callbacks_[m.invokeId] = std::move(callback);
    queue_.push_back(m);
}

void HeadlessPlatform::Post(const Message& message) { queue_.push_back(message); }

void HeadlessPlatform::WaitMessage() {
    if (!queue_.empty() || !invalid_.empty()) return;
    while (queue_.empty() && invalid_.empty()) {
        auto next = NextEventTime();
        if (!next || static_cast<double>(*next) > WaitLimitMs * 1000.0) {
            deadlocked_ = true;
            PostQuitMessage();
            throw HeadlessDeadlock(
                "headless: WaitMessage with an empty queue and no timer or scheduled step before the wait "
                "limit; nothing would ever arrive");
        }
        AdvanceTo(std::max(*next, nowUs_));
    }
}

void HeadlessPlatform::DispatchPending() {
    Message m;
    while (PeekMessage(m)) DispatchMessage(m);
}

void HeadlessPlatform::RunFor(double ms) {
    std::uint64_t target = nowUs_ + ToMicroseconds(ms);
    DispatchPending();
    for (;;) {
        auto next = NextEventTime();
        if (!next || *next > target) break;
        AdvanceTo(std::max(*next, nowUs_));
        DispatchPending();
    }
    nowUs_ = std::max(nowUs_, target);
}

// ---- time -------------------------------------------------------------------------

std::optional<std::uint64_t> HeadlessPlatform::NextEventTime() const {
    std::optional<std::uint64_t> next;
    for (const auto& [handle, t] : timers_)
        if (t.armed && (!next || t.dueUs < *next)) next = t.dueUs;
    for (const auto& s : steps_)
        if (!next || s.dueUs < *next) next = s.dueUs;
    return next;
}

bool HeadlessPlatform::TimerMessageWaiting(TimerHandle timer) const {
    return std::any_of(queue_.begin(), queue_.end(),
                       [timer](const Message& m) { return m.kind == MessageKind::Timer && m.timer == timer; });
}

void HeadlessPlatform::RunDueEvents() {
    for (;;) {
        // Pick the earliest due event; ties go to whatever was scheduled first.
        TimerHandle timer = 0;
        std::uint64_t bestDue = 0, bestOrder = 0;
        bool found = false;
        bool isStep = false;
        std::size_t stepIndex = 0;
        for (auto& [handle, t] : timers_) {
            if (!t.armed || t.dueUs > nowUs_) continue;
            if (!found || t.dueUs < bestDue || (t.dueUs == bestDue && t.order < bestOrder)) {
                found = true, isStep = false, timer = handle, bestDue = t.dueUs, bestOrder = t.order;
            }
        }
        for (std::size_t i = 0; i < steps_.size(); ++i) {
            const Step& s = steps_[i];
            if (s.dueUs > nowUs_) continue;
            if (!found || s.dueUs < bestDue || (s.dueUs == bestDue && s.order < bestOrder)) {
                found = true, isStep = true, stepIndex = i, bestDue = s.dueUs, bestOrder = s.order;
            }
        }
        if (!found) return;
        if (isStep) {
            auto run = std::move(steps_[stepIndex].run);
            steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(stepIndex));
            if (run) run();
            continue;
        }
        Timer& t = timers_[timer];
        t.order = nextOrder_++;
        if (t.repeating) {
            // A late timer fires once, then keeps its rhythm from now on.
            t.dueUs += t.intervalUs;
            if (t.dueUs <= nowUs_) t.dueUs = nowUs_ + t.intervalUs;
            if (TimerLatenessUs) t.dueUs += TimerLatenessUs();
        } else {
            t.armed = false;
        }
        if (!TimerMessageWaiting(timer)) {
            const Message m{.kind = MessageKind::Timer, .timer = timer};
            queue_.push_back(m);
        }
    }
}

void HeadlessPlatform::AdvanceTo(std::uint64_t targetUs) {
    for (;;) {
        auto next = NextEventTime();
        if (next && *next <= targetUs) {
            nowUs_ = std::max(nowUs_, *next);
            RunDueEvents();
        } else {
            break;
        }
    }
    nowUs_ = std::max(nowUs_, targetUs);
}

void HeadlessPlatform::Advance(double ms) { AdvanceTo(nowUs_ + ToMicroseconds(ms)); }

void HeadlessPlatform::At(double ms, std::function<void()> step) {
    steps_.push_back({ToMicroseconds(ms), nextOrder_++, std::move(step)});
}

void HeadlessPlatform::After(double ms, std::function<void()> step) {
    steps_.push_back({nowUs_ + ToMicroseconds(ms), nextOrder_++, std::move(step)});
}

TimerHandle HeadlessPlatform::CreateTimer(unsigned intervalMs, bool repeating, std::function<void()> callback) {
    if (refuseTimers_) return 0;
    Timer t;
    t.intervalUs = std::max<std::uint64_t>(1, std::uint64_t{intervalMs} * 1000);
    t.repeating = repeating;
    t.dueUs = nowUs_ + t.intervalUs + (TimerLatenessUs ? TimerLatenessUs() : 0);
    t.order = nextOrder_++;
    t.callback = std::move(callback);
    TimerHandle h = nextTimer_++;
    timers_[h] = std::move(t);
    return h;
}

void HeadlessPlatform::KillTimer(TimerHandle timer) {
    timers_.erase(timer);
    std::erase_if(queue_, [timer](const Message& m) { return m.kind == MessageKind::Timer && m.timer == timer; });
}

void HeadlessPlatform::RefuseTimers(bool refuse) {
    refuseTimers_ = refuse;
    if (!refuse) return;
    timers_.clear();
    std::erase_if(queue_, [](const Message& m) { return m.kind == MessageKind::Timer; });
}

std::size_t HeadlessPlatform::LiveTimerCount() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& entry) { return entry.second.armed; }));
}

std::uint64_t HeadlessPlatform::HighResolutionCounter() { return nowUs_; }

std::uint64_t HeadlessPlatform::HighResolutionFrequency() { return 1000000; }

void HeadlessPlatform::YieldProcessor() {
    auto next = NextEventTime();
    std::uint64_t target;
    if (YieldQuantumMs > 0) {
        target = nowUs_ + std::uint64_t{YieldQuantumMs} * 1000;
        if (next && *next > nowUs_ && *next < target) target = *next;
    } else {
        target = next && *next > nowUs_ ? *next : nowUs_ + 1000;
    }
    AdvanceTo(target);
}

// ---- input ---------------------------------------------------------------------------

void HeadlessPlatform::PostMouse(MessageKind kind, WindowHandle window, int x, int y, platform::MouseButton button,
                                 unsigned shift, int clickCount) {
    const Message m{.kind = kind,
                    .window = window,
                    .button = button,
                    .point = {x, y},
                    .clickCount = clickCount,
                    .shift = shift};
    queue_.push_back(m);
}

void HeadlessPlatform::Press(WindowHandle window, int x, int y, platform::MouseButton button, unsigned shift,
                             int clickCount) {
    PostMouse(MessageKind::MouseDown, window, x, y, button, shift, clickCount);
}

void HeadlessPlatform::Release(WindowHandle window, int x, int y, platform::MouseButton button, unsigned shift) {
    PostMouse(MessageKind::MouseUp, window, x, y, button, shift, 1);
}

void HeadlessPlatform::Move(WindowHandle window, int x, int y, unsigned shift) {
    PostMouse(MessageKind::MouseMove, window, x, y, platform::MouseButton::Left, shift, 1);
}

void HeadlessPlatform::Click(WindowHandle window, int x, int y, platform::MouseButton button) {
    Press(window, x, y, button);
    Release(window, x, y, button);
}

void HeadlessPlatform::DoubleClick(WindowHandle window, int x, int y) {
    Click(window, x, y);
    Press(window, x, y, platform::MouseButton::Left, platform::ShiftNone, 2);
    Release(window, x, y);
}

void HeadlessPlatform::Wheel(WindowHandle window, int x, int y, int delta, unsigned shift) {
    const Message m{.kind = MessageKind::MouseWheel,
                    .window = window,
                    .point = {x, y},
                    .wheelDelta = delta,
                    .shift = shift};
    queue_.push_back(m);
}

void HeadlessPlatform::KeyDown(platform::Key key, unsigned shift) {
    const Message m{.kind = MessageKind::KeyDown, .window = active_, .key = key, .shift = shift};
    queue_.push_back(m);
}

void HeadlessPlatform::Key(platform::Key key, unsigned shift) {
    KeyDown(key, shift);
    const Message m{.kind = MessageKind::KeyUp, .window = active_, .key = key, .shift = shift};
    queue_.push_back(m);
}

void HeadlessPlatform::Char(char32_t character) {
    const Message m{.kind = MessageKind::Char, .window = active_, .character = character};
    queue_.push_back(m);
}

void HeadlessPlatform::CloseRequest(WindowHandle window) {
    const Message m{.kind = MessageKind::Close, .window = window};
    queue_.push_back(m);
}

// ---- dialogs, drawing, engine -----------------------------------------------------------

platform::MessageBoxResult HeadlessPlatform::ShowMessageBox(const platform::MessageBoxRequest& request) {
    RecordedMessageBox box{request.owner, request.caption, request.text, request.icon, request.buttons,
                           request.taskModal};
    messageBoxes_.push_back(box);
    if (OnMessageBox) OnMessageBox(box);
    return MessageBoxAnswer;
}

std::unique_ptr<platform::ICanvas> HeadlessPlatform::CreateOffscreenCanvas(SizeI pixels, float scale) {
    ++offscreenCreated_;
    float s = scale > 0 ? scale : 1.0f;
    return std::make_unique<RecordingCanvas>(
        s, platform::SizeF{static_cast<float>(pixels.width) / s, static_cast<float>(pixels.height) / s});
}

std::unique_ptr<platform::IWebEngine> HeadlessPlatform::CreateWebEngine(platform::IWebEngineEvents& events,
                                                                        platform::EngineResult& failure) {
    if (WebEngineCreationFailure) {
        failure = *WebEngineCreationFailure;
        failure.ok = false;
        return nullptr;
    }
    failure = {};
    return std::make_unique<HeadlessWebEngine>(*this, events);
}

}  // namespace velmora::headless

namespace velmora::platform {

// The headless program is the test build's stand-in; it knows its own path
// where the system tells it.
std::unique_ptr<Platform> CreateDefaultPlatform() {
    auto p = std::make_unique<headless::HeadlessPlatform>();
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) p->ExecutableFile = self.string();
    return p;
}

}  // namespace velmora::platform
