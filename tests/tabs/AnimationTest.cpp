#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "backends/headless/HeadlessPlatform.h"
#include "toolkit/controls/Animation.h"

namespace velmora {
namespace {

class AnimationTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetCurrentPlatform(&host); }
    void TearDown() override { platform::SetCurrentPlatform(nullptr); }

    // Runs the clock for ms, step by step, dispatching every timer message.
    void Run(double ms) { host.RunFor(ms); }

    headless::HeadlessPlatform host;
    float value = 0;
    std::unique_ptr<TFloatAnimation> Movement(float to, double duration = 0.3) {
        auto a = std::make_unique<TFloatAnimation>([this] { return value; }, [this](float v) { value = v; });
        a->SetDuration(duration);
        a->SetRoundToWhole(true);
        a->SetStopValue(to);
        return a;
    }
};

TEST(AnimationClockInterval, IsWholeTensOfMillisecondsOfSixtyFramesPerSecond) {
    EXPECT_EQ(AnimationClock::IntervalMs(), 10u);
}

TEST(RoundHalfEvenTest, HalvesGoToTheEvenNeighbour) {
    struct Case {
        double in;
        float out;
    };
    for (Case c : {Case{0.5, 0}, Case{1.5, 2}, Case{2.5, 2}, Case{-0.5, 0}, Case{-1.5, -2}, Case{-183.5, -184},
                   Case{12.25, 12}, Case{12.75, 13}, Case{-367.9, -368}})
        EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
}

TEST_F(AnimationTest, SharedTimerExistsOnlyWhileAnimationsRun) {
    const std::size_t before = host.LiveTimerCount();
    value = 0;
    TFloatAnimation a([this] { return value; }, [this](float v) { value = v; });
    a.SetDuration(0.05);
    a.SetStopValue(100);
    float other = 0;
    TFloatAnimation b([&] { return other; }, [&](float v) { other = v; });
    b.SetDuration(0.1);
    b.SetStopValue(10);

    a.Start();
    b.Start();
    EXPECT_EQ(host.LiveTimerCount(), before + 1) << "one timer for all animations";
    Run(60);
    EXPECT_FALSE(a.Running());
    EXPECT_TRUE(b.Running());
    EXPECT_EQ(host.LiveTimerCount(), before + 1);
    Run(60);
    EXPECT_FALSE(b.Running());
    EXPECT_EQ(host.LiveTimerCount(), before) << "killed when none runs";
    EXPECT_FALSE(AnimationClock::Instance().TimerActive());
    EXPECT_EQ(value, 100);
    EXPECT_EQ(other, 10);
}

// Positions follow round(start + (end - start) * t / duration) with t the
// summed real time between steps, whatever the spacing of the steps.
TEST_F(AnimationTest, PositionsFollowElapsedRealTime) {
    for (std::vector<double> gaps : {std::vector<double>(30, 10.0),
                                     std::vector<double>{13, 7, 17, 1, 30, 4.5, 9, 25, 11, 60, 3, 120},
                                     std::vector<double>{250, 100}}) {
        value = 0.4f;  // a start that is not whole is rounded first
        auto a = Movement(-367.6f);
        struct Seen {
            std::uint64_t us;
            float value;
        };
        std::vector<Seen> seen;
        a->OnProcess = [&] { seen.push_back({host.NowMicroseconds(), value}); };
        const std::uint64_t t0 = host.NowMicroseconds();
        a->Start();
        // Each step runs when its timer message is dispatched, however late.
        for (double gap : gaps) {
            host.Advance(gap);
            host.DispatchPending();
        }
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen.front().value, 0);
        for (const Seen& s : seen) {
            const double t = std::min(0.3, static_cast<double>(s.us - t0) / 1e6);
            EXPECT_EQ(s.value, static_cast<float>(std::nearbyint(0 + (-368.0 - 0) * (t / 0.3))))
                << "at " << (s.us - t0) << " us";
        }
        EXPECT_FALSE(a->Running());
        EXPECT_EQ(seen.back().value, -368);
        EXPECT_EQ(value, -368);
    }
}

TEST_F(AnimationTest, ThirtyStepsOfTenMillisecondsEndExactlyOnTheThirtieth) {
    value = 0;
    auto a = Movement(300);
    int steps = -1;  // the starting value is not a step
    int finished = 0;
    a->OnProcess = [&] { ++steps; };
    a->OnFinish = [&] { ++finished; };
    a->Start();
    for (int i = 0; i < 29; ++i) {
        host.Advance(10);
        host.DispatchPending();
    }
    EXPECT_TRUE(a->Running());
    EXPECT_EQ(value, 290);
    host.Advance(10);
    host.DispatchPending();
    EXPECT_FALSE(a->Running());
    EXPECT_EQ(steps, 30);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(value, 300);
}

TEST_F(AnimationTest, StopJumpsToTheEndAndFinishesOnce) {
    value = 10;
    auto a = Movement(110);
    int finished = 0;
    a->OnFinish = [&] { ++finished; };
    a->Start();
    host.Advance(30);
    host.DispatchPending();
    EXPECT_EQ(value, 20);
    a->Stop();
    EXPECT_EQ(value, 110);
    EXPECT_EQ(finished, 1);
    a->Stop();
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(AnimationClock::Instance().Contains(a.get()));
}

// The most recently started animation advances first within a step.
TEST_F(AnimationTest, LaterStartedAnimationStepsFirst) {
    std::vector<char> order;
    float x = 0, y = 0;
    TFloatAnimation first([&] { return x; }, [&](float v) { x = v; });
    TFloatAnimation second([&] { return y; }, [&](float v) { y = v; });
    for (auto* a : {&first, &second}) {
        a->SetDuration(0.3);
        a->SetStopValue(100);
    }
    first.OnProcess = [&] { order.push_back('a'); };
    second.OnProcess = [&] { order.push_back('b'); };
    first.Start();
    second.Start();
    order.clear();
    host.Advance(10);
    host.DispatchPending();
    EXPECT_EQ(order, (std::vector<char>{'b', 'a'}));
}

// An animation whose object goes away during a step is not advanced again.
TEST_F(AnimationTest, AnimationDestroyedByAnotherInTheSameStepIsSkipped) {
    float x = 0, y = 0;
    auto victim = std::make_unique<TFloatAnimation>([&] { return x; }, [&](float v) { x = v; });
    victim->SetDuration(0.3);
    victim->SetStopValue(100);
    TFloatAnimation killer([&] { return y; }, [&](float v) { y = v; });
    killer.SetDuration(0.3);
    killer.SetStopValue(100);
    victim->Start();
    killer.Start();  // steps first
    killer.OnProcess = [&] { victim.reset(); };
    host.Advance(10);
    EXPECT_NO_THROW(host.DispatchPending());
    EXPECT_EQ(AnimationClock::Instance().RunningCount(), 1);
    killer.Stop();
}

}  // namespace
}  // namespace velmora
