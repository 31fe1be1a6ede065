// What a screen reader finds in the reader's window on Windows: the real
// program starts on the real Win32 backend, and a client in the same process
// asks the window for its IAccessible as any client would
// (AccessibleObjectFromWindow), walks it, reads it and presses through it.
#include <gtest/gtest.h>

#include "backends/win32/WinApi.h"

#include <oleacc.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "backends/win32/ComHolders.h"
#include "backends/win32/TextConversion.h"
#include "backends/win32/Win32Platform.h"
#include "program/Unit2.h"
#include "program/Velmora.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/shell/Application.h"
#include "toolkit/shell/ModuleInit.h"

namespace velmora::win32 {
namespace {

const char* const kChapters[] = {"Зарождение и развитие мореплавания", "Современные способы навигации",
                                 "Радионавигационные средства определения места в море",
                                 "Картографические проекции"};

VARIANT Self() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = CHILDID_SELF;
    return v;
}

struct BstrText {
    BSTR value = nullptr;
    ~BstrText() { SysFreeString(value); }
    std::string Text() const { return value ? Narrow(value, SysStringLen(value)) : std::string(); }
};

std::string NameOf(IAccessible* object) {
    BstrText name;
    if (FAILED(object->get_accName(Self(), &name.value))) return "<failed>";
    return name.Text();
}

long RoleOf(IAccessible* object) {
    VARIANT role;
    VariantInit(&role);
    if (FAILED(object->get_accRole(Self(), &role)) || role.vt != VT_I4) return -1;
    return role.lVal;
}

long StateOf(IAccessible* object) {
    VARIANT state;
    VariantInit(&state);
    if (FAILED(object->get_accState(Self(), &state)) || state.vt != VT_I4) return -1;
    return state.lVal;
}

std::string DefaultActionOf(IAccessible* object) {
    BstrText action;
    if (FAILED(object->get_accDefaultAction(Self(), &action.value))) return "<failed>";
    return action.Text();
}

ComPtr<IAccessible> FromDispatch(IDispatch* dispatch) {
    ComPtr<IAccessible> out;
    if (dispatch) dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(out.GetAddressOf()));
    return out;
}

// The children as full objects, through AccessibleChildren as clients walk.
std::vector<ComPtr<IAccessible>> ChildrenOf(IAccessible* object) {
    long count = 0;
    EXPECT_EQ(object->get_accChildCount(&count), S_OK);
    std::vector<VARIANT> children(static_cast<std::size_t>(count));
    long obtained = 0;
    std::vector<ComPtr<IAccessible>> out;
    if (count == 0) return out;
    EXPECT_EQ(AccessibleChildren(object, 0, count, children.data(), &obtained), S_OK);
    for (long i = 0; i < obtained; ++i) {
        VARIANT& v = children[static_cast<std::size_t>(i)];
        EXPECT_EQ(v.vt, VT_DISPATCH) << "child " << i << " is not an object";
        if (v.vt == VT_DISPATCH) out.push_back(FromDispatch(v.pdispVal));
        VariantClear(&v);
    }
    return out;
}

// Dispatches the program's messages until done() or five seconds passed.
bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Application->ProcessMessages();
        Sleep(5);
    }
    return true;
}

// The window's tree as the client sees it, found by walking from the client
// object down.
struct Walked {
    ComPtr<IAccessible> client, tabList, contentsTab, readerTab, contentsPage, readerPage;
    std::vector<ComPtr<IAccessible>> buttons;
};

// The program's own start, with the steps run from inside its event loop
// once the main window exists; the window is closed afterwards, as a user
// would, so the process ends as it always does.
class Win32AccessibleTest : public ::testing::Test {
protected:
    int RunProgramWith(std::function<void()> steps) {
        return RunProcess(platform, ProgramModules(), [&] {
            Application->Initialize();
            Application->CreateForm(Form2);
            platform.PostCallback([&] {
                steps();
                Form2->Close();
            });
            Application->Run();
        });
    }

    HWND Window() const { return Win32Platform::ToHwnd(Form2->Handle()); }

    Walked Walk() {
        Walked w;
        EXPECT_EQ(AccessibleObjectFromWindow(Window(), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(w.client.GetAddressOf())),
                  S_OK);
        if (!w.client) return w;
        auto top = ChildrenOf(w.client.Get());
        EXPECT_EQ(top.size(), 1u);
        if (top.size() != 1) return w;
        w.tabList = top[0];
        auto tabs = ChildrenOf(w.tabList.Get());
        EXPECT_EQ(tabs.size(), 2u);
        if (tabs.size() != 2) return w;
        w.contentsTab = tabs[0];
        w.readerTab = tabs[1];
        auto contentsPages = ChildrenOf(w.contentsTab.Get());
        auto readerPages = ChildrenOf(w.readerTab.Get());
        EXPECT_EQ(contentsPages.size(), 1u);
        EXPECT_EQ(readerPages.size(), 1u);
        if (contentsPages.size() != 1 || readerPages.size() != 1) return w;
        w.contentsPage = contentsPages[0];
        w.readerPage = readerPages[0];
        w.buttons = ChildrenOf(w.contentsPage.Get());
        return w;
    }

    Win32Platform platform;
};

TEST_F(Win32AccessibleTest, WindowDescribesItsPagesAndChapterButtons) {
    const int exitCode = RunProgramWith([&] {
        Walked w = Walk();
        ASSERT_TRUE(w.client && w.tabList && w.contentsPage && w.readerPage);
        EXPECT_EQ(RoleOf(w.client.Get()), ROLE_SYSTEM_CLIENT);
        EXPECT_EQ(NameOf(w.client.Get()), "Тальмерин");
        EXPECT_EQ(RoleOf(w.tabList.Get()), ROLE_SYSTEM_PAGETABLIST);

        struct TabCase {
            IAccessible* tab;
            const char* name;
            bool selected;
        };
        for (const TabCase& c : {TabCase{w.contentsTab.Get(), "Оглавление", true},
                                 TabCase{w.readerTab.Get(), "Содержание", false}}) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(RoleOf(c.tab), ROLE_SYSTEM_PAGETAB);
            EXPECT_EQ(NameOf(c.tab), c.name);
            const long state = StateOf(c.tab);
            EXPECT_TRUE(state & STATE_SYSTEM_SELECTABLE);
            EXPECT_EQ((state & STATE_SYSTEM_SELECTED) != 0, c.selected);
            EXPECT_FALSE(state & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE));
            EXPECT_EQ(DefaultActionOf(c.tab), "Switch");
        }
        // The selection of the tab list is the shown page's header.
        VARIANT selection;
        VariantInit(&selection);
        ASSERT_EQ(w.tabList->get_accSelection(&selection), S_OK);
        ASSERT_EQ(selection.vt, VT_DISPATCH);
        EXPECT_EQ(NameOf(FromDispatch(selection.pdispVal).Get()), "Оглавление");
        VariantClear(&selection);

        EXPECT_EQ(RoleOf(w.contentsPage.Get()), ROLE_SYSTEM_PROPERTYPAGE);
        EXPECT_FALSE(StateOf(w.contentsPage.Get()) & STATE_SYSTEM_INVISIBLE);
        // The hidden reader page is there, but not shown.
        EXPECT_TRUE(StateOf(w.readerPage.Get()) & STATE_SYSTEM_INVISIBLE);

        ASSERT_EQ(w.buttons.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(kChapters[i]);
            IAccessible* button = w.buttons[static_cast<std::size_t>(i)].Get();
            EXPECT_EQ(RoleOf(button), ROLE_SYSTEM_PUSHBUTTON);
            EXPECT_EQ(NameOf(button), kChapters[i]);
            const long state = StateOf(button);
            EXPECT_TRUE(state & STATE_SYSTEM_FOCUSABLE);
            EXPECT_FALSE(state & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_UNAVAILABLE));
            EXPECT_EQ(DefaultActionOf(button), "Press");

            // Screen pixels: the control's place in the client area, moved
            // to where the client area is on the screen.
            const TButton* control = (Form2->*(std::array{&TForm2::Button1, &TForm2::Button2, &TForm2::Button3,
                                                           &TForm2::Button4}[static_cast<std::size_t>(i)]));
            const float scale = Form2->Scale();
            const RectF r = control->AbsoluteRect();
            POINT origin{0, 0};
            ClientToScreen(Window(), &origin);
            long left = 0, top = 0, width = 0, height = 0;
            ASSERT_EQ(button->accLocation(&left, &top, &width, &height, Self()), S_OK);
            EXPECT_NEAR(left, origin.x + r.left * scale, 1);
            EXPECT_NEAR(top, origin.y + r.top * scale, 1);
            EXPECT_NEAR(width, r.Width() * scale, 1);
            EXPECT_NEAR(height, r.Height() * scale, 1);
        }

        // The tree's links back and across.
        ComPtr<IDispatch> parent;
        ASSERT_EQ(w.buttons[2]->get_accParent(parent.GetAddressOf()), S_OK);
        EXPECT_EQ(RoleOf(FromDispatch(parent.Get()).Get()), ROLE_SYSTEM_PROPERTYPAGE);
        VARIANT next;
        VariantInit(&next);
        ASSERT_EQ(w.buttons[0]->accNavigate(NAVDIR_NEXT, Self(), &next), S_OK);
        ASSERT_EQ(next.vt, VT_DISPATCH);
        EXPECT_EQ(NameOf(FromDispatch(next.pdispVal).Get()), kChapters[1]);
        VariantClear(&next);
        VariantInit(&next);
        EXPECT_EQ(w.buttons[3]->accNavigate(NAVDIR_NEXT, Self(), &next), S_FALSE);
    });
    EXPECT_EQ(exitCode, 0);
}

TEST_F(Win32AccessibleTest, DefaultActionsOpenAChapterAndComeBack) {
    const int exitCode = RunProgramWith([&] {
        Walked w = Walk();
        ASSERT_EQ(w.buttons.size(), 4u);
        ASSERT_EQ(w.buttons[2]->accDoDefaultAction(Self()), S_OK);
        // The action is queued: the client's call returned before the
        // handler ran.
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 0);
        ASSERT_TRUE(PumpUntil([] { return Form2->WebBrowser1->StoredURL().ends_with("/Nav3.html"); }))
            << "address: " << Form2->WebBrowser1->StoredURL();
        ASSERT_TRUE(PumpUntil([&] { return StateOf(w.readerTab.Get()) & STATE_SYSTEM_SELECTED; }));
        EXPECT_FALSE(StateOf(w.contentsTab.Get()) & STATE_SYSTEM_SELECTED);
        EXPECT_FALSE(StateOf(w.readerPage.Get()) & STATE_SYSTEM_INVISIBLE);
        // Once the slide has ended, the table of contents is hidden.
        EXPECT_TRUE(PumpUntil([&] { return StateOf(w.contentsPage.Get()) & STATE_SYSTEM_INVISIBLE; }));

        ASSERT_EQ(w.contentsTab->accDoDefaultAction(Self()), S_OK);
        ASSERT_TRUE(PumpUntil([] { return Form2->TabControl1->TabIndex() == 0; }));
        EXPECT_TRUE(StateOf(w.contentsTab.Get()) & STATE_SYSTEM_SELECTED);
        EXPECT_FALSE(StateOf(w.readerTab.Get()) & STATE_SYSTEM_SELECTED);
        EXPECT_FALSE(StateOf(w.buttons[2].Get()) & STATE_SYSTEM_INVISIBLE);
    });
    EXPECT_EQ(exitCode, 0);
}

TEST_F(Win32AccessibleTest, ObjectsKeptAfterTheWindowIsGoneAnswerDisconnected) {
    Walked w;
    const int exitCode = RunProgramWith([&] { w = Walk(); });
    EXPECT_EQ(exitCode, 0);
    ASSERT_TRUE(w.client && w.buttons.size() == 4);
    for (IAccessible* object : {w.client.Get(), w.tabList.Get(), w.buttons[2].Get()}) {
        BstrText name;
        EXPECT_EQ(object->get_accName(Self(), &name.value), CO_E_OBJNOTCONNECTED);
        EXPECT_EQ(name.value, nullptr);
        EXPECT_EQ(object->accDoDefaultAction(Self()), CO_E_OBJNOTCONNECTED);
        long count = -1;
        EXPECT_EQ(object->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
        IDispatch* parent = nullptr;
        EXPECT_EQ(object->get_accParent(&parent), CO_E_OBJNOTCONNECTED);
        EXPECT_EQ(parent, nullptr);
    }
}

// What a screen reader hears of the focus, through the system's focus
// events, on the keyboard path into a chapter: the chapter's button, the
// reader's page tab once the slide has left no control focused, then the
// page's own window when Tab enters it.
std::vector<std::string> g_heardFocus;
std::vector<HWND> g_focusWindows;

void CALLBACK OnFocusEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    g_focusWindows.push_back(hwnd);
    IAccessible* raw = nullptr;
    VARIANT which;
    VariantInit(&which);
    if (FAILED(AccessibleObjectFromEvent(hwnd, static_cast<DWORD>(object), static_cast<DWORD>(child), &raw, &which)) ||
        !raw) {
        g_heardFocus.push_back("<no object>");
        return;
    }
    ComPtr<IAccessible> source(raw);
    BstrText name;
    if (FAILED(source->get_accName(which, &name.value))) name.value = nullptr;
    g_heardFocus.push_back(name.Text());
}

TEST_F(Win32AccessibleTest, TheKeyboardPathIntoAChapterIsHeardAsFocusEvents) {
    g_heardFocus.clear();
    g_focusWindows.clear();
    HWINEVENTHOOK hook = nullptr;
    // Whether a focus in the page's own window was heard after the page tab,
    // and the windows heard (class names, * for the page's), for a failure.
    bool inPage = false;
    std::string windows;
    const int exitCode = RunProgramWith([&] {
        hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, OnFocusEvent, GetCurrentProcessId(), 0,
                               WINEVENT_OUTOFCONTEXT);
        ASSERT_NE(hook, nullptr);
        auto key = [this](WPARAM vk) { PostMessageW(Window(), WM_KEYDOWN, vk, 1); };
        for (int i = 0; i < 3; ++i) key(VK_TAB);
        ASSERT_TRUE(PumpUntil([] { return Form2->Focused() == Form2->Button3; }));
        key(VK_RETURN);
        ASSERT_TRUE(PumpUntil([] { return Form2->TabControl1->TabIndex() == 1 && !Form2->Focused(); }));
        ASSERT_TRUE(PumpUntil([] { return !g_heardFocus.empty() && g_heardFocus.back() == "Содержание"; }))
            << "the reader's page tab was not heard after the slide";
        const HWND display = Win32Platform::ToHwnd(Form2->WebBrowser1->Binding()->Display());
        auto ofPage = [display](HWND hwnd) { return hwnd == display || IsChild(display, hwnd); };
        const std::size_t heardBefore = g_focusWindows.size();
        key(VK_TAB);
        ASSERT_TRUE(PumpUntil([] { return Form2->Focused() == Form2->WebBrowser1; }));
        PumpUntil([&] {
            for (std::size_t i = heardBefore; i < g_focusWindows.size(); ++i)
                if (ofPage(g_focusWindows[i])) return true;
            return false;
        });
        for (std::size_t i = 0; i < g_focusWindows.size(); ++i) {
            wchar_t name[64] = {};
            GetClassNameW(g_focusWindows[i], name, 64);
            windows += Narrow(name) + (ofPage(g_focusWindows[i]) ? "* " : " ");
            if (i >= heardBefore && ofPage(g_focusWindows[i])) inPage = true;
        }
    });
    if (hook) UnhookWinEvent(hook);
    EXPECT_EQ(exitCode, 0);
    // In order, with whatever the system adds between them.
    const std::vector<std::string> expected = {kChapters[2], "Содержание"};
    std::size_t at = 0;
    for (const std::string& name : g_heardFocus)
        if (at < expected.size() && name == expected[at]) ++at;
    EXPECT_EQ(at, expected.size()) << ::testing::PrintToString(g_heardFocus);
    EXPECT_TRUE(inPage) << "Tab into the page was not heard in the page's window: " << windows;
}

}  // namespace
}  // namespace velmora::win32
