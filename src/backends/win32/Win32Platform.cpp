#include "WinApi.h"

#include "Win32Platform.h"

#include <float.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "GdiHolders.h"
#include "GdiPlusCanvas.h"
#include "KeyTranslation.h"
#include "base/Exceptions.h"
#include "TextConversion.h"
#include "Win32WebEngine.h"

namespace velmora::win32 {

using platform::Message;
using platform::MessageKind;
using platform::RectI;
using platform::SizeI;
using platform::WindowHandle;

namespace {

constexpr const wchar_t* kFormClass = L"VelmoraForm";
constexpr const wchar_t* kApplicationClass = L"VelmoraApplication";
constexpr const wchar_t* kUtilityClass = L"VelmoraUtility";
// Posted to the utility window to end a WaitMessage after a cross-thread post.
constexpr UINT kWakeMessage = WM_APP + 1;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef SM_MAXIMUMTOUCHES
#define SM_MAXIMUMTOUCHES 95
#endif

// The system's failure as the toolkit's error: its own wording of the code,
// and the address of the failing call, so the last-chance report names this
// module and the offset of the call.
[[noreturn, gnu::noinline]] void RaiseOsError(std::uint32_t code, const void* address) {
    std::string text = SystemMessage(code);
    if (text.empty()) text = "System error " + std::to_string(code);
    throw EOSError(text, address);
}

// Raised with the last error; the address is where it was called from.
[[noreturn, gnu::noinline]] void RaiseLastError() { RaiseOsError(GetLastError(), __builtin_return_address(0)); }

// Present from Windows 8.1 on; looked up by name so the program still starts
// on the systems before it.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
GetDpiForMonitorFn DpiForMonitorFunction() {
    static const GetDpiForMonitorFn function = [] {
        HMODULE shcore = LoadLibraryW(L"shcore.dll");
        return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    return function;
}

// Present from Windows 10 (1607) on: the frame of a per-monitor aware window
// at its own DPI rather than the system's.
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
AdjustForDpiFn AdjustForDpiFunction() {
    static const AdjustForDpiFn function = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<AdjustForDpiFn>(
                            reinterpret_cast<void*>(GetProcAddress(user32, "AdjustWindowRectExForDpi")))
                      : nullptr;
    }();
    return function;
}

unsigned ShiftFromKeyboard() {
    return ShiftStateOf(GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0);
}

struct MouseButtonMessage {
    UINT message;
    MessageKind kind;
    platform::MouseButton button;
    int clickCount;
};

constexpr MouseButtonMessage kMouseButtonMessages[] = {
    {WM_LBUTTONDOWN, MessageKind::MouseDown, platform::MouseButton::Left, 1},
    {WM_RBUTTONDOWN, MessageKind::MouseDown, platform::MouseButton::Right, 1},
    {WM_MBUTTONDOWN, MessageKind::MouseDown, platform::MouseButton::Middle, 1},
    {WM_LBUTTONDBLCLK, MessageKind::MouseDown, platform::MouseButton::Left, 2},
    {WM_RBUTTONDBLCLK, MessageKind::MouseDown, platform::MouseButton::Right, 2},
    {WM_MBUTTONDBLCLK, MessageKind::MouseDown, platform::MouseButton::Middle, 2},
    {WM_LBUTTONUP, MessageKind::MouseUp, platform::MouseButton::Left, 1},
    {WM_RBUTTONUP, MessageKind::MouseUp, platform::MouseButton::Right, 1},
    {WM_MBUTTONUP, MessageKind::MouseUp, platform::MouseButton::Middle, 1},
};

const MouseButtonMessage* FindMouseButtonMessage(UINT message) {
    for (const MouseButtonMessage& entry : kMouseButtonMessages)
        if (entry.message == message) return &entry;
    return nullptr;
}

std::wstring FileNamePart(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

struct Win32Platform::NativeWindow {
    HWND hwnd = nullptr;
    platform::WindowKind kind = platform::WindowKind::Form;
    platform::IWindowEvents* events = nullptr;
    int dpi = 96;
    bool trackingLeave = false;
    // The client size before the window was minimised (a minimised window
    // reports an empty client area).
    SizeI lastClient;
};

Win32Platform::Win32Platform() : instance_(GetModuleHandleW(nullptr)) {
    WNDCLASSEXW utility{};
    utility.cbSize = sizeof utility;
    utility.lpfnWndProc = UtilityProc;
    utility.hInstance = instance_;
    utility.lpszClassName = kUtilityClass;
    // A platform made earlier in this process registered the class already;
    // without the window this one would have no timers.
    if (RegisterClassExW(&utility) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
        utility_ = CreateWindowExW(0, kUtilityClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, this);
}

Win32Platform::~Win32Platform() {
    StopAllTimers();
    std::vector<HWND> remaining;
    for (auto& [hwnd, window] : windows_) remaining.push_back(hwnd);
    windows_.clear();
    for (HWND hwnd : remaining)
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    if (utility_) DestroyWindow(utility_);
    ShutdownGdiPlus(gdiplusToken_);
    if (oleInitialized_) OleUninitialize();
}

// ---------------------------------------------------------------- process

void Win32Platform::InitializeUiThread() {
    if (oleInitialized_) return;
    const HRESULT result = OleInitialize(nullptr);
    if (FAILED(result)) RaiseOsError(static_cast<std::uint32_t>(result), __builtin_return_address(0));
    oleInitialized_ = true;
}

void Win32Platform::MaskFloatingPointExceptions() {
    // All six kinds, denormal operand included; on x86 the runtime sets the
    // x87 and the SSE control words together.
    _controlfp(_MCW_EM, _MCW_EM);
#if defined(__i386__) || defined(__x86_64__)
    // Older runtimes leave the SSE control word alone; mask it here as well.
    unsigned int mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr |= 0x1F80u;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
}

std::string Win32Platform::ExecutablePath() { return Narrow(ModulePath(nullptr)); }

std::string Win32Platform::UserDataFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return Narrow(std::wstring(path));
}

platform::CodeLocation Win32Platform::LocateCode(const void* address) {
    HMODULE module = nullptr;
    if (address &&
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        // Code outside any loaded image's list (rare): the allocation that
        // holds it is the module as far as the loader is concerned.
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(address, &info, sizeof info)) module = static_cast<HMODULE>(info.AllocationBase);
    }
    if (!module) module = GetModuleHandleW(nullptr);
    platform::CodeLocation location;
    location.moduleFileName = Narrow(FileNamePart(ModulePath(module)));
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    const auto where = reinterpret_cast<std::uintptr_t>(address);
    location.offset = where >= base ? where - base : where;
    return location;
}

platform::OsVersion Win32Platform::GetOsVersion() {
    // GetVersionEx answers what the manifest declares, not what runs; the
    // kernel's own call tells the truth.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    platform::OsVersion version;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    if (rtlGetVersion && rtlGetVersion(&info) == 0) {
        version.major = static_cast<int>(info.dwMajorVersion);
        version.minor = static_cast<int>(info.dwMinorVersion);
    } else if (GetVersionExW(&info)) {
        version.major = static_cast<int>(info.dwMajorVersion);
        version.minor = static_cast<int>(info.dwMinorVersion);
    }
    return version;
}

// ---------------------------------------------------------------- windows

void Win32Platform::RegisterClasses() {
    if (classesRegistered_) return;
    bigIcon_ = static_cast<HICON>(LoadImageW(instance_, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR | LR_SHARED));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance_, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR | LR_SHARED));
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.style = CS_DBLCLKS;
    form.lpfnWndProc = WindowProc;
    form.hInstance = instance_;
    form.hIcon = bigIcon_;
    form.hIconSm = smallIcon_;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.lpszClassName = kFormClass;
    if (!RegisterClassExW(&form) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastError();
    WNDCLASSEXW application = form;
    application.style = 0;
    application.lpszClassName = kApplicationClass;
    if (!RegisterClassExW(&application) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastError();
    classesRegistered_ = true;
}

Win32Platform::NativeWindow* Win32Platform::Find(HWND hwnd) {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second.get();
}

int Win32Platform::QueryDpi(HWND hwnd) {
    if (GetDpiForMonitorFn dpiForMonitor = DpiForMonitorFunction()) {
        HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
        UINT x = 0, y = 0;
        if (monitor && SUCCEEDED(dpiForMonitor(monitor, 0 /* effective DPI */, &x, &y)) && x > 0)
            return static_cast<int>(x);
    }
    HDC dc = GetDC(hwnd);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(hwnd, dc);
    return dpi > 0 ? dpi : 96;
}

WindowHandle Win32Platform::CreateNativeWindow(const platform::WindowCreateParams& params,
                                               platform::IWindowEvents* events) {
    RegisterClasses();
    const std::wstring title = Widen(params.title);
    HWND hwnd = nullptr;
    if (params.kind == platform::WindowKind::Application) {
        hwnd = CreateWindowExW(WS_EX_APPWINDOW, kApplicationClass, title.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                               0, 0, 0, 0, nullptr, nullptr, instance_, this);
    } else {
        // WS_CLIPCHILDREN: the drawn controls never paint over the engine's display.
        hwnd = CreateWindowExW(0, kFormClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ToHwnd(params.owner), nullptr, instance_,
                               this);
    }
    if (!hwnd) RaiseLastError();
    auto window = std::make_unique<NativeWindow>();
    window->hwnd = hwnd;
    window->kind = params.kind;
    window->events = events;
    window->dpi = QueryDpi(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    window->lastClient = {client.right - client.left, client.bottom - client.top};
    windows_[hwnd] = std::move(window);
    return ToHandle(hwnd);
}

void Win32Platform::PublishAccessibleTree(WindowHandle window, platform::IAccessibleNode* root) {
    accessibility_.Publish(window, root);
}

platform::IAccessibilityEvents* Win32Platform::AccessibilityEvents() { return &accessibility_; }

void Win32Platform::DestroyNativeWindow(WindowHandle handle) {
    HWND hwnd = ToHwnd(handle);
    windows_.erase(hwnd);
    accessibility_.Forget(handle);
    if (GetCapture() == hwnd) ReleaseCapture();
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    // Messages already queued for it find no window when dispatched.
}

void Win32Platform::SetWindowTitle(WindowHandle handle, const std::string& title) {
    SetWindowTextW(ToHwnd(handle), Widen(title).c_str());
}

RectI Win32Platform::GetWindowBounds(WindowHandle handle) {
    HWND hwnd = ToHwnd(handle);
    RECT r{};
    if (IsIconic(hwnd)) {
        // A minimised window sits far off screen; its restored place is the
        // one that counts.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (GetWindowPlacement(hwnd, &placement)) r = placement.rcNormalPosition;
    } else if (!GetWindowRect(hwnd, &r)) {
        return {};
    }
    return {r.left, r.top, r.right, r.bottom};
}

SizeI Win32Platform::GetClientSize(WindowHandle handle) {
    HWND hwnd = ToHwnd(handle);
    if (IsIconic(hwnd)) {
        if (NativeWindow* w = Find(hwnd)) return w->lastClient;
    }
    RECT r{};
    if (!GetClientRect(hwnd, &r)) return {};
    return {r.right - r.left, r.bottom - r.top};
}

void Win32Platform::SetClientSize(WindowHandle handle, SizeI size) {
    HWND hwnd = ToHwnd(handle);
    if (!IsWindow(hwnd)) return;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    RECT frame{0, 0, std::max(0, size.width), std::max(0, size.height)};
    NativeWindow* w = Find(hwnd);
    if (AdjustForDpiFn adjust = AdjustForDpiFunction())
        adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(w ? w->dpi : QueryDpi(hwnd)));
    else
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    ::SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top, flags);
    // The frame the system really drew can differ from the computed one (a
    // theme with other borders, a size below the minimum track size): correct
    // once by what the client area measures now.
    RECT client{}, outer{};
    if (!IsIconic(hwnd) && !IsZoomed(hwnd) && GetClientRect(hwnd, &client) && GetWindowRect(hwnd, &outer)) {
        const int dx = size.width - (client.right - client.left);
        const int dy = size.height - (client.bottom - client.top);
        if (dx != 0 || dy != 0)
            ::SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy, flags);
    }
    if (w) w->lastClient = size;
}

void Win32Platform::SetWindowBounds(WindowHandle handle, const RectI& bounds) {
    HWND hwnd = ToHwnd(handle);
    if (!IsWindow(hwnd)) return;
    if (IsIconic(hwnd) || IsZoomed(hwnd)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (GetWindowPlacement(hwnd, &placement)) {
            placement.rcNormalPosition = {bounds.left, bounds.top, bounds.right, bounds.bottom};
            SetWindowPlacement(hwnd, &placement);
        }
        return;
    }
    ::SetWindowPos(hwnd, nullptr, bounds.left, bounds.top, bounds.Width(), bounds.Height(),
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void Win32Platform::ShowWindow(WindowHandle handle) { ::ShowWindow(ToHwnd(handle), SW_SHOWNORMAL); }

void Win32Platform::HideWindow(WindowHandle handle) { ::ShowWindow(ToHwnd(handle), SW_HIDE); }

bool Win32Platform::IsWindowVisible(WindowHandle handle) { return ::IsWindowVisible(ToHwnd(handle)) != FALSE; }

void Win32Platform::ActivateWindow(WindowHandle handle) {
    HWND hwnd = ToHwnd(handle);
    if (!IsWindow(hwnd)) return;
    // Inside the active application SetActiveWindow is enough; from the
    // background the system may refuse the foreground and flash the entry.
    DWORD foregroundProcess = 0;
    if (HWND foreground = GetForegroundWindow()) GetWindowThreadProcessId(foreground, &foregroundProcess);
    if (foregroundProcess == GetCurrentProcessId()) SetActiveWindow(hwnd);
    else SetForegroundWindow(hwnd);
}

WindowHandle Win32Platform::ActiveWindow() { return ToHandle(GetActiveWindow()); }

void Win32Platform::InvalidateWindow(WindowHandle handle) {
    HWND hwnd = ToHwnd(handle);
    if (Find(hwnd)) InvalidateRect(hwnd, nullptr, FALSE);
}

void Win32Platform::SetMouseCapture(WindowHandle handle) { SetCapture(ToHwnd(handle)); }

void Win32Platform::ReleaseMouseCapture() { ReleaseCapture(); }

int Win32Platform::GetWindowDpi(WindowHandle handle) {
    HWND hwnd = ToHwnd(handle);
    if (NativeWindow* w = Find(hwnd)) return w->dpi;
    return QueryDpi(hwnd);
}

bool Win32Platform::TouchAvailable() { return GetSystemMetrics(SM_MAXIMUMTOUCHES) > 0; }

// ---------------------------------------------------------------- child windows

void Win32Platform::SetWindowPos(WindowHandle handle, const RectI& rect, unsigned flags) {
    // The interface's flags are the system's SWP_ values.
    ::SetWindowPos(ToHwnd(handle), nullptr, rect.left, rect.top, rect.Width(), rect.Height(), flags);
}

void Win32Platform::SetParentWindow(WindowHandle child, WindowHandle parent, bool toBottom) {
    HWND c = ToHwnd(child), p = ToHwnd(parent);
    if (!IsWindow(c) || !IsWindow(p)) return;
    if (GetAncestor(c, GA_PARENT) != p) ::SetParent(c, p);
    if (toBottom)
        ::SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

WindowHandle Win32Platform::GetParentWindow(WindowHandle child) {
    HWND parent = GetAncestor(ToHwnd(child), GA_PARENT);
    return parent == GetDesktopWindow() ? 0 : ToHandle(parent);
}

// ---------------------------------------------------------------- the shared core's hooks

bool Win32Platform::PumpNativeEvent(bool mayBlock) {
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!mayBlock) return false;
        // A message sent from another thread had its handler run inside
        // PeekMessageW, on this thread; what that handler posted to the FIFO
        // woke nothing, and no system message may come to end the wait.
        if (QueuedMessageCount() == 0) ::WaitMessage();
        return true;
    }
    if (msg.message == WM_QUIT) {
        Post({.kind = MessageKind::Quit});
        return true;
    }
    if (RouteToKeyboardTarget(msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void Win32Platform::WakeLoop() {
    // Ends a blocked ::WaitMessage on the UI thread.
    if (utility_) PostMessageW(utility_, kWakeMessage, 0, 0);
}

bool Win32Platform::StartNativeTimer(platform::TimerHandle timer, unsigned intervalMs) {
    const UINT interval = std::max<UINT>(USER_TIMER_MINIMUM, intervalMs);
    return utility_ && SetTimer(utility_, static_cast<UINT_PTR>(timer), interval, nullptr);
}

void Win32Platform::StopNativeTimer(platform::TimerHandle timer) {
    if (utility_) ::KillTimer(utility_, static_cast<UINT_PTR>(timer));
}

void Win32Platform::DeliverToWindow(const Message& message) {
    NativeWindow* w = Find(ToHwnd(message.window));
    if (w && w->events) w->events->OnMessage(message);
}

void Win32Platform::AddKeyboardTarget(HWND display, IOleInPlaceActiveObject* object) {
    if (display && object) keyboardTargets_[display] = object;
}

void Win32Platform::RemoveKeyboardTarget(HWND display) { keyboardTargets_.erase(display); }

bool Win32Platform::RouteToKeyboardTarget(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || keyboardTargets_.empty()) return false;
    for (auto& [display, object] : keyboardTargets_) {
        if (msg.hwnd != display && !IsChild(display, msg.hwnd)) continue;
        // The page keys belong to the window even while the page has the
        // keyboard: Ctrl+Tab and Ctrl+Shift+Tab go to the toolkit.
        if (msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
            HWND top = GetAncestor(display, GA_ROOT);
            if (NativeWindow* w = Find(top)) {
                if (msg.message == WM_KEYDOWN) PostKey(*w, MessageKind::KeyDown, msg.wParam);
                else if (msg.message == WM_KEYUP) PostKey(*w, MessageKind::KeyUp, msg.wParam);
                return true;
            }
        }
        if (object->TranslateAcceleratorW(&msg) == S_OK) return true;
        // A Tab the page did not use (past its last stop, or Shift+Tab before
        // its first) goes on in the window's own tab order.
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_MENU) >= 0) {
            if (NativeWindow* w = Find(GetAncestor(display, GA_ROOT))) {
                PostKey(*w, MessageKind::KeyDown, msg.wParam);
                return true;
            }
        }
        return false;
    }
    return false;
}

// ---------------------------------------------------------------- window procedures

LRESULT CALLBACK Win32Platform::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    NativeWindow* window = self ? self->Find(hwnd) : nullptr;
    // Messages of creation time, before the window is known, take the defaults.
    if (!window) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->HandleWindowMessage(*window, msg, wParam, lParam);
}

LRESULT CALLBACK Win32Platform::UtilityProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_TIMER:
        if (!self->NativeTimerFired(static_cast<platform::TimerHandle>(wParam))) ::KillTimer(hwnd, wParam);
        return 0;
    case kWakeMessage: return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void Win32Platform::Paint(NativeWindow& window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window.hwnd, &ps);
    if (!dc) return;
    RECT client{};
    GetClientRect(window.hwnd, &client);
    const int width = client.right - client.left, height = client.bottom - client.top;
    if (window.events && width > 0 && height > 0) {
        StartGdiPlus();
        // Drawn off screen and copied in one piece, so a slide never flickers.
        MemoryDc memory(CreateCompatibleDC(dc));
        GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, width, height));
        if (memory && bitmap) {
            GdiSelection selected(memory.get(), bitmap.get());
            Guarded([&] {
                GdiPlusCanvas canvas(memory.get(), static_cast<float>(window.dpi) / 96.0f);
                window.events->OnPaint(canvas);
            });
            BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                   ps.rcPaint.bottom - ps.rcPaint.top, memory.get(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
        }
    }
    EndPaint(window.hwnd, &ps);
}

void Win32Platform::ApplyDpiChange(NativeWindow& window, int dpi) {
    if (dpi <= 0) return;
    window.dpi = dpi;
    // Handed to the toolkit here, not through the FIFO: while the window is
    // dragged onto another monitor the system's move loop runs, not ours, and
    // the window would keep its old size until the drag ends. The toolkit
    // applies its own rule (client size in units and top-left corner kept;
    // the rectangle the system suggests is not taken) before the notification
    // returns.
    const Message message{.kind = MessageKind::DpiChanged, .window = ToHandle(window.hwnd), .dpi = dpi};
    Guarded([&] {
        if (window.events) window.events->OnMessage(message);
    });
}

void Win32Platform::PostMouse(NativeWindow& window, MessageKind kind, platform::MouseButton button, WPARAM wParam,
                              LPARAM lParam, int clickCount) {
    unsigned shift = platform::ShiftNone;
    if (wParam & MK_SHIFT) shift |= platform::ShiftShift;
    if (wParam & MK_CONTROL) shift |= platform::ShiftCtrl;
    if (GetKeyState(VK_MENU) < 0) shift |= platform::ShiftAlt;
    const Message message{.kind = kind,
                          .window = ToHandle(window.hwnd),
                          .button = button,
                          .point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)},
                          .clickCount = clickCount,
                          .shift = shift};
    if (kind == MessageKind::MouseMove) PostCoalesced(message);
    else Post(message);
}

void Win32Platform::PostKey(NativeWindow& window, MessageKind kind, WPARAM wParam) {
    Post({.kind = kind, .window = ToHandle(window.hwnd), .key = TranslateVirtualKey(static_cast<unsigned>(wParam)), .shift = ShiftFromKeyboard()});
}

void Win32Platform::PostChar(NativeWindow& window, WPARAM wParam) {
    const std::optional<char32_t> c = characters_.Feed(static_cast<unsigned>(wParam));
    if (!c) return;
    Post({.kind = MessageKind::Char, .window = ToHandle(window.hwnd), .character = *c, .shift = ShiftFromKeyboard()});
}

LRESULT Win32Platform::HandleWindowMessage(NativeWindow& window, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = window.hwnd;
    const WindowHandle handle = ToHandle(hwnd);
    auto simple = [&](MessageKind kind) { Post({.kind = kind, .window = handle}); };
    // The mouse buttons: which message is which button, press or release, and
    // whether it is the second press of a double-click.
    if (const MouseButtonMessage* mouse = FindMouseButtonMessage(msg)) {
        PostMouse(window, mouse->kind, mouse->button, wParam, lParam, mouse->clickCount);
        // The right button's release also asks for the context menu.
        if (msg != WM_RBUTTONUP) return 0;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_PAINT: Paint(window); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers everything
    case WM_CLOSE: simple(MessageKind::Close); return 0;  // the toolkit decides
    case WM_MOVE:
    case WM_SIZE: {
        if (msg == WM_SIZE) {
            if (wParam == SIZE_MINIMIZED) return 0;
            window.lastClient = {LOWORD(lParam), HIWORD(lParam)};
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        if (IsIconic(hwnd)) return 0;
        PostCoalesced({.kind = MessageKind::Moved, .window = handle});
        return 0;
    }
    case WM_ACTIVATE:
        simple(LOWORD(wParam) == WA_INACTIVE ? MessageKind::Deactivate : MessageKind::Activate);
        break;
    case WM_SYSCOMMAND: {
        const WPARAM command = wParam & 0xFFF0;
        if (window.kind == platform::WindowKind::Form && command == SC_MINIMIZE) {
            // The application minimises as a whole into its taskbar entry:
            // minimising the owner hides every window it owns.
            HWND owner = GetWindow(hwnd, GW_OWNER);
            NativeWindow* app = owner ? Find(owner) : nullptr;
            if (app && app->kind == platform::WindowKind::Application) {
                ::ShowWindow(owner, SW_MINIMIZE);
                return 0;
            }
        }
        break;
    }
    case WM_DPICHANGED:
        ApplyDpiChange(window, HIWORD(wParam));
        return 0;
    case WM_MOUSEMOVE:
        if (!window.trackingLeave) {
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = hwnd;
            window.trackingLeave = TrackMouseEvent(&track) != FALSE;
        }
        PostMouse(window, MessageKind::MouseMove, platform::MouseButton::Left, wParam, lParam, 1);
        return 0;
    case WM_MOUSELEAVE:
        window.trackingLeave = false;
        simple(MessageKind::MouseLeave);
        return 0;
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(hwnd, &at);
        Post({.kind = MessageKind::MouseWheel,
              .window = handle,
              .point = {at.x, at.y},
              .wheelDelta = GET_WHEEL_DELTA_WPARAM(wParam),
              .shift = ShiftFromKeyboard()});
        return 0;
    }
    case WM_KEYDOWN: PostKey(window, MessageKind::KeyDown, wParam); return 0;
    case WM_KEYUP: PostKey(window, MessageKind::KeyUp, wParam); return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4 and the system menu keys still need the default handling.
        PostKey(window, MessageKind::KeyDown, wParam);
        break;
    case WM_SYSKEYUP: PostKey(window, MessageKind::KeyUp, wParam); break;
    case WM_CHAR: PostChar(window, wParam); return 0;
    case WM_SETFOCUS: simple(MessageKind::FocusIn); return 0;
    case WM_KILLFOCUS: simple(MessageKind::FocusOut); return 0;
    case WM_GETOBJECT: {
        bool handled = false;
        const LRESULT object = accessibility_.GetObject(hwnd, wParam, lParam, handled);
        if (handled) return object;
        break;
    }
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------- timers

std::uint64_t Win32Platform::HighResolutionCounter() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart);
}

std::uint64_t Win32Platform::HighResolutionFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<std::uint64_t>(frequency.QuadPart) : 1;
}

void Win32Platform::YieldProcessor() { Sleep(0); }

// ---------------------------------------------------------------- dialogs, drawing, engine

platform::MessageBoxResult Win32Platform::ShowMessageBox(const platform::MessageBoxRequest& request) {
    using platform::MessageBoxButtons;
    using platform::MessageBoxResult;
    UINT type = 0;
    switch (request.buttons) {
    case MessageBoxButtons::Ok: type |= MB_OK; break;
    case MessageBoxButtons::OkCancel: type |= MB_OKCANCEL; break;
    case MessageBoxButtons::YesNo: type |= MB_YESNO; break;
    }
    switch (request.icon) {
    case platform::MessageBoxIcon::Error: type |= MB_ICONERROR; break;
    case platform::MessageBoxIcon::Warning: type |= MB_ICONWARNING; break;
    case platform::MessageBoxIcon::Information: type |= MB_ICONINFORMATION; break;
    case platform::MessageBoxIcon::Question: type |= MB_ICONQUESTION; break;
    case platform::MessageBoxIcon::None: break;
    }
    type |= MB_DEFBUTTON1;
    HWND owner = request.taskModal ? nullptr : ToHwnd(request.owner);
    if (owner && !IsWindow(owner)) owner = nullptr;
    if (request.taskModal) type |= MB_TASKMODAL;
    // A box without owner could open behind another program's window and
    // wait there unseen.
    if (!owner) type |= MB_SETFOREGROUND;
    const int answer = messageBox_(owner, Widen(request.text).c_str(), Widen(request.caption).c_str(), type);
    // Only an answer the box has a button for counts. A box closed without
    // one (WM_CLOSE on a Yes/No box answers IDCANCEL) or not shown at all (0)
    // gives the answer that changes nothing.
    auto offered = [&](MessageBoxResult result) {
        switch (request.buttons) {
        case MessageBoxButtons::Ok: return result == MessageBoxResult::Ok;
        case MessageBoxButtons::OkCancel: return result == MessageBoxResult::Ok || result == MessageBoxResult::Cancel;
        case MessageBoxButtons::YesNo: return result == MessageBoxResult::Yes || result == MessageBoxResult::No;
        }
        return false;
    };
    MessageBoxResult result = EscapeAnswer(request.buttons);
    switch (answer) {
    case IDYES: result = MessageBoxResult::Yes; break;
    case IDNO: result = MessageBoxResult::No; break;
    case IDCANCEL: result = MessageBoxResult::Cancel; break;
    case IDOK: result = MessageBoxResult::Ok; break;
    default: break;
    }
    return offered(result) ? result : EscapeAnswer(request.buttons);
}

void Win32Platform::StartGdiPlus() {
    if (!gdiplusToken_) gdiplusToken_ = StartupGdiPlus();
}

std::unique_ptr<platform::ICanvas> Win32Platform::CreateOffscreenCanvas(SizeI pixels, float scale) {
    StartGdiPlus();
    return GdiPlusCanvas::CreateBitmap(pixels, scale);
}

std::unique_ptr<platform::IWebEngine> Win32Platform::CreateWebEngine(platform::IWebEngineEvents& events,
                                                                     platform::EngineResult& failure) {
    return Win32WebEngine::Create(*this, engineFactory_, events, failure);
}

}  // namespace velmora::win32

namespace velmora::platform {

std::unique_ptr<Platform> CreateDefaultPlatform() { return std::make_unique<win32::Win32Platform>(); }

}  // namespace velmora::platform
