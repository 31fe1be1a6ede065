// The shared core of the desktop and Windows backends, driven by a fake pump:
// its rules hold for every backend that supplies the hooks.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "backends/native/Lifetime.h"
#include "backends/native/NativePlatform.h"
#include "base/Exceptions.h"
#include "FakeNativePlatform.h"

namespace velmora::testing {
namespace {

using platform::Message;
using platform::MessageKind;
using platform::TimerHandle;

class NativePlatformTest : public ::testing::Test {
protected:
    // Peeks and dispatches until nothing is left.
    void DispatchAll() {
        Message message;
        while (core.PeekMessage(message)) core.DispatchMessage(message);
    }

    FakeNativePlatform core;
};

TEST_F(NativePlatformTest, InputPostsCallbacksAndQuitComeOutInTheirOrder) {
    std::vector<std::string> seen;
    core.QueueInput({.kind = MessageKind::MouseDown, .window = 7, .point = {1, 2}});
    core.QueueNative([&] { core.PostCallback([&] { seen.push_back("callback"); }); });
    core.QueueInput({.kind = MessageKind::Paint, .window = 7});
    core.QueueInput({.kind = MessageKind::KeyDown, .window = 8, .key = platform::Key::Tab});
    core.QueueNative([&] { core.PostQuitMessage(); });

    std::vector<MessageKind> kinds;
    Message message;
    for (int i = 0; i < 5; ++i) {
        core.WaitMessage();
        ASSERT_TRUE(core.PeekMessage(message));
        kinds.push_back(message.kind);
        core.DispatchMessage(message);
    }
    EXPECT_EQ(kinds, (std::vector<MessageKind>{MessageKind::MouseDown, MessageKind::Invoke, MessageKind::Paint,
                                               MessageKind::KeyDown, MessageKind::Quit}));
    EXPECT_EQ(seen, std::vector<std::string>{"callback"});
    // Window messages reach the window; a paint request repaints it.
    ASSERT_EQ(core.delivered.size(), 2u);
    EXPECT_EQ(core.delivered[0].window, 7u);
    EXPECT_EQ(core.delivered[0].point, (platform::PointI{1, 2}));
    EXPECT_EQ(core.delivered[1].key, platform::Key::Tab);
    EXPECT_EQ(core.invalidated, std::vector<platform::WindowHandle>{7});
    EXPECT_FALSE(core.PeekMessage(message));
}

TEST_F(NativePlatformTest, OneShotRunsOnceAndStopsItsNativeTimerOnce) {
    int fired = 0;
    const TimerHandle timer = core.CreateTimer(10, false, [&] { ++fired; });
    ASSERT_NE(timer, 0u);
    EXPECT_EQ(core.running.at(timer), 10u);
    core.FireNative(timer);
    DispatchAll();
    EXPECT_EQ(fired, 1);
    // The native timer was told to stop when it fired, and not again later.
    EXPECT_EQ(core.stopped, std::vector<TimerHandle>{timer});
    core.KillTimer(timer);
    EXPECT_EQ(core.stopped, std::vector<TimerHandle>{timer});
    // A late native tick of the spent timer queues nothing.
    core.FireNative(timer);
    DispatchAll();
    EXPECT_EQ(fired, 1);
}

TEST_F(NativePlatformTest, RepeatingTimerKeepsOneMessageWaitingAndCanKillItselfInItsCallback) {
    int fired = 0;
    TimerHandle timer = 0;
    timer = core.CreateTimer(5, true, [&] {
        if (++fired == 2) core.KillTimer(timer);
    });
    // Late: three ticks before the loop comes round leave one message.
    core.FireNative(timer, 3);
    core.WaitMessage();
    EXPECT_EQ(core.QueuedMessageCount(), 1u);
    DispatchAll();
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(core.IsRunning(timer));
    core.FireNative(timer);
    DispatchAll();
    EXPECT_EQ(fired, 2);
    EXPECT_FALSE(core.IsRunning(timer));
    core.FireNative(timer);
    DispatchAll();
    EXPECT_EQ(fired, 2);
}

TEST_F(NativePlatformTest, KilledTimerDoesNotRunFromAMessageAlreadyQueuedAndUnknownHandlesAreIgnored) {
    int fired = 0;
    const TimerHandle timer = core.CreateTimer(5, true, [&] { ++fired; });
    core.FireNative(timer);
    Message message;
    core.WaitMessage();
    ASSERT_TRUE(core.PeekMessage(message));
    ASSERT_EQ(message.kind, MessageKind::Timer);
    core.KillTimer(timer);
    core.DispatchMessage(message);
    EXPECT_EQ(fired, 0);

    core.stopped.clear();
    core.KillTimer(timer);      // twice
    core.KillTimer(0);          // none
    core.KillTimer(timer + 99); // never created
    EXPECT_TRUE(core.stopped.empty());
}

TEST_F(NativePlatformTest, TimerTheSystemRefusesIsNoTimer) {
    core.refuseNativeTimers = true;
    EXPECT_EQ(core.CreateTimer(10, true, [] {}), 0u);
}

TEST_F(NativePlatformTest, RefusingTimersStopsEveryLiveOneUntilLifted) {
    int fired = 0;
    const TimerHandle repeating = core.CreateTimer(5, true, [&] { ++fired; });
    const TimerHandle once = core.CreateTimer(5, false, [&] { ++fired; });
    core.FireNative(repeating);
    core.WaitMessage();  // its message is queued
    core.RefuseTimers(true);
    EXPECT_TRUE(core.running.empty());
    EXPECT_EQ(core.CreateTimer(5, true, [&] { ++fired; }), 0u);
    DispatchAll();
    EXPECT_EQ(fired, 0);
    (void)once;

    core.RefuseTimers(false);
    EXPECT_NE(core.CreateTimer(5, true, [] {}), 0u);
}

// An error raised inside a native callback (painting, the view's activation)
// must not unwind through the system; the next queue call raises it, once.
TEST_F(NativePlatformTest, ErrorKeptByTheGuardIsRaisedByTheNextQueueCallOnce) {
    const std::vector<std::pair<const char*, std::function<void(FakeNativePlatform&)>>> calls = {
        {"peek", [](FakeNativePlatform& p) { Message m; p.PeekMessage(m); }},
        {"wait", [](FakeNativePlatform& p) { p.PostQuitMessage(); p.WaitMessage(); }},
        {"dispatch", [](FakeNativePlatform& p) { p.DispatchMessage({.kind = MessageKind::Quit}); }},
    };
    for (const auto& [name, call] : calls) {
        FakeNativePlatform fresh;
        fresh.Guarded([] { throw std::runtime_error("paint failed"); });
        fresh.Guarded([] { throw std::runtime_error("later failure"); });
        try {
            call(fresh);
            ADD_FAILURE() << name << " did not raise the kept error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "paint failed") << name;  // the first one
        }
        EXPECT_NO_THROW(call(fresh)) << name;
    }
}

TEST_F(NativePlatformTest, ErrorInsideAPumpedEventStopsThePumpAndLeavesTheRestQueued) {
    core.QueueFailingCallback("draw failed");
    core.QueueInput({.kind = MessageKind::Close, .window = 1});
    Message message;
    EXPECT_THROW(core.PeekMessage(message), std::runtime_error);
    EXPECT_EQ(core.pumps, 1);
    ASSERT_TRUE(core.PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Close);

    core.QueueFailingCallback("draw failed again");
    EXPECT_THROW(core.WaitMessage(), std::runtime_error);
}

TEST_F(NativePlatformTest, PeekNeverSpinsOnASourceThatIsAlwaysReady) {
    std::function<void()> busy = [&] { core.QueueNative(busy); };
    core.QueueNative(busy);
    Message message;
    EXPECT_FALSE(core.PeekMessage(message));
    EXPECT_EQ(core.pumps, platform::NativePlatform::kPeekBudget);
    // A message that arrives stops the pumping at once.
    core.pumps = 0;
    core.QueueInput({.kind = MessageKind::FocusIn, .window = 3});
    // The busy source is ahead of it in the fake system; peek finds the message
    // within its budget and stops there.
    EXPECT_TRUE(core.PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::FocusIn);
    EXPECT_LE(core.pumps, 2);
}

TEST_F(NativePlatformTest, CallbackPostedFromAnotherThreadWakesTheWait) {
    bool ran = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        core.PostCallback([&] { ran = true; });
    });
    core.WaitMessage();  // blocks in the pump until the post wakes it
    poster.join();
    Message message;
    ASSERT_TRUE(core.PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Invoke);
    core.DispatchMessage(message);
    EXPECT_TRUE(ran);
    EXPECT_GE(core.wakes, 1);
}

// An idle reader wakes ten times a second for its own timer; a self-wake on
// each of those posts would double the system calls for nothing.
TEST_F(NativePlatformTest, PostsFromTheLoopsOwnThreadNeedNoWake) {
    const TimerHandle timer = core.CreateTimer(100, false, [] {});
    core.FireNative(timer);
    core.QueueInput({.kind = MessageKind::FocusIn, .window = 3});
    core.PostCallback([] {});
    core.PostQuitMessage();
    Message message;
    int taken = 0;
    while (core.PeekMessage(message)) ++taken;
    EXPECT_EQ(taken, 4);
    EXPECT_EQ(core.wakes, 0);
}

TEST_F(NativePlatformTest, GuardedCallbacksOfAnEndedLifeAreDroppedFromTheQueue) {
    std::vector<std::string> seen;
    auto owner = std::make_unique<platform::Lifetime>();
    core.PostCallback(owner->Guard([&] { seen.push_back("old life"); }));
    owner->Renew();  // closed and opened again
    core.PostCallback(owner->Guard([&] { seen.push_back("new life"); }));
    DispatchAll();
    EXPECT_EQ(seen, std::vector<std::string>{"new life"});

    owner = std::make_unique<platform::Lifetime>();
    core.PostCallback(owner->Guard([&] { seen.push_back("gone"); }));
    owner.reset();  // destroyed
    DispatchAll();
    EXPECT_EQ(seen, std::vector<std::string>{"new life"});
}

// The loop belongs to the thread that made the platform. Others may post to
// it, and their posts wake it; taking, waiting, dispatching and the timers are
// refused there, since a loop run elsewhere would sleep through the maker's
// posts.
TEST(NativePlatformThreads, OnlyTheMakersThreadRunsTheLoopOthersMayPost) {
    std::promise<FakeNativePlatform*> made;
    std::promise<void> othersDone;
    std::vector<MessageKind> taken;
    std::thread owner([&] {
        FakeNativePlatform core;
        made.set_value(&core);
        othersDone.get_future().wait();
        Message message;
        while (core.PeekMessage(message)) {
            taken.push_back(message.kind);
            core.DispatchMessage(message);
        }
        const TimerHandle timer = core.CreateTimer(10, true, [] {});
        EXPECT_NE(timer, 0u);
        core.KillTimer(timer);
    });
    FakeNativePlatform& core = *made.get_future().get();

    bool ran = false;
    core.PostCallback([&] { ran = true; });
    core.PostQuitMessage();
    EXPECT_EQ(core.wakes, 2);
    const struct {
        const char* name;
        std::function<void()> call;
    } refused[] = {
        {"PeekMessage", [&] { Message message; core.PeekMessage(message); }},
        {"WaitMessage", [&] { core.WaitMessage(); }},
        {"DispatchMessage", [&] { core.DispatchMessage({.kind = MessageKind::Invoke, .invokeId = 1}); }},
        {"CreateTimer", [&] { core.CreateTimer(10, false, [] {}); }},
        {"KillTimer", [&] { core.KillTimer(1); }},
        {"RefuseTimers", [&] { core.RefuseTimers(true); }},
    };
    for (const auto& call : refused) EXPECT_THROW(call.call(), EInvalidOperation) << call.name;
    EXPECT_FALSE(ran);
    othersDone.set_value();
    owner.join();
    EXPECT_EQ(taken, (std::vector<MessageKind>{MessageKind::Invoke, MessageKind::Quit}));
    EXPECT_TRUE(ran);
}

// A life is renewed, guarded and its guarded calls run on its own thread:
// anywhere else a call could run while the life ends.
TEST(LifetimeThreads, RenewGuardAndGuardedCallsBelongToTheThreadThatMadeTheLife) {
    platform::Lifetime life;
    int ran = 0;
    auto guarded = life.Guard([&] { ++ran; });
    std::thread other([&] {
        EXPECT_THROW(life.Guard([] {}), EInvalidOperation);
        EXPECT_THROW(life.Renew(), EInvalidOperation);
        EXPECT_THROW(guarded(), EInvalidOperation);
    });
    other.join();
    EXPECT_EQ(ran, 0);
    guarded();
    EXPECT_EQ(ran, 1);
    life.Renew();
    guarded();
    EXPECT_EQ(ran, 1);
}

TEST(MessageBoxEscape, ClosingWithoutAButtonGivesTheAnswerThatChangesNothing) {
    using platform::MessageBoxButtons;
    using platform::MessageBoxResult;
    const std::vector<std::pair<MessageBoxButtons, MessageBoxResult>> cases = {
        {MessageBoxButtons::Ok, MessageBoxResult::Ok},
        {MessageBoxButtons::OkCancel, MessageBoxResult::Cancel},
        {MessageBoxButtons::YesNo, MessageBoxResult::No},
    };
    for (const auto& [buttons, answer] : cases) EXPECT_EQ(FakeNativePlatform::EscapeAnswer(buttons), answer);
}

}  // namespace
}  // namespace velmora::testing
