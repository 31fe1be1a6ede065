// The reader as a user meets it: the real program on the headless backend,
// driven by clicks at client pixels, keys and the virtual clock, checked by
// what the engine was asked to do and what the window shows.
#include "SessionFixture.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <regex>

namespace velmora::session_test {
namespace {

// Where the incoming page stands k steps of 10 ms into a leftward slide of
// one page width (368 units) over 0.3 s.
int IncomingLeftAtStep(int k) { return static_cast<int>(std::lround(368.0 - 368.0 * k / 30.0)); }

bool IsPlacementLine(const std::string& line) {
    return line.starts_with("WebEngine.GetVisible()") || line.starts_with("WebEngine.PutVisible(") ||
           line.starts_with("WebEngine.DoVerb(") || line.starts_with("SetWindowPos(") ||
           line.starts_with("SetParentWindow(");
}

// The log as a list of observable steps: each placement of the display
// (engine visibility, move, show or hide) is one group, and a placement that
// puts the display exactly where the previous one left it, without touching
// the engine's visibility, is dropped, since nobody can see it. The main
// window's handle in the activation line is replaced by "main".
std::vector<std::string> Observable(const std::vector<std::string>& log, platform::WindowHandle main) {
    std::vector<std::string> out;
    std::vector<std::string> lastMoves;
    std::size_t i = 0;
    while (i < log.size()) {
        if (!IsPlacementLine(log[i])) {
            std::string line = log[i++];
            const std::string activate = "WebEngine.InPlaceActivate(" + std::to_string(main) + ",";
            if (line.starts_with(activate)) line = "WebEngine.InPlaceActivate(main)";
            out.push_back(line);
            continue;
        }
        std::vector<std::string> group;
        std::vector<std::string> moves;
        bool engineChanged = false;
        // A group starts at the visibility query and takes what follows it.
        do {
            const std::string& line = log[i];
            if (line.starts_with("WebEngine.PutVisible(") || line.starts_with("WebEngine.DoVerb(")) engineChanged = true;
            if (line.starts_with("SetWindowPos(") || line.starts_with("SetParentWindow(")) moves.push_back(line);
            group.push_back(line);
            ++i;
        } while (i < log.size() && IsPlacementLine(log[i]) && !log[i].starts_with("WebEngine.GetVisible()"));
        if (!engineChanged && moves == lastMoves) continue;
        lastMoves = moves;
        out.insert(out.end(), group.begin(), group.end());
    }
    return out;
}

class SessionTest : public SessionFixture {
public:
    // Handles of the main window and the engine's display, taken once the
    // loop runs.
    void RememberHandles() {
        At(10, [this] {
            main = Window();
            ASSERT_NE(Form2->WebBrowser1->Binding(), nullptr);
            display = Form2->WebBrowser1->Binding()->Display();
        });
    }

    const headless::WindowState& Display() const { return *host.Window(display); }
    bool DisplayShown() const { return Display().visible; }
    TTabItemContent& Content(int page) { return Form2->TabControl1->Tabs(page)->Content(); }

    platform::WindowHandle main = 0;
    platform::WindowHandle display = 0;
};

// ---------------------------------------------------------------------------
// A whole session, call by call.

TEST_F(SessionTest, ChapterBackAndTheSameChapterAgainAsTheEngineAndTheDisplaySeeIt) {
    RememberHandles();
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    std::optional<platform::RectI> afterSlide;
    At(600, [&] { afterSlide = Display().bounds; });
    At(1000, [&] { PressHeader(0); });
    At(1500, [&] { Click(PointOf(&TForm2::Button3)); });
    CloseAt(3000);

    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
    ASSERT_NE(display, 0u);
    ASSERT_TRUE(afterSlide);
    EXPECT_EQ(*afterSlide, (platform::RectI{0, 28, 368, 480})) << "exactly over the view at 96 DPI";

    const std::string d = std::to_string(display);
    std::vector<std::string> expected;
    auto add = [&](std::initializer_list<std::string> lines) { expected.insert(expected.end(), lines); };
    auto hide = [&] {
        add({"WebEngine.GetVisible() = true", "WebEngine.PutVisible(false)", "WebEngine.DoVerb(Hide)",
             "SetWindowPos(" + d + ", 0, 0, 0, 0, 0x97)"});
    };
    auto moveTo = [&](int left) {
        return "SetWindowPos(" + d + ", " + std::to_string(left) + ", 28, 368, 452, 0x14)";
    };
    const std::string showFlags = "SetWindowPos(" + d + ", 0, 0, 0, 0, 0x57)";
    // The load goes out while the display is still hidden; the display then
    // appears one page width to the right (outside the window, which clips
    // it) and rides along with the incoming page, one placement per frame,
    // until it lies over the view.
    auto chapterSlide = [&](int chapter) {
        add({ChapterLoad(chapter)});
        add({"WebEngine.GetVisible() = false", "WebEngine.PutVisible(true)", "WebEngine.DoVerb(Show)", moveTo(368),
             showFlags});
        for (int k = 1; k <= 30; ++k) add({"WebEngine.GetVisible() = true", moveTo(IncomingLeftAtStep(k)), showFlags});
    };

    // Start-up: the engine is made, silenced, activated in place inside the
    // main window, given the empty address, and hidden with its page.
    add({"WebEngine.Create", "WebEngine.Initialize", "WebEngine.PutSilent(true)", "WebEngine.InPlaceActivate(main)",
         "WebEngine.DisplayWindow() = " + d, kEmptyLoad});
    hide();
    chapterSlide(3);
    // Back by the header: hidden at once, nothing loaded.
    hide();
    // The same chapter again is a new load.
    chapterSlide(3);
    // The engine goes last, when the window is torn down.
    add({"WebEngine.Close"});

    EXPECT_EQ(Observable(Log(), main), expected);
}

TEST_F(SessionTest, TheDisplayNeverShowsOverTheOutgoingPage) {
    // Whatever the direction of travel, every placement that shows the
    // display during the slide puts it on the incoming side of the page's
    // left edge, and the first one one whole page width away.
    RememberHandles();
    At(100, [&] { Click(PointOf(&TForm2::Button1)); });
    CloseAt(1000);
    EXPECT_EQ(RunProgram(), 0);
    const std::regex move("SetWindowPos\\(" + std::to_string(display) + ", (-?\\d+), (-?\\d+), \\d+, \\d+, 0x14\\)");
    std::vector<int> lefts;
    for (const std::string& line : Log()) {
        std::smatch m;
        if (std::regex_match(line, m, move)) lefts.push_back(std::stoi(m[1]));
    }
    ASSERT_FALSE(lefts.empty());
    EXPECT_EQ(lefts.front(), 368);
    EXPECT_TRUE(std::is_sorted(lefts.rbegin(), lefts.rend())) << "only ever leftwards";
    EXPECT_EQ(lefts.back(), 0);
}

// ---------------------------------------------------------------------------
// The push-button behaviour of the chapter buttons.

class ChapterButtonInput;

struct InputCase {
    const char* name;
    std::function<void(ChapterButtonInput&)> input;  // played at 100 ms, Button2 the target
    std::vector<int> loads;
};
void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }


// Steps at 100 ms and after; the slide (if any) is over by 1000 ms.
class ChapterButtonInput : public SessionTest, public ::testing::WithParamInterface<InputCase> {
public:
    void PlayLater(double ms, std::function<void()> step) { At(ms, std::move(step)); }
    HeadlessPlatform& Host() { return host; }
    PointI Inside() const { return PointOf(&TForm2::Button2); }
    // Off the button, on the page's empty area below the four buttons.
    PointI Outside() const { return PointOf(Form2->TabItem1->Content(), 0.5f, 0.9f); }
    void FocusButton2ByTab() {
        host.Key(Key::Tab);
        host.Key(Key::Tab);
    }
};

TEST_P(ChapterButtonInput, ChoosesTheChapterOnlyWhereAPushButtonWould) {
    const InputCase& c = GetParam();
    At(100, [&] { c.input(*this); });
    int tabAfter = -1;
    At(1000, [&] { tabAfter = Form2->TabControl1->TabIndex(); });
    CloseAt(1100);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(ChapterLoads(), c.loads);
    EXPECT_EQ(tabAfter, c.loads.empty() ? 0 : 1) << "a chosen chapter slides to the reader";
}

using S = ChapterButtonInput;
const InputCase kInputCases[] = {
    {"ReleaseInside", [](S& t) { t.Click(t.Inside()); }, {2}},
    {"ReleaseOutside",
     [](S& t) {
         const PointI in = t.Inside(), out = t.Outside();
         t.Host().Press(t.Window(), in.x, in.y);
         t.Host().Move(t.Window(), out.x, out.y);
         t.Host().Release(t.Window(), out.x, out.y);
     },
     {}},
    {"ReleaseOverAnotherChapterButton",
     [](S& t) {
         const PointI in = t.Inside(), other = t.PointOf(&TForm2::Button3);
         t.Host().Press(t.Window(), in.x, in.y);
         t.Host().Move(t.Window(), other.x, other.y);
         t.Host().Release(t.Window(), other.x, other.y);
     },
     {}},
    {"LeaveAndComeBackWhileHeld",
     [](S& t) {
         const PointI in = t.Inside(), out = t.Outside();
         t.Host().Press(t.Window(), in.x, in.y);
         t.Host().Move(t.Window(), out.x, out.y);
         t.Host().Move(t.Window(), in.x + 3, in.y + 2);
         t.Host().Release(t.Window(), in.x + 3, in.y + 2);
     },
     {2}},
    {"PressElsewhereReleaseInside",
     [](S& t) {
         const PointI in = t.Inside(), out = t.Outside();
         t.Host().Press(t.Window(), out.x, out.y);
         t.Host().Move(t.Window(), in.x, in.y);
         t.Host().Release(t.Window(), in.x, in.y);
     },
     {}},
    {"RightButton", [](S& t) { t.Host().Click(t.Window(), t.Inside().x, t.Inside().y, platform::MouseButton::Right); },
     {}},
    {"MiddleButton",
     [](S& t) { t.Host().Click(t.Window(), t.Inside().x, t.Inside().y, platform::MouseButton::Middle); }, {}},
    // The first click chooses and starts the slide; the second press lands
    // on the button while it slides out and chooses again at once.
    {"DoubleClick", [](S& t) { t.Host().DoubleClick(t.Window(), t.Inside().x, t.Inside().y); }, {2, 2}},
    {"SecondPressOfADoubleClickActsOnThePress",
     [](S& t) {
         t.Host().Press(t.Window(), t.Inside().x, t.Inside().y, platform::MouseButton::Left, platform::ShiftNone, 2);
         // Chosen on the press: loaded and slid over before the release.
         t.PlayLater(650, [&t] {
             EXPECT_EQ(t.ChapterLoads(), std::vector<int>{2});
             EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
         });
         // The release comes well after the slide: it must choose nothing.
         t.PlayLater(700, [&t] { t.Host().Release(t.Window(), t.Inside().x, t.Inside().y); });
     },
     {2}},
    {"Enter",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Enter);
     },
     {2}},
    {"Space",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Space);
     },
     {2}},
    {"ShiftEnter",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Enter, platform::ShiftShift);
     },
     {}},
    {"CtrlEnter",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Enter, platform::ShiftCtrl);
     },
     {}},
    {"AltEnter",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Enter, platform::ShiftAlt);
     },
     {}},
    {"ShiftSpace",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Space, platform::ShiftShift);
     },
     {}},
    {"CtrlSpace",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Space, platform::ShiftCtrl);
     },
     {}},
    {"AltSpace",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().Key(Key::Space, platform::ShiftAlt);
     },
     {}},
    // Repeats after the slide find the button gone with its page.
    {"EnterHeldPastTheSlide",
     [](S& t) {
         t.FocusButton2ByTab();
         t.Host().KeyDown(Key::Enter);
         t.PlayLater(600, [&t] { t.Host().KeyDown(Key::Enter); });
         t.PlayLater(650, [&t] { t.Host().KeyDown(Key::Enter); });
     },
     {2}},
    {"EnterWithNothingFocused", [](S& t) { t.Host().Key(Key::Enter); }, {}},
    // A press that ends outside still focuses the button: Enter then chooses.
    {"PressFocusesEvenWithoutAClick",
     [](S& t) {
         const PointI in = t.Inside(), out = t.Outside();
         t.Host().Press(t.Window(), in.x, in.y);
         t.Host().Move(t.Window(), out.x, out.y);
         t.Host().Release(t.Window(), out.x, out.y);
         t.Host().Key(Key::Enter);
     },
     {2}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ChapterButtonInput, ::testing::ValuesIn(kInputCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, TabAndShiftTabCycleOverTheFourChapterButtonsOnly) {
    std::vector<std::string> forward, backward;
    auto name = [] { return Form2->Focused() ? Form2->Focused()->Name() : std::string("(none)"); };
    for (int i = 0; i < 5; ++i) {
        At(100 + 10 * i, [&] { host.Key(Key::Tab); });
        At(105 + 10 * i, [&] { forward.push_back(name()); });
    }
    At(200, [&] { Form2->SetFocused(nullptr); });
    for (int i = 0; i < 5; ++i) {
        At(300 + 10 * i, [&] { host.Key(Key::Tab, platform::ShiftShift); });
        At(305 + 10 * i, [&] { backward.push_back(name()); });
    }
    CloseAt(500);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(forward, (std::vector<std::string>{"Button1", "Button2", "Button3", "Button4", "Button1"}));
    EXPECT_EQ(backward, (std::vector<std::string>{"Button4", "Button3", "Button2", "Button1", "Button4"}));
    EXPECT_TRUE(ChapterLoads().empty());
}

// ---------------------------------------------------------------------------
// Input that arrives while a chapter's slide runs.

class ChapterDuringASlide;

struct ReentrantCase {
    const char* name;
    int first;  // chapter clicked at 100 ms
    // Played at 150 ms, inside the slide (which runs from 100 to 400 ms).
    std::function<void(ChapterDuringASlide&)> during;
    std::vector<int> loads;
};
void PrintTo(const ReentrantCase& c, std::ostream* os) { *os << c.name; }


class ChapterDuringASlide : public SessionTest, public ::testing::WithParamInterface<ReentrantCase> {
public:
    HeadlessPlatform& Host() { return host; }
};

TEST_P(ChapterDuringASlide, RunsInsideTheSlideAndTheLastChosenChapterLoads) {
    const ReentrantCase& c = GetParam();
    RememberHandles();
    At(100, [&] { Click(PointOf(kChapterButtons[c.first - 1])); });
    bool slidingWhenPlayed = false;
    At(150, [&] {
        slidingWhenPlayed = Form2->TabControl1->IsTransitionRunning();
        c.during(*this);
    });
    std::size_t logAtSlideEnd = 0;
    int tabAtSlideEnd = -1;
    bool runningAtSlideEnd = true, readerShown = false, contentsShown = true, displayShown = false;
    platform::RectI displayBounds;
    std::string url;
    At(401, [&] {
        logAtSlideEnd = Log().size();
        tabAtSlideEnd = Form2->TabControl1->TabIndex();
        runningAtSlideEnd = Form2->TabControl1->IsTransitionRunning();
        readerShown = Content(1).Visible();
        contentsShown = Content(0).Visible();
        displayShown = DisplayShown();
        displayBounds = Display().bounds;
        url = Form2->WebBrowser1->StoredURL();
    });
    CloseAt(1000);

    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_TRUE(slidingWhenPlayed);
    EXPECT_EQ(ChapterLoads(), c.loads);
    // The handler's own Next was refused: one slide, over on time, on the reader.
    EXPECT_FALSE(runningAtSlideEnd);
    EXPECT_EQ(tabAtSlideEnd, 1);
    EXPECT_TRUE(readerShown);
    EXPECT_FALSE(contentsShown);
    EXPECT_TRUE(displayShown);
    EXPECT_EQ(displayBounds, (platform::RectI{0, 28, 368, 480}));
    EXPECT_EQ(url, ChapterAddress(c.loads.back()));
    EXPECT_EQ(Log().size(), logAtSlideEnd + 1) << "after the slide only the engine's closing follows";

    // The re-entrant load went out while the display was still on its way.
    const auto log = Log();
    const auto lastLoad = std::find(log.rbegin(), log.rend(), ChapterLoad(c.loads.back())).base();
    const std::regex moving("SetWindowPos\\(" + std::to_string(display) + ", [1-9]\\d*, 28, 368, 452, 0x14\\)");
    EXPECT_TRUE(std::any_of(lastLoad, log.end(), [&](const std::string& l) { return std::regex_match(l, moving); }));
}

using R = ChapterDuringASlide;
const ReentrantCase kReentrantCases[] = {
    // The outgoing page still lies under the pointer, 50 ms into the slide.
    {"AnotherButtonClickedOnTheOutgoingPage", 3,
     [](R& t) { t.Click(t.PointOf(&TForm2::Button2)); }, {3, 2}},
    {"SecondPressOfADoubleClick", 1,
     [](R& t) {
         const PointI p = t.PointOf(&TForm2::Button1);
         t.Host().Press(t.Window(), p.x, p.y, platform::MouseButton::Left, platform::ShiftNone, 2);
         t.Host().Release(t.Window(), p.x, p.y);
     },
     {1, 1}},
    {"KeyRepeatOfEnter", 3, [](R& t) { t.Host().KeyDown(Key::Enter); }, {3, 3}},
    {"TabToTheNextButtonAndEnter", 3,
     [](R& t) {
         t.Host().Key(Key::Tab);
         t.Host().Key(Key::Enter);
     },
     {3, 4}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ChapterDuringASlide, ::testing::ValuesIn(kReentrantCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, ContentsHeaderPressedDuringASlideWinsWhenTheSlideEnds) {
    RememberHandles();
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    At(200, [&] { PressHeader(0); });
    int tabJustAfter = -1;
    bool runningJustAfter = false;
    bool headerFocusedJustAfter = false;
    At(205, [&] {
        tabJustAfter = Form2->TabControl1->TabIndex();
        runningJustAfter = Form2->TabControl1->IsTransitionRunning();
        headerFocusedJustAfter = Form2->Focused() == Form2->TabItem1;
    });
    At(600, [&] {
        EXPECT_FALSE(Form2->TabControl1->IsTransitionRunning());
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 0);
        EXPECT_TRUE(Content(0).Visible());
        EXPECT_FALSE(Content(1).Visible());
        EXPECT_EQ(Content(0).BoundsRect(), (RectF{0, 28, 368, 480}));
        EXPECT_FALSE(DisplayShown());
        EXPECT_FALSE(headless::HeadlessWebEngine::Latest()->Visible());
        EXPECT_EQ(Form2->WebBrowser1->StoredURL(), ChapterAddress(3));
        EXPECT_EQ(Form2->Focused(), Form2->TabItem1) << "the pressed header keeps the focus";
    });
    // The reader by the keys: the chapter is still there, nothing loads.
    At(700, [&] { host.Key(Key::Right); });
    At(750, [&] {
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
        EXPECT_TRUE(DisplayShown());
        EXPECT_EQ(Display().bounds, (platform::RectI{0, 28, 368, 480}));
    });
    CloseAt(1000);

    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(tabJustAfter, 0) << "on the press, not at the end of the slide";
    EXPECT_TRUE(runningJustAfter) << "the slide runs on";
    EXPECT_TRUE(headerFocusedJustAfter);
    EXPECT_EQ(ChapterLoads(), std::vector<int>{3});
    EXPECT_TRUE(host.MessageBoxes().empty());
}

// Page input while the slide of chapter 3 runs; the chapter button that was
// clicked still has the focus (its page is still visible, sliding out).
class PageInputDuringASlide;

struct PageInputCase {
    const char* name;
    std::function<void(PageInputDuringASlide&)> input;  // at 200 ms
    int tabAtOnce;                                      // at 205 ms, the slide still running
    int tabAfter;                                       // once the slide is over
};
void PrintTo(const PageInputCase& c, std::ostream* os) { *os << c.name; }


class PageInputDuringASlide : public SessionTest, public ::testing::WithParamInterface<PageInputCase> {};

TEST_P(PageInputDuringASlide, ChangesThePageAtOnceOrNotAtAllAndTheSlideRunsOn) {
    const PageInputCase& c = GetParam();
    RememberHandles();
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    At(200, [&] { c.input(*this); });
    int tabAtOnce = -1;
    bool runningAtOnce = false;
    At(205, [&] {
        tabAtOnce = Form2->TabControl1->TabIndex();
        runningAtOnce = Form2->TabControl1->IsTransitionRunning();
    });
    At(600, [&] {
        EXPECT_FALSE(Form2->TabControl1->IsTransitionRunning());
        EXPECT_EQ(Form2->TabControl1->TabIndex(), c.tabAfter);
        EXPECT_EQ(Content(0).Visible(), c.tabAfter == 0);
        EXPECT_EQ(Content(1).Visible(), c.tabAfter == 1);
        EXPECT_EQ(Content(c.tabAfter).BoundsRect(), (RectF{0, 28, 368, 480}));
        EXPECT_EQ(DisplayShown(), c.tabAfter == 1);
        EXPECT_EQ(Form2->WebBrowser1->StoredURL(), ChapterAddress(3));
    });
    CloseAt(1000);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(tabAtOnce, c.tabAtOnce);
    EXPECT_TRUE(runningAtOnce) << "the slide runs on to its end";
    EXPECT_EQ(ChapterLoads(), std::vector<int>{3});
}

using P = PageInputDuringASlide;
const PageInputCase kPageInputCases[] = {
    {"ContentsHeaderPressed", [](P& t) { t.PressHeader(0); }, 0, 0},
    {"CtrlTab", [](P& t) { t.host.Key(Key::Tab, platform::ShiftCtrl); }, 0, 0},
    {"CtrlShiftTab", [](P& t) { t.host.Key(Key::Tab, platform::ShiftCtrl | platform::ShiftShift); }, 0, 0},
    // Arrows act only for a focused header, and not while a slide runs.
    {"LeftWithTheChapterButtonFocused", [](P& t) { t.host.Key(Key::Left); }, 1, 1},
    {"ReaderHeaderPressedThenLeft",
     [](P& t) {
         t.PressHeader(1);
         t.host.Key(Key::Left);
     },
     1, 1},
    {"WheelOverTheHeaders",
     [](P& t) {
         const PointI p = t.HeaderOf(0);
         t.host.Wheel(t.Window(), p.x, p.y, -120);
     },
     1, 1},
    {"RightButtonOnTheContentsHeader",
     [](P& t) {
         const PointI p = t.HeaderOf(0);
         t.host.Click(t.Window(), p.x, p.y, platform::MouseButton::Right);
     },
     1, 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, PageInputDuringASlide, ::testing::ValuesIn(kPageInputCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, AfterAChapterSlideThePageKeysWaitForAFocusedControl) {
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    At(500, [&] {
        EXPECT_EQ(Form2->Focused(), nullptr) << "the chapter button went out of sight with its page";
        host.Key(Key::Left);
        host.Key(Key::Right);
        host.Key(Key::Tab, platform::ShiftCtrl);
        host.Key(Key::Tab, platform::ShiftCtrl | platform::ShiftShift);
    });
    At(550, [&] { EXPECT_EQ(Form2->TabControl1->TabIndex(), 1) << "no page key acted"; });
    // Tab reaches into the reader page only; from there Ctrl+Tab switches.
    At(600, [&] { host.Key(Key::Tab); });
    At(610, [&] {
        EXPECT_EQ(Form2->Focused(), Form2->WebBrowser1);
        host.Key(Key::Tab, platform::ShiftCtrl);
    });
    At(620, [&] {
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 0);
        EXPECT_EQ(Form2->Focused(), Form2->TabItem1);
        // With a header focused the arrows work too.
        host.Key(Key::Right);
    });
    At(630, [&] { EXPECT_EQ(Form2->TabControl1->TabIndex(), 1); });
    CloseAt(700);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(ChapterLoads(), std::vector<int>{3});
}

TEST_F(SessionTest, AClickIntoThePageThenTheKeyboardAloneLeadsToTheNextChapter) {
    RememberHandles();
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    At(500, [&] { headless::HeadlessWebEngine::Latest()->FireMouseActivate(); });
    At(510, [&] {
        EXPECT_EQ(Form2->Focused(), Form2->WebBrowser1);
        host.Key(Key::Tab, platform::ShiftCtrl);
    });
    At(520, [&] {
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 0);
        EXPECT_FALSE(DisplayShown());
        EXPECT_EQ(Form2->Focused(), Form2->TabItem1);
        host.Key(Key::Tab);
    });
    At(530, [&] {
        EXPECT_EQ(Form2->Focused(), Form2->Button1);
        host.Key(Key::Enter);
    });
    At(1000, [&] {
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
        EXPECT_TRUE(DisplayShown());
    });
    CloseAt(1100);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(ChapterLoads(), (std::vector<int>{3, 1}));
    EXPECT_TRUE(host.MessageBoxes().empty());
}

class SessionAtDpi : public SessionTest, public ::testing::WithParamInterface<int> {};

TEST_P(SessionAtDpi, ClicksLandInUnitsAndTheDisplayEndsOverTheViewInDevicePixels) {
    const int dpi = GetParam();
    host.DefaultDpi = dpi;
    RememberHandles();
    At(100, [&] { Click(PointOf(&TForm2::Button4)); });
    platform::RectI bounds;
    platform::SizeI client;
    At(600, [&] {
        bounds = Display().bounds;
        client = host.GetClientSize(Window());
    });
    CloseAt(700);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(ChapterLoads(), std::vector<int>{4});
    // The view fills the client area below the 28-unit header strip.
    const int top = static_cast<int>(std::nearbyint(28.0 * dpi / 96.0));
    EXPECT_EQ(bounds, (platform::RectI{0, top, client.width, client.height}));
}

INSTANTIATE_TEST_SUITE_P(Dpis, SessionAtDpi, ::testing::Values(96, 120, 144, 168));

// ---------------------------------------------------------------------------
// An engine that refuses the load.

struct RefusalCase {
    const char* name;
    std::string description;
    std::string shown;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }


class RefusedLoad : public SessionTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedLoad, TheErrorIsShownTheContentsStayAndALaterChapterWorks) {
    const RefusalCase& c = GetParam();
    RememberHandles();
    platform::EngineResult refusal;
    refusal.ok = false;
    refusal.code = static_cast<std::int32_t>(0x80070005u);
    refusal.description = c.description;
    At(50, [&] { headless::HeadlessWebEngine::Latest()->Faults().navigateRefusal = refusal; });
    At(100, [&] { Click(PointOf(&TForm2::Button1)); });
    std::size_t boxesDuring = 0;
    At(150, [&] {
        boxesDuring = host.MessageBoxes().size();
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 0);
        EXPECT_FALSE(Form2->TabControl1->IsTransitionRunning());
        EXPECT_TRUE(Content(0).Visible());
        EXPECT_FALSE(Content(1).Visible());
        EXPECT_FALSE(DisplayShown());
        // The address was stored before the engine said no.
        EXPECT_EQ(Form2->WebBrowser1->StoredURL(), ChapterAddress(1));
        headless::HeadlessWebEngine::Latest()->Faults().navigateRefusal.reset();
    });
    At(300, [&] { Click(PointOf(&TForm2::Button4)); });
    At(800, [&] {
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
        EXPECT_TRUE(DisplayShown());
    });
    CloseAt(1000);

    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(boxesDuring, 1u);
    const auto errors = Boxes("Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, c.shown);
    EXPECT_EQ(errors[0].icon, platform::MessageBoxIcon::Error);
    EXPECT_EQ(errors[0].buttons, platform::MessageBoxButtons::Ok);
    EXPECT_EQ(errors[0].owner, main);
    EXPECT_EQ(host.MessageBoxes().size(), 1u);
    // The refused request reached the engine; no slide came of it.
    EXPECT_EQ(Loads(), (std::vector<std::string>{kEmptyLoad, ChapterLoad(1), ChapterLoad(4)}));
    const auto log = Log();
    const auto refused = std::find(log.begin(), log.end(), ChapterLoad(1));
    const auto later = std::find(log.begin(), log.end(), ChapterLoad(4));
    EXPECT_TRUE(std::none_of(refused, later, [](const std::string& l) { return l == "WebEngine.DoVerb(Show)"; }));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedLoad,
    ::testing::Values(RefusalCase{"EndsInALetter", "Access is denied", "Access is denied."},
                      RefusalCase{"EndsInAFullStop", "Доступ запрещён.", "Доступ запрещён."},
                      RefusalCase{"EndsInAQuestionMark", "Offline?", "Offline?."},
                      RefusalCase{"NoDescription", "", "The web engine failed with error code 0x80070005."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, ARefusedLoadInsideASlideShowsTheErrorAndTheSlideRunsOn) {
    RememberHandles();
    platform::EngineResult refusal;
    refusal.ok = false;
    refusal.code = static_cast<std::int32_t>(0x80070005u);
    refusal.description = "Access is denied";
    At(100, [&] { Click(PointOf(&TForm2::Button3)); });
    At(140, [&] { headless::HeadlessWebEngine::Latest()->Faults().navigateRefusal = refusal; });
    At(150, [&] { Click(PointOf(&TForm2::Button2)); });
    std::vector<int> incomingLefts;
    At(165, [&] { incomingLefts.push_back(static_cast<int>(Content(1).Position().X())); });
    At(305, [&] { incomingLefts.push_back(static_cast<int>(Content(1).Position().X())); });
    bool runningAt300 = false;
    At(301, [&] { runningAt300 = Form2->TabControl1->IsTransitionRunning(); });
    At(500, [&] {
        EXPECT_FALSE(Form2->TabControl1->IsTransitionRunning());
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
        EXPECT_TRUE(DisplayShown());
        EXPECT_EQ(Display().bounds, (platform::RectI{0, 28, 368, 480}));
    });
    CloseAt(1000);
    EXPECT_EQ(RunProgram(), 0);
    const auto errors = Boxes("Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Access is denied.");
    EXPECT_TRUE(runningAt300) << "the other handler's error does not cut the slide short";
    EXPECT_EQ(incomingLefts, (std::vector<int>{IncomingLeftAtStep(6), IncomingLeftAtStep(20)}));
}

// ---------------------------------------------------------------------------
// The reader page by its header.

TEST_F(SessionTest, ReaderHeaderShowsTheViewAndNeverLoadsByItself) {
    RememberHandles();
    At(100, [&] { PressHeader(1); });
    At(150, [&] {
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
        EXPECT_TRUE(DisplayShown());
        EXPECT_EQ(Display().bounds, (platform::RectI{0, 28, 368, 480}));
        EXPECT_EQ(Loads(), std::vector<std::string>{kEmptyLoad}) << "no chapter chosen: only the empty address";
        EXPECT_EQ(Form2->Focused(), Form2->TabItem2);
    });
    At(200, [&] { PressHeader(0); });
    At(250, [&] { Click(PointOf(&TForm2::Button2)); });
    At(700, [&] { PressHeader(0); });
    At(750, [&] {
        EXPECT_FALSE(DisplayShown());
        PressHeader(1);
    });
    At(800, [&] {
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
        EXPECT_TRUE(DisplayShown());
        EXPECT_EQ(Display().bounds, (platform::RectI{0, 28, 368, 480}));
        EXPECT_EQ(Form2->WebBrowser1->StoredURL(), ChapterAddress(2));
    });
    CloseAt(1000);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Loads(), (std::vector<std::string>{kEmptyLoad, ChapterLoad(2)}));
    EXPECT_TRUE(host.MessageBoxes().empty());
}

}  // namespace
}  // namespace velmora::session_test
