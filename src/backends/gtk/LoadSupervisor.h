// How one chapter load goes, from the reader's request to the chapter or to a
// page saying why it is not there. One state, changed only by the events
// below; the engine reports what WebKit does and carries out what the
// supervisor asks through its hooks, so the rules can be tested without an
// engine or a display.
//
//   Idle             nothing is loading: nothing asked yet, or the chapter
//                    (or a page the reader went to) has been shown
//   Requested        a load went out and has not started; the watchdog runs
//                    while a page is shown: a page busy in an endless script
//                    neither starts the next load nor answers a probe, and its
//                    process is ended (once per request: the fresh process
//                    is given the time it needs)
//   Loading          started; the document has not begun to arrive (the
//                    load time-out runs)
//   Arriving         the document arrives; the toolkit has heard "complete"
//   EndingForLoad    the stuck page's process is being ended on purpose; the
//                    request goes out again once it is gone
//   EndingUnresponsive  the page stopped answering for longer than the grace
//                    time and its process is being ended; its failure page
//                    follows
//   FailureRequested our failure page was asked for; the failed load's own
//                    end still arrives and is not the page's
//   FailureLoading   the failure page itself has started
//   FailureShown     the failure page stands in place of the chapter
//
// Transitions (anything not listed leaves the state alone):
//   Request, Reload          any -> Requested (EndingForLoad when the page no
//                            longer answers: it would swallow the request)
//   Started                  Idle, Requested, Loading, Arriving, FailureShown -> Loading
//                            FailureRequested -> FailureLoading
//   Committed                Requested, Loading -> Arriving (the navigation is complete)
//   Finished                 Arriving, Loading -> Idle; FailureLoading -> FailureShown
//   Failed (not a cancel)    Requested, Loading, Arriving, Idle, FailureShown -> FailureRequested
//   watchdog, unanswered     Requested -> EndingForLoad
//   load time-out            Requested -> FailureRequested; Loading -> (stops the
//                            load; its Failed carries the time-out)
//   unresponsive too long    any but EndingForLoad -> EndingUnresponsive
//   ProcessEnded             EndingForLoad -> Requested (deferred);
//                            otherwise -> FailureRequested (deferred: crashed,
//                            or unresponsive when we ended it for that)
//   Reset                    any -> Idle
// Every failure page, and every new request, stops the supervisor's timers.
// The toolkit hears no notification of our failure page's own load, and none
// while a process is being ended on purpose (its load goes with it).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/EnginePages.h"

namespace velmora::gtk {

enum class LoadState {
    Idle,
    Requested,
    Loading,
    Arriving,
    EndingForLoad,
    EndingUnresponsive,
    FailureRequested,
    FailureLoading,
    FailureShown,
};

const char* LoadStateName(LoadState state);

enum class LoadTimer { Watchdog, LoadTimeout, Unresponsive };

class LoadSupervisor {
public:
    // What the supervisor asks of the engine.
    class Hooks {
    public:
        virtual ~Hooks() = default;
        // --- the view ---
        virtual void StartLoad(const std::string& uri, bool bypassCache) = 0;
        virtual void StopLoad() = 0;
        virtual bool IsLoading() = 0;
        virtual bool IsResponsive() = 0;
        // Ends the page's process; the view stays and its next load starts a
        // fresh one. ProcessEnded follows.
        virtual void EndProcess() = 0;
        // Sends the page a script that answers at once when it can; the
        // answer is reported with ProbeAnswered(probe).
        virtual void SendProbe(unsigned probe) = 0;
        // Shows a page of ours in place of the chapter; false when there is
        // none (the engine's own handling then stands).
        virtual bool ShowFailurePage(const std::string& uri, const platform::LoadFailureInfo& failure) = 0;
        virtual std::string CurrentUri() = 0;
        // Runs f later from the queue (outside the engine's signal), while
        // the engine lasts.
        virtual void RunLater(std::function<void()> f) = 0;
        // --- timers: each reported with TimerFired ---
        virtual void StartTimer(LoadTimer timer, unsigned milliseconds) = 0;
        virtual void StopTimer(LoadTimer timer) = 0;
        virtual bool TimerRunning(LoadTimer timer) = 0;
        // --- what the reader sees: the loading line and cover ---
        virtual void IndicatorBegin() = 0;
        virtual void IndicatorProgress(double fraction) = 0;
        virtual void IndicatorArrived() = 0;
        virtual void IndicatorEnd() = 0;
        virtual bool IndicatorShown() = 0;
        // --- the toolkit ---
        virtual void NotifyStarted(const std::string& uri) = 0;
        virtual void NotifyArrived(const std::string& uri) = 0;
        virtual void NotifyFailed(const std::string& uri, std::int32_t status) = 0;
    };

    explicit LoadSupervisor(Hooks& hooks) : hooks_(hooks) {}
    LoadSupervisor(const LoadSupervisor&) = delete;
    LoadSupervisor& operator=(const LoadSupervisor&) = delete;

    // --- the reader ---
    void Request(const std::string& uri, bool bypassCache);
    // Loads the shown chapter again (F5, Ctrl+R, the failure page's button),
    // bypassing the cache; the chapter that failed when a failure page shows.
    void Reload();

    // --- the engine ---
    void Started(const std::string& uri);
    void Redirected(const std::string& uri);
    void Committed(const std::string& uri);
    void Finished();
    // The load of uri failed. failure: what the reader is told, none when the
    // load was only replaced or turned away by the reader's own choice.
    // errorCode: the engine's. True when the failure was handled here (the
    // engine must not show its own page).
    bool Failed(const std::string& uri, const std::optional<platform::LoadFailureInfo>& failure,
                std::int32_t errorCode);
    void Progress(double fraction);
    // The main page's response was turned away; the engine's Failed follows.
    void MainPageRefused(const platform::LoadFailureInfo& failure);
    void ResponsivenessChanged(bool responsive);
    // The page's process is gone; byUs: ended through EndProcess.
    void ProcessEnded(bool byUs, bool memoryLimit);
    void ProbeAnswered(unsigned probe);
    void TimerFired(LoadTimer timer);
    // The engine closes: back to the start, timers stopped.
    void Reset();

    LoadState State() const { return state_; }
    bool ShowsFailure() const { return state_ == LoadState::FailureShown; }
    void SetLoadTimeout(unsigned milliseconds) { loadTimeoutMs_ = milliseconds; }

    // A moment longer than a healthy page needs to start its load or answer a
    // probe; after it the page's process is taken as stuck.
    static constexpr unsigned kStuckAfterMs = 1500;
    // How long the engine may find the page unresponsive before it is ended.
    static constexpr unsigned kUnresponsiveGraceMs = 3000;

private:
    void Load(const std::string& uri, bool bypassCache, bool processChecked);
    void ShowFailure(const std::string& uri, const platform::LoadFailureInfo& failure);
    void EndProcessThen(LoadState ending);
    void StopTimers();
    bool InFailurePage() const {
        return state_ == LoadState::FailureRequested || state_ == LoadState::FailureLoading;
    }
    bool Ending() const { return state_ == LoadState::EndingForLoad || state_ == LoadState::EndingUnresponsive; }

    Hooks& hooks_;
    LoadState state_ = LoadState::Idle;
    // What the reader asked to load last (a chapter, a reload), and how.
    std::string requestUri_;
    bool bypassCache_ = false;
    // The chapter the failure page stands for.
    std::string failureUri_;
    // A failure decided before the engine reports the load as failed (a
    // refused response, our own time-out); told when it does.
    std::optional<platform::LoadFailureInfo> pendingFailure_;
    // The probe of the watchdog now armed, and whether it was answered.
    unsigned probe_ = 0;
    bool probeAnswered_ = false;
    unsigned loadTimeoutMs_ = 20000;
};

}  // namespace velmora::gtk
