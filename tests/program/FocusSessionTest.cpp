// The keyboard focus between the reader's controls and the page in the web
// view, on the real program over the headless backend: after the third
// chapter's slide a case plays its input and checks which control has the
// focus, what the engine was told about it, whether the engine holds the
// keys, where the display stands (inside the focus frame while the view has
// the focus) and what a screen reader last heard take the focus.
#include "SessionFixture.h"

#include <map>
#include <ostream>

#include "toolkit/controls/Theme.h"

namespace velmora::session_test {
namespace {

using headless::HeadlessWebEngine;

HeadlessWebEngine& Engine() { return *HeadlessWebEngine::Latest(); }

// The node whose announcement last said it gained the focus: what a screen
// reader, which speaks on such a change only, last spoke.
const platform::IAccessibleNode* LastHeardFocus(const std::vector<headless::AccessibilityEvent>& events) {
    std::map<const platform::IAccessibleNode*, unsigned> known;
    const platform::IAccessibleNode* heard = nullptr;
    for (const headless::AccessibilityEvent& e : events) {
        if (e.kind != headless::AccessibilityEvent::Kind::Changed || e.change != platform::AccessibleChange::States)
            continue;
        const bool before = (known[e.node] & platform::AccessibleFocused) != 0;
        known[e.node] = e.states;
        if (!before && (e.states & platform::AccessibleFocused)) heard = e.node;
    }
    return heard;
}

struct FocusCase {
    const char* name;
    // Played 10 ms apart once the slide has ended.
    std::vector<std::function<void(SessionFixture&)>> input;
    std::string focused;  // the focused control's name, "(none)" for none
    std::vector<std::string> engineCalls;
    bool engineHasKeys;
    int page;
};
void PrintTo(const FocusCase& c, std::ostream* os) { *os << c.name; }

auto Press(Key key, unsigned shift = platform::ShiftNone) {
    return [key, shift](SessionFixture& f) { f.host.Key(key, shift); };
}
const auto kTab = Press(Key::Tab);
const auto kShiftTab = Press(Key::Tab, platform::ShiftShift);
const auto kCtrlTab = Press(Key::Tab, platform::ShiftCtrl);
const auto kCtrlShiftTab = Press(Key::Tab, platform::ShiftCtrl | platform::ShiftShift);
const auto kClickIntoThePage = [](SessionFixture&) { Engine().FireMouseActivate(); };
const auto kPageTakesTheKeys = [](SessionFixture&) { Engine().FireFocused(); };
const auto kPastTheLastLink = [](SessionFixture&) { Engine().FireFocusLeaving(true); };
const auto kBeforeTheFirstLink = [](SessionFixture&) { Engine().FireFocusLeaving(false); };
// The window's own surface takes the system's keyboard back (a click on the
// empty part of the header strip, the window activated again).
const auto kWindowTakesTheKeys = [](SessionFixture& f) {
    f.host.Post({.kind = platform::MessageKind::FocusIn, .window = f.Window()});
};
const auto kContentsHeader = [](SessionFixture& f) { f.PressHeader(0); };
const auto kEnter = Press(Key::Enter);

const std::string kFirst = "WebEngine.TakeFocus(First)";
const std::string kLast = "WebEngine.TakeFocus(Last)";
const std::string kKeep = "WebEngine.TakeFocus(Keep)";
const std::string kRelease = "WebEngine.ReleaseFocus";

const FocusCase kFocusCases[] = {
    {"NothingAfterTheSlide", {}, "(none)", {}, false, 1},
    {"TabEntersAtTheStart", {kTab}, "WebBrowser1", {kFirst}, true, 1},
    {"ShiftTabEntersAtTheEnd", {kShiftTab}, "WebBrowser1", {kLast}, true, 1},
    {"AClickKeepsThePlace", {kClickIntoThePage}, "WebBrowser1", {kKeep}, true, 1},
    {"ThePageTakingTheKeysFocusesTheView", {kPageTakesTheKeys}, "WebBrowser1", {kKeep}, true, 1},
    // The view is the page's only stop: leaving it enters it again.
    {"PastTheLastLinkStartsOver", {kTab, kPastTheLastLink}, "WebBrowser1", {kFirst, kFirst}, true, 1},
    {"BeforeTheFirstLinkEndsOver", {kTab, kBeforeTheFirstLink}, "WebBrowser1", {kFirst, kLast}, true, 1},
    {"TabAgainStartsOver", {kTab, kTab}, "WebBrowser1", {kFirst, kFirst}, true, 1},
    {"CtrlTabLeavesForTheContents", {kTab, kCtrlTab}, "TabItem1", {kFirst, kRelease}, false, 0},
    {"CtrlShiftTabLeavesForTheContents", {kClickIntoThePage, kCtrlShiftTab}, "TabItem1", {kKeep, kRelease}, false, 0},
    {"HeaderPressLeavesForTheContents", {kTab, kContentsHeader}, "TabItem1", {kFirst, kRelease}, false, 0},
    {"TheWindowTakingTheKeysSendsThemBack", {kTab, kWindowTakesTheKeys}, "WebBrowser1", {kFirst, kKeep}, true, 1},
    // Not in the page: the window keeps its keys.
    {"TheWindowTakingTheKeysElsewhere", {kTab, kCtrlTab, kWindowTakesTheKeys}, "TabItem1", {kFirst, kRelease},
     false, 0},
    // A notice that arrives after the focus went elsewhere moves nothing.
    {"ALateLeavingNoticeMovesNothing", {kTab, kCtrlTab, kPastTheLastLink}, "TabItem1", {kFirst, kRelease}, false, 0},
    // Another chapter through the contents: its slide ends with no control
    // focused, and the engine is not asked for the keys.
    {"ASlideLeavesNoFocus", {kTab, kCtrlTab, kTab, kEnter}, "(none)", {kFirst, kRelease}, false, 1},
};

class FocusSession : public SessionFixture, public ::testing::WithParamInterface<FocusCase> {};

TEST_P(FocusSession, TheEngineHoldsTheKeysExactlyWhileTheViewHasTheFocus) {
    const FocusCase& c = GetParam();
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    std::size_t logAtStart = 0;
    At(500, [&] { logAtStart = Log().size(); });
    double at = 510;
    for (const auto& step : c.input) {
        At(at, [this, &step] { step(*this); });
        at += 10;
    }
    std::string focused;
    bool engineHasKeys = false;
    int page = -1;
    platform::RectI displayBounds;
    bool displayShown = false;
    std::vector<std::string> engineCalls;
    const platform::IAccessibleNode* heard = nullptr;
    const platform::IAccessibleNode* shouldBeHeard = nullptr;
    // Long enough for the slide of the case that starts one.
    At(at + 500, [&] {
        focused = Form2->Focused() ? Form2->Focused()->Name() : "(none)";
        engineHasKeys = Engine().HasFocus();
        page = Form2->TabControl1->TabIndex();
        const headless::WindowState* display = host.Window(Form2->WebBrowser1->Binding()->Display());
        displayBounds = display->bounds;
        displayShown = display->visible;
        for (std::size_t i = logAtStart; i < Log().size(); ++i)
            if (Log()[i].find("Focus") != std::string::npos) engineCalls.push_back(Log()[i]);
        heard = LastHeardFocus(host.Accessibility().Events());
        // With no control focused, the reader stands on the selected page.
        TControl* focus = Form2->Focused();
        if (!focus) focus = Form2->TabControl1->ActiveTab();
        shouldBeHeard = &focus->Accessible();
    });
    CloseAt(at + 600);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());

    EXPECT_EQ(focused, c.focused);
    EXPECT_EQ(engineCalls, c.engineCalls);
    EXPECT_EQ(engineHasKeys, c.engineHasKeys);
    EXPECT_EQ(page, c.page);
    EXPECT_EQ(heard, shouldBeHeard) << "a screen reader last heard another focus";
    EXPECT_EQ(displayShown, page == 1);
    if (focused == "WebBrowser1") {
        EXPECT_EQ(displayBounds, (platform::RectI{2, 30, 366, 478})) << "inside the focus frame";
    } else if (displayShown) {
        EXPECT_EQ(displayBounds, (platform::RectI{0, 28, 368, 480})) << "over the whole view";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FocusSession, ::testing::ValuesIn(kFocusCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Where the engine shows no mark of its own (the page itself has the keys),
// the view draws the frame in the focus colour around its display, and only
// while it has the focus.
TEST_F(SessionFixture, TheFocusFrameIsDrawnAroundThePageWhileTheViewHasTheFocus) {
    auto frames = [this] {
        int count = 0;
        for (const headless::CanvasOp& op : host.LastPaint(Window())->Ops())
            if (op.kind == headless::CanvasOp::Kind::StrokeRect && op.color == theme::FocusRing &&
                op.rect == RectF{1, 29, 367, 479} && op.lineWidth == theme::FocusFrameWidth)
                ++count;
        return count;
    };
    std::vector<int> seen;
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    At(500, [&] { seen.push_back(frames()); });
    At(510, [&] { host.Key(Key::Tab); });
    At(520, [&] { seen.push_back(frames()); });
    At(530, [&] { PressHeader(1); });
    At(540, [&] { seen.push_back(frames()); });
    CloseAt(600);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 0}));
}

}  // namespace
}  // namespace velmora::session_test
