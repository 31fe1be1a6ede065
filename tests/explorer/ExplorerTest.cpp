// The reader under random schedules of everything it can be sent, and the
// replays of schedules that once broke it. A failing seed is shrunk to the
// shortest schedule that still fails and printed in the form the table of
// regressions below takes.
//
// Environment (scripts/explore.sh sets them for long runs by hand):
//   VELMORA_EXPLORE_FIRST_SEED  first seed (default 1)
//   VELMORA_EXPLORE_SEEDS       how many seeds (default 400)
//   VELMORA_EXPLORE_STEPS       steps per schedule (default 40)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "explorer/ProgramExplorer.h"

namespace velmora::explorer {
namespace {

std::uint64_t Setting(const char* name, std::uint64_t fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value) return fallback;
    return std::strtoull(value, nullptr, 10);
}

std::string Report(const Verdict& verdict) {
    return "[" + verdict.invariant + "] at " + std::to_string(verdict.at) + " ms: " + verdict.detail;
}

// One schedule's text, played with its trace on stderr (VELMORA_EXPLORE_TRACE
// set): what scripts/explore.sh --replay runs.
TEST(ProgramExplorer, ReplayFromTheEnvironment) {
    const char* text = std::getenv("VELMORA_EXPLORE_REPLAY");
    if (!text) GTEST_SKIP() << "VELMORA_EXPLORE_REPLAY is not set";
    const Schedule schedule = ParseSchedule(text);
    const Verdict verdict = Play(schedule);
    EXPECT_TRUE(verdict.ok) << Report(verdict) << "\n" << Describe(schedule);
}

TEST(ProgramExplorer, RandomSchedules) {
    const std::uint64_t first = Setting("VELMORA_EXPLORE_FIRST_SEED", 1);
    const std::uint64_t seeds = Setting("VELMORA_EXPLORE_SEEDS", 400);
    const int steps = static_cast<int>(Setting("VELMORA_EXPLORE_STEPS", 40));
    int failures = 0;
    long played = 0, choices = 0;
    for (std::uint64_t seed = first; seed < first + seeds && failures < 3; ++seed) {
        const Schedule schedule = RandomSchedule(seed, steps);
        const Verdict verdict = Play(schedule);
        played += verdict.stepsPlayed;
        choices += verdict.choices;
        if (verdict.ok) continue;
        ++failures;
        int runs = 0;
        const Schedule shortest = Shrink(schedule, verdict, &runs);
        const Verdict again = Play(shortest);
        ADD_FAILURE() << "seed " << seed << " breaks " << Report(verdict) << "\nshortest replay ("
                      << shortest.steps.size() << " of " << schedule.steps.size() << " steps, " << runs
                      << " runs to find; it fails with " << Report(again) << "):\n"
                      << Describe(shortest);
    }
    // Most schedules must get far: a program that ends early explores nothing.
    if (failures == 0) {
        EXPECT_GT(played, static_cast<long>(seeds) * steps / 4) << "steps played";
    }
    std::printf("%llu seeds from %llu, %d steps each: %ld steps played, %ld chapters chosen\n",
                static_cast<unsigned long long>(seeds), static_cast<unsigned long long>(first), steps, played, choices);
}

TEST(ProgramExplorer, ScheduleTextReadsBackAsTheSameSchedule) {
    for (std::uint64_t seed : {1u, 2u, 77u}) {
        const Schedule schedule = RandomSchedule(seed, 60);
        const Schedule back = ParseSchedule(Describe(schedule));
        EXPECT_EQ(back.steps, schedule.steps) << Describe(schedule);
        EXPECT_EQ(back.timerJitterUs, schedule.timerJitterUs);
        EXPECT_EQ(back.touchScreen, schedule.touchScreen);
    }
    EXPECT_THROW(ParseSchedule("10 fly B3"), std::invalid_argument);
    EXPECT_THROW(ParseSchedule("10 click B9"), std::invalid_argument);
}

// ---------------------------------------------------------------------------
// Schedules that broke the reader once, as the explorer printed them after
// shrinking, and hand-made ones for the moments that matter most.

struct Replay {
    const char* name;
    const char* steps;
};
void PrintTo(const Replay& r, std::ostream* os) { *os << r.name; }

class ExplorerRegression : public ::testing::TestWithParam<Replay> {};

TEST_P(ExplorerRegression, HoldsEveryInvariant) {
    const Schedule schedule = ParseSchedule(GetParam().steps);
    const Verdict verdict = Play(schedule);
    EXPECT_TRUE(verdict.ok) << Report(verdict) << "\n" << Describe(schedule);
}

const Replay kReplays[] = {
    {"CloseAsTheWindowAppears", "-1 close"},
    {"ChapterClickAndCloseAsTheWindowAppears", "-1 click B2; -1 close-taskbar"},
    {"CloseAtTheFirstWait", "0 close"},
    {"CloseTogetherWithAChapterClick", "0 click B3; 0 close"},
    {"CloseInTheMiddleOfASlide", "10 click B2; 150 close"},
    {"RefusedCloseThenAgreedOne", "10 refuse-close 1; 20 close; 400 refuse-close 0; 400 close"},
    {"TaskbarCloseDuringASlide", "10 click B4; 100 close-taskbar"},
    {"QuitDuringASlide", "10 click B1; 60 quit"},
    {"CloseFromAnotherThreadsQueuedCall", "10 close-queued; 2000 leave"},
    {"QueuedCloseDuringASlide", "10 click B2; 100 close-queued; 2000 leave"},
    {"ChapterClickedTwiceInOneInstant", "10 click B1; 10 click B1"},
    {"LateCompletionOfAnEarlierChapter",
     "10 click B1; 400 click contents; 410 click B2; 420 engine-complete 1; 430 engine-fail 0 404"},
    {"DpiChangeAndResizeDuringASlide", "10 click B3; 50 dpi 144; 60 resize 400 300; 700 dpi 96"},
    {"ScreenReaderPressesAChapterDuringASlide", "10 click B2; 40 a11y-action 5 0; 45 a11y-focus 7"},
    {"ClickIntoThePageThenBackByCtrlTab", "10 click B3; 500 engine-click; 510 key 9 2; 520 engine-click"},
    {"RefusedLoadDuringASlide", "10 engine-refuse 1; 20 click B1; 30 click B2; 600 engine-refuse 0; 610 click B3"},
    {"StalledLoopAcrossASlide", "jitter 3000 touch 1; 10 click B3; 20 stall 250; 30 tap contents; 40 stall 200"},
};

INSTANTIATE_TEST_SUITE_P(Replays, ExplorerRegression, ::testing::ValuesIn(kReplays),
                         [](const ::testing::TestParamInfo<Replay>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::explorer
