// The chapter load's state machine over recording hooks: no engine, no
// display, no clock (the test fires the timers itself).
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "backends/gtk/LoadSupervisor.h"

namespace velmora::gtk::testing {
namespace {

using platform::LoadFailure;
using platform::LoadFailureInfo;

const char* TimerName(LoadTimer timer) {
    switch (timer) {
    case LoadTimer::Watchdog: return "watchdog";
    case LoadTimer::LoadTimeout: return "timeout";
    case LoadTimer::Unresponsive: return "unresponsive";
    }
    return "?";
}

const char* FailureName(LoadFailure kind) {
    switch (kind) {
    case LoadFailure::Refused: return "refused";
    case LoadFailure::TimedOut: return "timed out";
    case LoadFailure::HttpStatus: return "status";
    case LoadFailure::Crashed: return "crashed";
    case LoadFailure::Unresponsive: return "unresponsive";
    default: return "other";
    }
}

// Records what the supervisor asks, in one log; the toolkit's notifications
// in another.
class RecordingHooks : public LoadSupervisor::Hooks {
public:
    std::vector<std::string> log;
    std::vector<std::string> toolkit;
    std::map<LoadTimer, unsigned> timers;
    std::deque<std::function<void()>> later;
    bool responsive = true;
    bool loading = false;
    bool pages = true;
    bool lineShown = false;
    unsigned lastProbe = 0;
    std::string currentUri = "http://book/Contents.html";  // a page is shown

    void RunLaterCalls() {
        while (!later.empty()) {
            auto f = std::move(later.front());
            later.pop_front();
            f();
        }
    }
    std::vector<std::string> Take() { return std::exchange(log, {}); }

    void StartLoad(const std::string& uri, bool bypassCache) override {
        log.push_back("load " + uri + (bypassCache ? " uncached" : ""));
        loading = true;
    }
    void StopLoad() override { log.push_back("stop"); }
    bool IsLoading() override { return loading; }
    bool IsResponsive() override { return responsive; }
    void EndProcess() override { log.push_back("end process"); }
    void SendProbe(unsigned probe) override { lastProbe = probe; }
    bool ShowFailurePage(const std::string& uri, const LoadFailureInfo& failure) override {
        log.push_back(std::string("failure page ") + FailureName(failure.kind) + " " + uri +
                      (failure.httpStatus ? " " + std::to_string(failure.httpStatus) : "") +
                      (failure.detail.empty() ? "" : " (" + failure.detail + ")"));
        return pages;
    }
    std::string CurrentUri() override { return currentUri; }
    void RunLater(std::function<void()> f) override { later.push_back(std::move(f)); }
    void StartTimer(LoadTimer timer, unsigned milliseconds) override {
        timers[timer] = milliseconds;
        log.push_back(std::string("start ") + TimerName(timer));
    }
    void StopTimer(LoadTimer timer) override { timers.erase(timer); }
    bool TimerRunning(LoadTimer timer) override { return timers.count(timer) != 0; }
    void IndicatorBegin() override {
        lineShown = true;
        log.push_back("line");
    }
    void IndicatorProgress(double) override {}
    void IndicatorArrived() override { log.push_back("arrived"); }
    void IndicatorEnd() override {
        lineShown = false;
        log.push_back("line off");
    }
    bool IndicatorShown() override { return lineShown; }
    void NotifyStarted(const std::string& uri) override { toolkit.push_back("before " + uri); }
    void NotifyArrived(const std::string& uri) override { toolkit.push_back("complete " + uri); }
    void NotifyFailed(const std::string& uri, std::int32_t status) override {
        toolkit.push_back("error " + uri + " " + std::to_string(status));
    }
};

using Log = std::vector<std::string>;
constexpr const char* kChapter = "http://book/Nav1.html";

class LoadSupervisorTest : public ::testing::Test {
protected:
    // The timer fires: the hooks forget it first, as the engine's do.
    void Fire(LoadTimer timer) {
        ASSERT_TRUE(hooks.timers.count(timer)) << TimerName(timer) << " is not running";
        hooks.timers.erase(timer);
        supervisor.TimerFired(timer);
    }
    LoadFailureInfo Failure(LoadFailure kind) {
        LoadFailureInfo failure;
        failure.kind = kind;
        return failure;
    }
    void RequestChapter() {
        supervisor.Request(kChapter, false);
        hooks.Take();
    }

    RecordingHooks hooks;
    LoadSupervisor supervisor{hooks};
};

TEST_F(LoadSupervisorTest, ChapterGoesFromRequestToArrivalWithOneNotificationEach) {
    supervisor.Request(kChapter, false);
    EXPECT_EQ(supervisor.State(), LoadState::Requested);
    EXPECT_EQ(hooks.Take(), (Log{"line", "load http://book/Nav1.html", "start watchdog", "start timeout"}));
    EXPECT_EQ(hooks.timers.at(LoadTimer::Watchdog), LoadSupervisor::kStuckAfterMs);

    supervisor.Started(kChapter);
    EXPECT_EQ(supervisor.State(), LoadState::Loading);
    supervisor.Redirected("http://book/Nav1b.html");
    supervisor.Committed("http://book/Nav1b.html");
    EXPECT_EQ(supervisor.State(), LoadState::Arriving);
    EXPECT_FALSE(hooks.TimerRunning(LoadTimer::LoadTimeout)) << "the page arrives: no time-out any more";
    supervisor.Finished();
    EXPECT_EQ(supervisor.State(), LoadState::Idle);
    EXPECT_EQ(hooks.Take(), (Log{"arrived", "line off"}));
    EXPECT_EQ(hooks.toolkit, (Log{"before http://book/Nav1.html", "before http://book/Nav1b.html",
                                  "complete http://book/Nav1b.html"}));
    // The probe answered late does not matter any more; the watchdog finds
    // the load started.
    Fire(LoadTimer::Watchdog);
    EXPECT_TRUE(hooks.Take().empty());
}

TEST_F(LoadSupervisorTest, FailureIsToldOnceAndItsPageLoadsUnheardThenReloadAsksForTheChapter) {
    RequestChapter();
    supervisor.Started(kChapter);
    EXPECT_TRUE(supervisor.Failed(kChapter, Failure(LoadFailure::Refused), 39));
    EXPECT_EQ(supervisor.State(), LoadState::FailureRequested);
    EXPECT_TRUE(hooks.timers.empty());
    EXPECT_EQ(hooks.Take(), (Log{"failure page refused http://book/Nav1.html"}));

    // The failed load's own end arrives after the page was asked for.
    supervisor.Finished();
    EXPECT_TRUE(supervisor.Failed(kChapter, Failure(LoadFailure::Other), 1)) << "the failure page's own failure";
    EXPECT_EQ(supervisor.State(), LoadState::FailureRequested);
    supervisor.Started(kChapter);
    supervisor.Committed(kChapter);
    supervisor.Finished();
    EXPECT_TRUE(supervisor.ShowsFailure());
    EXPECT_EQ(hooks.Take(), (Log{"arrived", "line off"}));
    EXPECT_EQ(hooks.toolkit, (Log{"before http://book/Nav1.html", "error http://book/Nav1.html 39"}));

    hooks.currentUri = "about:blank";  // what the failure page reports; the chapter is what failed
    supervisor.Reload();
    EXPECT_EQ(supervisor.State(), LoadState::Requested);
    EXPECT_FALSE(supervisor.ShowsFailure());
    EXPECT_EQ(hooks.Take(), (Log{"line", "load http://book/Nav1.html uncached", "start watchdog", "start timeout"}));
}

TEST_F(LoadSupervisorTest, ReplacedLoadIsNoFailureAndARefusedResponseIsTheReasonGiven) {
    RequestChapter();
    supervisor.Started(kChapter);
    EXPECT_FALSE(supervisor.Failed(kChapter, std::nullopt, 302));
    EXPECT_EQ(supervisor.State(), LoadState::Loading);
    EXPECT_TRUE(hooks.Take().empty());

    LoadFailureInfo missing = Failure(LoadFailure::HttpStatus);
    missing.httpStatus = 404;
    supervisor.MainPageRefused(missing);
    EXPECT_TRUE(supervisor.Failed(kChapter, std::nullopt, 102));  // the engine's "interrupted" for it
    EXPECT_EQ(hooks.Take(), (Log{"failure page status http://book/Nav1.html 404"}));
    EXPECT_EQ(hooks.toolkit.back(), "error http://book/Nav1.html 404");
}

TEST_F(LoadSupervisorTest, LoadTimeOutBeforeTheStartShowsItsPageAfterTheStartStopsTheLoadWithItsReason) {
    RequestChapter();
    Fire(LoadTimer::LoadTimeout);
    EXPECT_EQ(hooks.Take(), (Log{"failure page timed out http://book/Nav1.html"}));

    RequestChapter();
    supervisor.Started(kChapter);
    Fire(LoadTimer::LoadTimeout);
    EXPECT_EQ(hooks.Take(), (Log{"stop"}));
    EXPECT_TRUE(supervisor.Failed(kChapter, std::nullopt, 302));  // stopped: the engine says "cancelled"
    EXPECT_EQ(hooks.Take(), (Log{"failure page timed out http://book/Nav1.html"}));
}

TEST_F(LoadSupervisorTest, StuckPageIsEndedAndTheChapterGoesOutAgainUnlessTheProbeWasAnswered) {
    RequestChapter();
    supervisor.ProbeAnswered(hooks.lastProbe);
    Fire(LoadTimer::Watchdog);
    EXPECT_EQ(supervisor.State(), LoadState::Requested) << "a page that answers is only slow";

    RequestChapter();
    supervisor.ProbeAnswered(hooks.lastProbe - 1);  // the answer of the previous probe
    Fire(LoadTimer::Watchdog);
    EXPECT_EQ(supervisor.State(), LoadState::EndingForLoad);
    EXPECT_EQ(hooks.Take(), (Log{"end process"}));
    EXPECT_TRUE(hooks.timers.empty());
    // What the ended process still reports is not the reader's business.
    supervisor.Started(kChapter);
    EXPECT_TRUE(supervisor.Failed(kChapter, Failure(LoadFailure::Other), 1));
    EXPECT_EQ(hooks.toolkit, Log{});

    hooks.responsive = false;  // the new process is not asked: it is fresh
    supervisor.ProcessEnded(true, false);
    EXPECT_TRUE(hooks.Take().empty()) << "nothing inside the engine's signal";
    hooks.RunLaterCalls();
    EXPECT_EQ(supervisor.State(), LoadState::Requested);
    // The fresh process gets the time it needs: no watchdog to end it again.
    EXPECT_EQ(hooks.Take(), (Log{"load http://book/Nav1.html", "start timeout"}));
}

TEST_F(LoadSupervisorTest, ViewWithoutAPageHasNoWatchdogSinceNothingCanBeStuckInIt) {
    hooks.currentUri.clear();  // the first load starts the first process
    supervisor.Request("about:blank", false);
    EXPECT_EQ(hooks.Take(), (Log{"line", "load about:blank", "start timeout"}));
    EXPECT_FALSE(hooks.TimerRunning(LoadTimer::Watchdog));
}

TEST_F(LoadSupervisorTest, RequestToAPageThatNoLongerAnswersEndsItFirst) {
    hooks.responsive = false;
    supervisor.Request(kChapter, true);
    EXPECT_EQ(supervisor.State(), LoadState::EndingForLoad);
    EXPECT_EQ(hooks.Take(), (Log{"line", "end process"}));
    supervisor.ProcessEnded(true, false);
    hooks.RunLaterCalls();
    EXPECT_EQ(hooks.Take(), (Log{"load http://book/Nav1.html uncached", "start timeout"}));
}

TEST_F(LoadSupervisorTest, UnresponsivePageGetsItsGraceThenItsPage) {
    RequestChapter();
    supervisor.Started(kChapter);
    supervisor.Committed(kChapter);
    supervisor.Finished();
    hooks.Take();

    supervisor.ResponsivenessChanged(false);
    EXPECT_EQ(hooks.timers.at(LoadTimer::Unresponsive), LoadSupervisor::kUnresponsiveGraceMs);
    supervisor.ResponsivenessChanged(true);
    EXPECT_FALSE(hooks.TimerRunning(LoadTimer::Unresponsive));
    supervisor.ResponsivenessChanged(false);
    supervisor.ResponsivenessChanged(false);  // the grace is not started again
    EXPECT_EQ(hooks.Take(), (Log{"start unresponsive", "start unresponsive"}));

    hooks.responsive = false;
    Fire(LoadTimer::Unresponsive);
    EXPECT_EQ(supervisor.State(), LoadState::EndingUnresponsive);
    supervisor.ProcessEnded(true, false);
    hooks.RunLaterCalls();
    EXPECT_EQ(hooks.Take(), (Log{"end process", "failure page unresponsive http://book/Nav1.html"}));
    EXPECT_EQ(supervisor.State(), LoadState::FailureRequested);
}

TEST_F(LoadSupervisorTest, ProcessThatDiesByItselfIsACrashOfTheChapter) {
    const struct {
        const char* name;
        bool memoryLimit;
        const char* page;
    } cases[] = {
        {"crash", false, "failure page crashed http://book/Nav1.html"},
        {"memory", true, "failure page crashed http://book/Nav1.html (memory limit exceeded)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RequestChapter();
        supervisor.Started(kChapter);
        supervisor.ProcessEnded(false, c.memoryLimit);
        hooks.RunLaterCalls();
        EXPECT_EQ(hooks.Take(), Log{c.page});
    }
}

TEST_F(LoadSupervisorTest, WithoutPagesOfOursTheEnginesOwnHandlingStands) {
    hooks.pages = false;
    RequestChapter();
    supervisor.Started(kChapter);
    EXPECT_FALSE(supervisor.Failed(kChapter, Failure(LoadFailure::Refused), 39));
    EXPECT_EQ(supervisor.State(), LoadState::Idle);
    EXPECT_FALSE(hooks.lineShown);
    EXPECT_EQ(hooks.toolkit.back(), "error http://book/Nav1.html 39");
}

TEST_F(LoadSupervisorTest, ResetStopsEverythingAndForgetsTheFailure) {
    RequestChapter();
    supervisor.ResponsivenessChanged(false);
    Fire(LoadTimer::LoadTimeout);
    supervisor.Reset();
    EXPECT_EQ(supervisor.State(), LoadState::Idle);
    EXPECT_TRUE(hooks.timers.empty());
    hooks.currentUri.clear();
    hooks.Take();
    supervisor.Reload();  // nothing known to load again
    EXPECT_TRUE(hooks.Take().empty());
}

}  // namespace
}  // namespace velmora::gtk::testing
