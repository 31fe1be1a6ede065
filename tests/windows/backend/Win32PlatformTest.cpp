// The Windows backend on the system itself: its windows, timers, wake-ups,
// message boxes and key messages, read back with the system's own calls.
#include "backends/win32/WinApi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backends/win32/KeyTranslation.h"
#include "backends/win32/TextConversion.h"
#include "backends/win32/Win32Platform.h"

namespace velmora::win32 {
namespace {

using platform::Message;
using platform::MessageKind;

// Generous: a loaded machine under Wine is slow, and a bound is only there
// so that a fault fails the test rather than hanging it.
constexpr ULONGLONG kBoundMs = 20000;

const char* const kTitle = "Тальмерин";

class RecordingEvents : public platform::IWindowEvents {
public:
    void OnMessage(const Message& message) override { messages.push_back(message); }
    void OnPaint(platform::ICanvas&) override {}
    std::vector<Message> messages;
};

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

class Win32PlatformTest : public ::testing::Test {
protected:
    // Runs the loop as the toolkit does (peek, dispatch) until done() holds
    // or the bound passes; false on the bound.
    bool PumpUntil(const std::function<bool()>& done) {
        const ULONGLONG end = GetTickCount64() + kBoundMs;
        while (!done()) {
            if (GetTickCount64() > end) return false;
            Message message;
            if (platform.PeekMessage(message)) platform.DispatchMessage(message);
            else Sleep(1);
        }
        return true;
    }

    HWND NewForm(RecordingEvents* events = nullptr) {
        platform::WindowCreateParams params;
        params.kind = platform::WindowKind::Form;
        params.title = kTitle;
        return Win32Platform::ToHwnd(platform.CreateNativeWindow(params, events));
    }

    Win32Platform platform;
};

// ---------------------------------------------------------------- windows

TEST_F(Win32PlatformTest, FormIsCreatedHiddenWhereTheSystemPlacesIt) {
    HWND hwnd = NewForm();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_EQ(ClassName(hwnd), L"VelmoraForm");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    // The default position is the system's: an ordinary place on screen,
    // not the marker that asks for it.
    RECT outer{};
    ASSERT_TRUE(GetWindowRect(hwnd, &outer));
    EXPECT_NE(outer.left, static_cast<LONG>(CW_USEDEFAULT));
    EXPECT_NE(outer.top, static_cast<LONG>(CW_USEDEFAULT));
    EXPECT_GT(outer.right - outer.left, 0);
    EXPECT_GT(outer.bottom - outer.top, 0);
    const platform::RectI bounds = platform.GetWindowBounds(Win32Platform::ToHandle(hwnd));
    EXPECT_EQ(bounds.left, outer.left);
    EXPECT_EQ(bounds.top, outer.top);
    EXPECT_EQ(bounds.right, outer.right);
    EXPECT_EQ(bounds.bottom, outer.bottom);
}

TEST_F(Win32PlatformTest, ClientSizeAsTheSystemMeasuresIt) {
    HWND hwnd = NewForm();
    const platform::WindowHandle handle = Win32Platform::ToHandle(hwnd);
    ASSERT_EQ(platform.GetWindowDpi(handle), 96) << "the sizes below are for 96 DPI";
    for (platform::SizeI size : {platform::SizeI{640, 480}, platform::SizeI{801, 333}, platform::SizeI{1024, 700}}) {
        platform.SetClientSize(handle, size);
        RECT client{}, outer{};
        ASSERT_TRUE(GetClientRect(hwnd, &client));
        ASSERT_TRUE(GetWindowRect(hwnd, &outer));
        EXPECT_EQ(client.right - client.left, size.width);
        EXPECT_EQ(client.bottom - client.top, size.height);
        // The frame around it is the one the system computes for the style.
        RECT frame{0, 0, size.width, size.height};
        ASSERT_TRUE(AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), FALSE,
                                       static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE))));
        EXPECT_EQ(outer.right - outer.left, frame.right - frame.left);
        EXPECT_EQ(outer.bottom - outer.top, frame.bottom - frame.top);
        const platform::SizeI reported = platform.GetClientSize(handle);
        EXPECT_EQ(reported.width, size.width);
        EXPECT_EQ(reported.height, size.height);
    }
}

TEST_F(Win32PlatformTest, ShowAndHide) {
    HWND hwnd = NewForm();
    const platform::WindowHandle handle = Win32Platform::ToHandle(hwnd);
    EXPECT_FALSE(platform.IsWindowVisible(handle));
    platform.ShowWindow(handle);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_TRUE(platform.IsWindowVisible(handle));
    platform.HideWindow(handle);
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_FALSE(platform.IsWindowVisible(handle));
    platform.DestroyNativeWindow(handle);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Win32PlatformTest, TitleRoundTripsCyrillicText) {
    HWND hwnd = NewForm();
    EXPECT_EQ(WindowText(hwnd), L"\u0422\u0430\u043b\u044c\u043c\u0435\u0440\u0438\u043d");
    EXPECT_EQ(Narrow(WindowText(hwnd)), kTitle);
    const std::string title = "Тальмерин — Глава 2: Счисление пути";
    platform.SetWindowTitle(Win32Platform::ToHandle(hwnd), title);
    EXPECT_EQ(Narrow(WindowText(hwnd)), title);
}

// ---------------------------------------------------------------- timers and wake-ups

TEST_F(Win32PlatformTest, OneShotAndRepeatingTimersThroughTheQueue) {
    int once = 0, repeating = 0;
    ASSERT_NE(platform.CreateTimer(10, false, [&] { ++once; }), 0u);
    ASSERT_NE(platform.CreateTimer(10, true, [&] { ++repeating; }), 0u);
    // The repeating timer is the clock: while it fires five times more, the
    // one-shot stays at one.
    ASSERT_TRUE(PumpUntil([&] { return once == 1 && repeating >= 1; }));
    const int start = repeating;
    ASSERT_TRUE(PumpUntil([&] { return repeating >= start + 5; }));
    EXPECT_EQ(once, 1);
}

TEST_F(Win32PlatformTest, KilledTimerNeverRunsAgain) {
    int killed = 0, clock = 0;
    const platform::TimerHandle victim = platform.CreateTimer(10, true, [&] { ++killed; });
    ASSERT_NE(victim, 0u);
    ASSERT_NE(platform.CreateTimer(10, true, [&] { ++clock; }), 0u);
    ASSERT_TRUE(PumpUntil([&] { return killed >= 2; }));
    platform.KillTimer(victim);
    const int atKill = killed;
    ASSERT_TRUE(PumpUntil([&] { return clock >= 10; }));
    EXPECT_EQ(killed, atKill);
    // Killing again, or a handle never given out, is harmless.
    platform.KillTimer(victim);
    platform.KillTimer(9999);
}

TEST_F(Win32PlatformTest, RefusedTimersStopAndNoneStarts) {
    int before = 0;
    ASSERT_NE(platform.CreateTimer(10, true, [&] { ++before; }), 0u);
    ASSERT_TRUE(PumpUntil([&] { return before >= 1; }));
    platform.RefuseTimers(true);
    EXPECT_EQ(platform.CreateTimer(10, true, [] {}), 0u);
    const int atRefusal = before;
    // Accepted again: a new timer serves as the clock for the old one.
    platform.RefuseTimers(false);
    int after = 0;
    ASSERT_NE(platform.CreateTimer(10, true, [&] { ++after; }), 0u);
    ASSERT_TRUE(PumpUntil([&] { return after >= 5; }));
    EXPECT_EQ(before, atRefusal);
}

// A thread that posts a flag to the loop after the bound, so that a
// WaitMessage that is never woken fails the test instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(Win32Platform& platform)
        : thread_([this, &platform] {
              const ULONGLONG end = GetTickCount64() + kBoundMs;
              while (!done_ && GetTickCount64() < end) Sleep(10);
              if (!done_) {
                  fired_ = true;
                  platform.PostCallback([] {});
              }
          }) {}
    ~Watchdog() {
        done_ = true;
        thread_.join();
    }
    bool Fired() const { return fired_; }

private:
    std::atomic<bool> done_{false}, fired_{false};
    std::thread thread_;
};

TEST_F(Win32PlatformTest, WaitMessageReturnsWhenATimerFires) {
    bool ran = false;
    ASSERT_NE(platform.CreateTimer(50, false, [&] { ran = true; }), 0u);
    Watchdog watchdog(platform);
    platform.WaitMessage();
    ASSERT_FALSE(watchdog.Fired()) << "WaitMessage was not woken by the timer";
    Message message;
    ASSERT_TRUE(platform.PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Timer);
    platform.DispatchMessage(message);
    EXPECT_TRUE(ran);
}

TEST_F(Win32PlatformTest, PostFromAnotherThreadWakesTheLoopAndRunsOnTheUiThread) {
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> waiting{false};
    std::thread poster([&] {
        // Most often the loop is blocked by now; either way the post must
        // end the wait.
        while (!waiting) Sleep(1);
        Sleep(100);
        platform.PostCallback([&] { ranOn = GetCurrentThreadId(); });
    });
    {
        Watchdog watchdog(platform);
        waiting = true;
        platform.WaitMessage();
        EXPECT_FALSE(watchdog.Fired()) << "WaitMessage was not woken by the post";
    }
    poster.join();
    Message message;
    ASSERT_TRUE(platform.PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Invoke);
    EXPECT_EQ(ranOn.load(), 0u) << "ran before it was dispatched";
    platform.DispatchMessage(message);
    EXPECT_EQ(ranOn.load(), uiThread);
}

// A message sent from another thread is handled inside the pump's own
// PeekMessageW, and its handler posts to the FIFO from the loop's thread,
// which wakes nothing. The wait must end on that post, not on the next
// system message.
TEST_F(Win32PlatformTest, WhatAMessageSentFromAnotherThreadPostsEndsTheWait) {
    RecordingEvents events;
    HWND hwnd = NewForm(&events);
    // Nothing left for the wait to find but what the sent message brings.
    MSG pending;
    while (::PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&pending);
    Message message;
    while (platform.PeekMessage(message)) platform.DispatchMessage(message);

    std::thread sender([hwnd] { SendMessageW(hwnd, WM_CLOSE, 0, 0); });
    // The sent message waits for this thread before the wait begins, so the
    // wait's own PeekMessageW is what handles it.
    const ULONGLONG end = GetTickCount64() + kBoundMs;
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && GetTickCount64() < end) Sleep(1);
    ASSERT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) << "the sent message never arrived";
    {
        Watchdog watchdog(platform);
        platform.WaitMessage();
        EXPECT_FALSE(watchdog.Fired()) << "WaitMessage slept through what the sent message posted";
    }
    sender.join();
    ASSERT_TRUE(platform.PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Close);
    EXPECT_EQ(message.window, Win32Platform::ToHandle(hwnd));
}

// ---------------------------------------------------------------- message boxes

// What a box showed, read from another thread while the box runs its modal
// loop on the UI thread.
struct SeenBox {
    bool found = false;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // control ids of the visible buttons, in order
};

enum class Close { Press, WmClose };

// Finds the box of the UI thread, reads it, then closes it: pressing the
// button with id, or sending WM_CLOSE.
class BoxDriver {
public:
    BoxDriver(DWORD uiThread, Close how, int button) {
        thread_ = std::thread([this, uiThread, how, button] {
            const ULONGLONG end = GetTickCount64() + kBoundMs;
            HWND box = nullptr;
            while (!box && GetTickCount64() < end) {
                box = FindBox(uiThread);
                if (!box) Sleep(10);
            }
            if (!box) return;
            seen.found = true;
            seen.caption = WindowText(box);
            EnumChildWindows(box, &BoxDriver::Child, reinterpret_cast<LPARAM>(&seen));
            if (how == Close::Press) {
                HWND control = GetDlgItem(box, button);
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
            } else {
                PostMessageW(box, WM_CLOSE, 0, 0);
            }
        });
    }
    ~BoxDriver() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    SeenBox seen;

private:
    static HWND FindBox(DWORD uiThread) {
        HWND found = nullptr;
        EnumThreadWindows(uiThread, &BoxDriver::Dialog, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    // The message box's window class is the system's dialog class.
    static BOOL CALLBACK Dialog(HWND hwnd, LPARAM result) {
        if (ClassName(hwnd) != L"#32770" || !::IsWindowVisible(hwnd)) return TRUE;
        *reinterpret_cast<HWND*>(result) = hwnd;
        return FALSE;
    }
    static BOOL CALLBACK Child(HWND hwnd, LPARAM param) {
        auto& seen = *reinterpret_cast<SeenBox*>(param);
        if (!::IsWindowVisible(hwnd)) return TRUE;
        const std::wstring name = ClassName(hwnd);
        if (_wcsicmp(name.c_str(), L"Static") == 0) {
            const std::wstring text = WindowText(hwnd);
            if (!text.empty()) seen.text = text;
        } else if (_wcsicmp(name.c_str(), L"Button") == 0) {
            seen.buttons.push_back(GetDlgCtrlID(hwnd));
        }
        return TRUE;
    }
    std::thread thread_;
};

TEST_F(Win32PlatformTest, MessageBoxesShowTheirTextsAndAnswerByTheirButtons) {
    using platform::MessageBoxButtons;
    using platform::MessageBoxResult;
    HWND owner = NewForm();
    platform.ShowWindow(Win32Platform::ToHandle(owner));
    const std::string lastChance =
        "Exception EAccessViolation in module Velmora.exe at 0001A2B3.\r\nТальмерин: нет доступа.\r\n";
    const struct {
        const char* what;
        const char* caption;
        std::string text;
        MessageBoxButtons buttons;
        bool owned;
        Close how;
        int press;
        std::vector<int> expectedButtons;
        MessageBoxResult expected;
    } cases[] = {
        {"error box, OK", "Error", "Глава 3 не найдена.", MessageBoxButtons::Ok, true, Close::Press, IDOK, {IDOK},
         MessageBoxResult::Ok},
        {"last-chance report closed", "Application Error", lastChance, MessageBoxButtons::Ok, false, Close::WmClose, 0,
         {IDOK}, MessageBoxResult::Ok},
        {"OK of OK/Cancel", "Тальмерин", "Продолжить?", MessageBoxButtons::OkCancel, true, Close::Press, IDOK,
         {IDOK, IDCANCEL}, MessageBoxResult::Ok},
        {"Cancel of OK/Cancel", "Тальмерин", "Продолжить?", MessageBoxButtons::OkCancel, true, Close::Press, IDCANCEL,
         {IDOK, IDCANCEL}, MessageBoxResult::Cancel},
        {"OK/Cancel closed", "Тальмерин", "Продолжить?", MessageBoxButtons::OkCancel, true, Close::WmClose, 0,
         {IDOK, IDCANCEL}, MessageBoxResult::Cancel},
        {"Yes of Yes/No", "Тальмерин", "Сохранить?", MessageBoxButtons::YesNo, true, Close::Press, IDYES,
         {IDYES, IDNO}, MessageBoxResult::Yes},
        {"No of Yes/No", "Тальмерин", "Сохранить?", MessageBoxButtons::YesNo, false, Close::Press, IDNO,
         {IDYES, IDNO}, MessageBoxResult::No},
        // Escape answers Cancel on a Yes/No box, which has no such button.
        {"Yes/No escaped", "Тальмерин", "Сохранить?", MessageBoxButtons::YesNo, true, Close::Press, IDCANCEL,
         {IDYES, IDNO}, MessageBoxResult::No},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::MessageBoxRequest request;
        request.caption = c.caption;
        request.text = c.text;
        request.icon = platform::MessageBoxIcon::Error;
        request.buttons = c.buttons;
        request.owner = c.owned ? Win32Platform::ToHandle(owner) : 0;
        request.taskModal = !c.owned;
        BoxDriver driver(GetCurrentThreadId(), c.how, c.press);
        const MessageBoxResult answer = platform.ShowMessageBox(request);
        driver.Join();
        ASSERT_TRUE(driver.seen.found) << "no box appeared";
        EXPECT_EQ(Narrow(driver.seen.caption), c.caption);
        EXPECT_EQ(Narrow(driver.seen.text), c.text);
        EXPECT_EQ(driver.seen.buttons, c.expectedButtons);
        EXPECT_EQ(answer, c.expected);
    }
}

// ---------------------------------------------------------------- keys and characters

TEST_F(Win32PlatformTest, KeyAndCharacterMessagesOfARealWindow) {
    RecordingEvents events;
    HWND hwnd = NewForm(&events);
    const platform::WindowHandle handle = Win32Platform::ToHandle(hwnd);
    // Enter makes the system add a carriage return (WM_CHAR) of its own; it
    // arrives as the key only. The emoji is a surrogate pair.
    ASSERT_TRUE(PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 1));
    ASSERT_TRUE(PostMessageW(hwnd, WM_KEYUP, VK_RETURN, 0xC0000001));
    ASSERT_TRUE(PostMessageW(hwnd, WM_KEYDOWN, VK_LEFT, 1));
    ASSERT_TRUE(PostMessageW(hwnd, WM_CHAR, 0x0422, 1));
    ASSERT_TRUE(PostMessageW(hwnd, WM_CHAR, 0xD83D, 1));
    ASSERT_TRUE(PostMessageW(hwnd, WM_CHAR, 0xDE00, 1));
    ASSERT_TRUE(PostMessageW(hwnd, WM_KEYDOWN, 'Q', 1));
    ASSERT_TRUE(PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 1));
    auto keyish = [&] {
        std::vector<Message> out;
        for (const Message& m : events.messages)
            if (m.kind == MessageKind::KeyDown || m.kind == MessageKind::KeyUp || m.kind == MessageKind::Char)
                out.push_back(m);
        return out;
    };
    ASSERT_TRUE(PumpUntil([&] {
        const auto got = keyish();
        return !got.empty() && got.back().kind == MessageKind::KeyDown && got.back().key == platform::Key::Escape;
    }));
    const auto got = keyish();
    const struct {
        MessageKind kind;
        platform::Key key;
        char32_t character;
    } expected[] = {
        {MessageKind::KeyDown, platform::Key::Enter, 0}, {MessageKind::KeyUp, platform::Key::Enter, 0},
        {MessageKind::KeyDown, platform::Key::Left, 0},  {MessageKind::Char, platform::Key::None, U'Т'},
        {MessageKind::Char, platform::Key::None, U'😀'}, {MessageKind::KeyDown, platform::Key::Other, 0},
        // The 'Q' key typed a character of its own through the system's
        // translation; whichever it is, it comes between the two keys.
    };
    ASSERT_GE(got.size(), std::size(expected) + 1);
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].kind, expected[i].kind);
        EXPECT_EQ(got[i].window, handle);
        if (expected[i].kind == MessageKind::Char) EXPECT_EQ(got[i].character, expected[i].character);
        else EXPECT_EQ(got[i].key, expected[i].key);
    }
    EXPECT_EQ(got.back().key, platform::Key::Escape);
}

}  // namespace
}  // namespace velmora::win32
