// The headless backend is the clock and the queue every other test relies
// on; these pin down its timing and geometry rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/headless/HeadlessPlatform.h"

namespace velmora::testing {
namespace {

using headless::HeadlessDeadlock;
using headless::HeadlessPlatform;
using platform::Message;
using platform::MessageKind;

// Dispatches what is waiting and returns the order in which callbacks ran.
struct Recorder {
    std::vector<std::string> events;
    std::function<void()> Note(std::string name) {
        return [this, name] { events.push_back(name); };
    }
};

TEST(HeadlessClock, TimersFireInDueOrderAndRepeatingOnesReArm) {
    HeadlessPlatform p;
    Recorder r;
    p.CreateTimer(30, false, r.Note("once@30"));
    p.CreateTimer(20, true, r.Note("every20"));
    p.At(25, r.Note("step@25"));
    p.RunFor(65);
    EXPECT_EQ(r.events, (std::vector<std::string>{"every20", "step@25", "once@30", "every20", "every20"}));
    EXPECT_EQ(p.NowMicroseconds(), 65000u);
    EXPECT_EQ(p.LiveTimerCount(), 1u);  // the one-shot is spent
}

TEST(HeadlessClock, UndispatchedTimerMessagesCoalesce) {
    HeadlessPlatform p;
    int fired = 0;
    p.CreateTimer(10, true, [&] { ++fired; });
    p.Advance(1000);
    EXPECT_EQ(p.QueueSize(), 1u);
    p.DispatchPending();
    EXPECT_EQ(fired, 1);
}

TEST(HeadlessClock, KilledTimerNeverFiresEvenWithItsMessageWaiting) {
    HeadlessPlatform p;
    int fired = 0;
    auto t = p.CreateTimer(10, true, [&] { ++fired; });
    p.Advance(10);
    p.KillTimer(t);
    p.DispatchPending();
    p.Advance(100);
    p.DispatchPending();
    EXPECT_EQ(fired, 0);
}

TEST(HeadlessClock, WaitMessageJumpsToTheNextEventAndCounterFollows) {
    HeadlessPlatform p;
    p.CreateTimer(100, false, [] {});
    std::uint64_t before = p.HighResolutionCounter();
    p.WaitMessage();
    EXPECT_EQ(p.HighResolutionCounter() - before, 100u * p.HighResolutionFrequency() / 1000u);
    Message m;
    ASSERT_TRUE(p.PeekMessage(m));
    EXPECT_EQ(m.kind, MessageKind::Timer);
}

TEST(HeadlessClock, WaitWithNothingScheduledReportsDeadlockInsteadOfHanging) {
    HeadlessPlatform p;
    EXPECT_THROW(p.WaitMessage(), HeadlessDeadlock);
    EXPECT_TRUE(p.Deadlocked());
    EXPECT_TRUE(p.QuitPosted());
}

TEST(HeadlessClock, YieldMakesABusyWaitProgress) {
    HeadlessPlatform p;
    bool done = false;
    p.CreateTimer(300, false, [&] { done = true; });
    int spins = 0;
    while (!done && spins < 1000) {
        p.DispatchPending();
        p.YieldProcessor();
        ++spins;
    }
    EXPECT_TRUE(done);
    EXPECT_LT(spins, 5);
}

TEST(HeadlessWindows, FormWindowGeometryFollowsTheFrame) {
    HeadlessPlatform p;
    p.DefaultPosition = {120, 80};
    p.WindowFrame = {8, 31, 8, 8};
    platform::WindowCreateParams params;
    auto w = p.CreateNativeWindow(params, nullptr);
    EXPECT_FALSE(p.IsWindowVisible(w));
    EXPECT_EQ(p.GetWindowBounds(w).left, 120);
    EXPECT_EQ(p.GetWindowBounds(w).top, 80);
    p.SetClientSize(w, {368, 480});
    EXPECT_EQ(p.GetClientSize(w), (platform::SizeI{368, 480}));
    EXPECT_EQ(p.GetWindowBounds(w), (platform::RectI{120, 80, 120 + 384, 80 + 519}));

    params.kind = platform::WindowKind::Application;
    auto app = p.CreateNativeWindow(params, nullptr);
    EXPECT_EQ(p.GetWindowBounds(app), (platform::RectI{0, 0, 0, 0}));
}

struct MoveCounter : platform::IWindowEvents {
    std::vector<MessageKind> seen;
    int paints = 0;
    void OnMessage(const Message& m) override { seen.push_back(m.kind); }
    void OnPaint(platform::ICanvas&) override { ++paints; }
};

TEST(HeadlessWindows, MovesAreNotifiedAtOncePaintsOnlyWhenIdleAndOnce) {
    HeadlessPlatform p;
    MoveCounter events;
    auto w = p.CreateNativeWindow({}, &events);
    p.SetWindowBounds(w, {10, 10, 300, 300});
    EXPECT_EQ(events.seen, (std::vector<MessageKind>{MessageKind::Moved}));

    p.ShowWindow(w);
    p.InvalidateWindow(w);
    p.CloseRequest(w);
    Message m;
    ASSERT_TRUE(p.PeekMessage(m));
    EXPECT_EQ(m.kind, MessageKind::Close);  // posted input first, paint after
    ASSERT_TRUE(p.PeekMessage(m));
    EXPECT_EQ(m.kind, MessageKind::Paint);
    p.DispatchMessage(m);
    EXPECT_FALSE(p.PeekMessage(m));
    EXPECT_EQ(events.paints, 1);
    ASSERT_NE(p.LastPaint(w), nullptr);
}

TEST(HeadlessWindows, DpiChangeUpdatesTheWindowAndPostsTheNotification) {
    HeadlessPlatform p;
    MoveCounter events;
    auto w = p.CreateNativeWindow({}, &events);
    p.ChangeDpi(w, 144);
    EXPECT_EQ(p.GetWindowDpi(w), 144);
    Message m;
    ASSERT_TRUE(p.PeekMessage(m));
    EXPECT_EQ(m.kind, MessageKind::DpiChanged);
    EXPECT_EQ(m.dpi, 144);
}

TEST(HeadlessWindows, ChildWindowPlacementIsLoggedAndHonoursTheFlags) {
    HeadlessPlatform p;
    auto parent = p.CreateNativeWindow({}, nullptr);
    auto child = p.CreateChildWindow(parent);
    p.SetWindowPos(child, {0, 28, 368, 480}, platform::PosMoveSize);
    p.SetWindowPos(child, {}, platform::PosShow);
    EXPECT_EQ(p.Window(child)->bounds, (platform::RectI{0, 28, 368, 480}));
    EXPECT_TRUE(p.Window(child)->visible);
    ASSERT_EQ(p.CallLog().size(), 2u);
    EXPECT_EQ(p.CallLog()[0], "SetWindowPos(" + std::to_string(child) + ", 0, 28, 368, 452, 0x14)");
    EXPECT_EQ(p.CallLog()[1], "SetWindowPos(" + std::to_string(child) + ", 0, 0, 0, 0, 0x57)");
    p.DestroyNativeWindow(parent);
    EXPECT_EQ(p.Window(child)->destroyed, true);
}

TEST(HeadlessWindows, MessageBoxesAreRecordedAndAnswered) {
    HeadlessPlatform p;
    platform::MessageBoxRequest box{7, "Error", "Boom.", platform::MessageBoxIcon::Error,
                                    platform::MessageBoxButtons::Ok, false};
    EXPECT_EQ(p.ShowMessageBox(box), platform::MessageBoxResult::Ok);
    ASSERT_EQ(p.MessageBoxes().size(), 1u);
    EXPECT_EQ(p.MessageBoxes()[0].owner, 7u);
    EXPECT_EQ(p.MessageBoxes()[0].text, "Boom.");
}

TEST(RecordingCanvasMetrics, WrapsBetweenWordsAndMeasuresByCharacter) {
    headless::RecordingCanvas c;
    platform::FontSpec font;
    // Cyrillic letters are two bytes each but count as one character.
    EXPECT_EQ(c.MeasureText("Оглавление", font, 0, 0).width, 70);
    auto wrapped = c.MeasureText("aaaa bbbb cccc", font, 70, platform::TextWordWrap);
    EXPECT_EQ(wrapped.width, 63);
    EXPECT_EQ(wrapped.height, 32);
    EXPECT_EQ(headless::RecordingCanvas::WrapLines("aaaa bbbb cccc", font, 70, platform::TextWordWrap),
              (std::vector<std::string>{"aaaa bbbb", "cccc"}));
}

TEST(RecordingCanvasMetrics, RecordsOperationsInTranslatedCoordinatesWithTheClip) {
    headless::RecordingCanvas c;
    c.Save();
    c.Translate(10, 20);
    c.ClipRect({0, 0, 50, 50});
    c.FillRect({5, 5, 15, 15}, 0xFF112233);
    c.Restore();
    c.FillRect({0, 0, 1, 1}, 0xFF000000);
    const auto& ops = c.Ops();
    ASSERT_EQ(ops.size(), 6u);
    EXPECT_EQ(ops[3].ToString(), "FillRect(15,25,25,35 #FF112233)");
    EXPECT_EQ(ops[3].clip, (platform::RectF{10, 20, 60, 70}));
    EXPECT_EQ(ops[5].ToString(), "FillRect(0,0,1,1 #FF000000)");
}

}  // namespace
}  // namespace velmora::testing
