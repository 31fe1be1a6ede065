// The whole program on the real Windows backend, with a recording stand-in
// for the browser control: a user's session (every chapter, back to the
// table of contents each time, close) must cross into the engine with
// exactly the expected calls, and each refusal of the engine must end as the
// user is told it does.
#include <gtest/gtest.h>

#include "backends/win32/WinApi.h"

#include <urlmon.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ExpectedCalls.h"
#include "FakeBrowserControl.h"
#include "backends/win32/Win32Platform.h"
#include "program/Unit2.h"
#include "program/Velmora.h"
#include "toolkit/controls/TabControl.h"
#include "toolkit/controls/TabItem.h"
#include "toolkit/controls/WebBrowser.h"

namespace velmora::binding_test {
namespace {

// The real backend, with the control's stand-in behind its factory, message
// boxes answered at once, and the display window's placements written to the
// same log as the engine's calls.
class RecordingPlatform : public win32::Win32Platform {
public:
    explicit RecordingPlatform(std::map<std::string, HRESULT> failures) {
        SetEngineFactory([this, failures](REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out) {
            wchar_t text[40] = L"";
            StringFromGUID2(clsid, text, 40);
            log.push_back("CoCreateInstance(" + win32::Narrow(std::wstring(text)) + ", " +
                          (outer ? "outer" : "no outer") + ", " + std::to_string(context) + ", " +
                          (IsEqualIID(iid, IID_IOleObject) ? "IOleObject" : "other interface") + ")");
            *out = nullptr;
            if (auto refused = failures.find("CoCreateInstance"); refused != failures.end()) {
                LeaveErrorDescription("CoCreateInstance");
                return refused->second;
            }
            control = new FakeBrowserControl(log, failures);
            *out = static_cast<IOleObject*>(control);
            return S_OK;
        });
        SetMessageBoxFunction([this](HWND, const wchar_t* text, const wchar_t* caption, UINT) {
            boxes.push_back(win32::Narrow(std::wstring(caption)) + ": " + win32::Narrow(std::wstring(text)));
            return IDOK;
        });
    }

    void SetWindowPos(platform::WindowHandle window, const platform::RectI& rect, unsigned flags) override {
        if (control && ToHwnd(window) == control->Display()) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", flags);
            const bool placed = !(flags & (SWP_NOMOVE | SWP_NOSIZE));
            log.push_back("SetWindowPos(display, " +
                          (placed ? RectText({rect.left, rect.top, rect.right, rect.bottom}) + ", " : "") + hex +
                          ")");
        }
        Win32Platform::SetWindowPos(window, rect, flags);
    }
    void SetParentWindow(platform::WindowHandle child, platform::WindowHandle parent, bool toBottom) override {
        if (control && ToHwnd(child) == control->Display()) log.push_back("SetParentWindow(display)");
        Win32Platform::SetParentWindow(child, parent, toBottom);
    }

    CallLog log;
    std::vector<std::string> boxes;
    // Borrowed: the binding owns the control; kept only to reach it while it lives.
    FakeBrowserControl* control = nullptr;
};

// A user at the window: each step waits until the window is ready for it (no
// slide running, the page it expects shown) and then acts through real
// window messages, so errors take the same way to the user as in use.
class User {
public:
    struct Step {
        int page;  // the active page the step waits for
        std::function<void()> act;
        std::function<bool()> ready = nullptr;  // and whatever else it waits for
    };

    User(RecordingPlatform& platform, std::vector<Step> steps) : platform_(platform), steps_(std::move(steps)) {
        platform_.CreateTimer(25, true, [this] { Tick(); });
    }

    static void Click(const TControl& control) {
        const RectF r = control.AbsoluteRect();
        const float s = Form2->Scale();
        const LPARAM at = MAKELPARAM(static_cast<int>(std::floor((r.left + r.Width() / 2) * s)),
                                     static_cast<int>(std::floor((r.top + r.Height() / 2) * s)));
        HWND window = win32::Win32Platform::ToHwnd(Form2->Handle());
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(window, WM_LBUTTONUP, 0, at);
    }
    static void Close() { PostMessageW(win32::Win32Platform::ToHwnd(Form2->Handle()), WM_CLOSE, 0, 0); }

private:
    void Tick() {
        if (next_ >= steps_.size() || !Form2 || !Form2->Handle() || !Form2->Visible()) return;
        const Step& step = steps_[next_];
        if (Form2->TabControl1->IsTransitionRunning() || Form2->TabControl1->TabIndex() != step.page ||
            (step.ready && !step.ready())) {
            if (++waited_ > 400) {  // ten seconds: the window never got there
                ADD_FAILURE() << "step " << next_ << " waited for page " << steps_[next_].page << " in vain";
                Close();
                next_ = steps_.size();
            }
            return;
        }
        waited_ = 0;
        steps_[next_++].act();
    }

    RecordingPlatform& platform_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int waited_ = 0;
};

std::string Lines(const CallLog& log) {
    std::string text = "calls:\n";
    for (const std::string& line : log) text += "  " + line + "\n";
    return text;
}

TControl& ChapterButton(int chapter) {
    TButton* buttons[] = {Form2->Button1, Form2->Button2, Form2->Button3, Form2->Button4};
    return *buttons[chapter - 1];
}

int RunProgram(RecordingPlatform& platform) { return RunVelmoraProcess(platform); }

TEST(WebEngineBinding, SessionCrossesIntoTheEngineWithExactlyTheExpectedCalls) {
    RecordingPlatform platform({});
    std::vector<User::Step> steps;
    for (int chapter = 1; chapter <= 4; ++chapter) {
        steps.push_back({0, [chapter] { User::Click(ChapterButton(chapter)); }});
        steps.push_back({1, [] { User::Click(*Form2->TabControl1->Tabs(0)); }});
    }
    // Opened through its header, the reader shows the last page again without a load.
    steps.push_back({0, [] { User::Click(*Form2->TabControl1->Tabs(1)); }});
    steps.push_back({1, [&platform] { platform.control->AskToMove({10, 40, 300, 400}); }});
    steps.push_back({1, [] { User::Close(); }});
    User user(platform, std::move(steps));

    EXPECT_EQ(RunProgram(platform), 0);
    const CallLog calls = Collapsed(platform.log);
    EXPECT_EQ(calls, ExpectedSession()) << Lines(calls);
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxes.front();
}

bool Contains(const CallLog& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

// Each refusal while the window is built ends the process through the
// last-chance report; the engine object, once created, is still released.
struct BuildRefusal {
    const char* step;
    HRESULT code;
    std::string message;
};

TEST(WebEngineBinding, RefusalWhileTheWindowIsBuiltEndsTheProgramWithItsMessage) {
    const BuildRefusal refusals[] = {
        {"CoCreateInstance", REGDB_E_CLASSNOTREG, RefusalText("CoCreateInstance")},
        {"SetClientSite", E_FAIL, RefusalText("SetClientSite")},
        {"InitNew", E_OUTOFMEMORY, RefusalText("InitNew")},
        {"Invoke", DISP_E_MEMBERNOTFOUND, RefusalText("Invoke")},
        {"DoVerb(-5)", E_FAIL, "OLE control activation failed"},
        {"IOleInPlaceObject", E_NOINTERFACE, "OLE control activation failed"},
        {"GetWindow", E_FAIL, "Could not obtain OLE control window handle"},
        {"Navigate(\"\")", E_ACCESSDENIED, RefusalText("Navigate(\"\")")},
    };
    for (const BuildRefusal& refusal : refusals) {
        SCOPED_TRACE(refusal.step);
        RecordingPlatform platform({{refusal.step, refusal.code}});
        EXPECT_EQ(RunProgram(platform), 1);
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_TRUE(platform.boxes[0].starts_with("Application Error: Exception EOleError in module "))
            << platform.boxes[0];
        EXPECT_TRUE(platform.boxes[0].ends_with(".\r\n" + refusal.message + ".\r\n")) << platform.boxes[0];
        if (std::string(refusal.step) != "CoCreateInstance") {
            EXPECT_EQ(platform.log.back(), "released");
        }
    }
}

// A refused load stops the chapter's handler before the slide: the table of
// contents stays, the display stays hidden and the user reads the engine's
// description in the "Error" box; the program carries on and ends normally.
TEST(WebEngineBinding, RefusedChapterLoadKeepsTheTableOfContentsAndShowsTheError) {
    RecordingPlatform platform({{"Navigate", INET_E_RESOURCE_NOT_FOUND}});
    bool displayShown = true;
    std::string storedAddress;
    User user(platform, {{0, [] { User::Click(ChapterButton(3)); }},
                         {0,
                          [&] {
                              displayShown = IsWindowVisible(platform.control->Display()) != FALSE;
                              storedAddress = Form2->WebBrowser1->StoredURL();
                              User::Close();
                          },
                          [&] { return !platform.boxes.empty(); }}});
    EXPECT_EQ(RunProgram(platform), 0);
    EXPECT_EQ(platform.boxes, std::vector<std::string>{"Error: " + RefusalText("Navigate") + "."});
    EXPECT_FALSE(displayShown);
    EXPECT_EQ(storedAddress, "http://" VELMORA_CHAPTER_HOST "/Nav3.html");
    EXPECT_TRUE(Contains(platform.log, ChapterNavigate(3, 0)));
    EXPECT_FALSE(Contains(platform.log, "put_Visible(true)"));
}

// Without caching, a chapter goes out with "no reading from and no writing to
// the cache".
TEST(WebEngineBinding, LoadWithoutCachingAsksTheEngineToBypassItsCache) {
    RecordingPlatform platform({});
    User user(platform, {{0,
                          [] {
                              Form2->WebBrowser1->SetEnableCaching(false);
                              User::Click(ChapterButton(2));
                          }},
                         {1, [] { User::Close(); }}});
    EXPECT_EQ(RunProgram(platform), 0);
    EXPECT_TRUE(Contains(platform.log, ChapterNavigate(2, 12)));
    EXPECT_FALSE(Contains(platform.log, ChapterNavigate(2, 0)));
}

// The calls between one "user:" line of the log and the next.
CallLog CallsAfter(const CallLog& log, const std::string& action) {
    CallLog out;
    auto it = std::find(log.begin(), log.end(), "user: " + action);
    if (it == log.end()) return {"(no \"" + action + "\" in the log)"};
    for (++it; it != log.end() && !it->starts_with("user: "); ++it) out.push_back(*it);
    return out;
}

// The keyboard follows the reader's view into the control: Tab onto the view
// and a click into the display each UI-activate the control inside the focus
// frame and give its window the focus; a Tab the page does not use goes back
// to the window's tab order (the view, as the only stop, is entered again);
// leaving the reader page takes the focus back and deactivates the control's
// UI.
TEST(WebEngineBinding, FocusEntersTheControlByTabAndByClickAndLeavesWithThePage) {
    RecordingPlatform platform({});
    HWND focusAfterTab = nullptr, focusAfterClick = nullptr, focusAfterLeaving = nullptr, display = nullptr;
    auto main = [] { return win32::Win32Platform::ToHwnd(Form2->Handle()); };
    auto act = [&platform](const std::string& action, std::function<void()> f) {
        return [&platform, action, f] {
            platform.log.push_back("user: " + action);
            f();
        };
    };
    auto viewFocused = [] { return Form2->Focused() == Form2->WebBrowser1; };
    User user(platform,
              {{0, [] { User::Click(ChapterButton(3)); }},
               {1, act("Tab", [main] { PostMessageW(main(), WM_KEYDOWN, VK_TAB, 0); })},
               {1,
                act("Tab inside the page",
                    [&] {
                        focusAfterTab = GetFocus();
                        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
                    }),
                viewFocused},
               {1, act("contents header", [] { User::Click(*Form2->TabControl1->Tabs(0)); })},
               {0, act("reader header", [] { User::Click(*Form2->TabControl1->Tabs(1)); })},
               {1,
                act("click into the page",
                    [&] {
                        focusAfterLeaving = GetFocus();
                        SendMessageW(platform.control->Display(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(main()),
                                     MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
                    })},
               {1,
                act("close",
                    [&] {
                        focusAfterClick = GetFocus();
                        display = platform.control->Display();
                        User::Close();
                    }),
                viewFocused}});
    EXPECT_EQ(RunProgram(platform), 0);
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxes.front();

    // Inside the focus frame: two pixels in from the page on every side.
    const std::string framed = "{2, 30, 366, 478}";
    const std::string activate = "DoVerb(-4, no message, client site, 0, VelmoraForm, " + framed + ")";
    const CallLog takes = {"SetWindowPos(display, " + framed + ", 0x14)", "SetWindowPos(display, 0x57)", activate,
                           "display: focus in"};
    EXPECT_EQ(CallsAfter(platform.log, "Tab"), takes) << Lines(platform.log);
    // Entered again where it is: placed as it was, activated again.
    EXPECT_EQ(CallsAfter(platform.log, "Tab inside the page"),
              (CallLog{"TranslateAccelerator(Tab)", takes[0], takes[1], activate}))
        << Lines(platform.log);
    EXPECT_EQ(CallsAfter(platform.log, "click into the page"), takes) << Lines(platform.log);
    const CallLog leaves = CallsAfter(platform.log, "contents header");
    ASSERT_GE(leaves.size(), 2u) << Lines(platform.log);
    EXPECT_EQ(CallLog(leaves.begin(), leaves.begin() + 2), (CallLog{"display: focus out", "UIDeactivate()"}))
        << Lines(platform.log);

    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(focusAfterTab && (focusAfterTab == display || IsChild(display, focusAfterTab)));
    EXPECT_TRUE(focusAfterClick && (focusAfterClick == display || IsChild(display, focusAfterClick)));
    EXPECT_FALSE(focusAfterLeaving && (focusAfterLeaving == display || IsChild(display, focusAfterLeaving)));
}

}  // namespace
}  // namespace velmora::binding_test
