#include "LoadSupervisor.h"

namespace velmora::gtk {

using platform::LoadFailure;
using platform::LoadFailureInfo;

const char* LoadStateName(LoadState state) {
    switch (state) {
    case LoadState::Idle: return "Idle";
    case LoadState::Requested: return "Requested";
    case LoadState::Loading: return "Loading";
    case LoadState::Arriving: return "Arriving";
    case LoadState::EndingForLoad: return "EndingForLoad";
    case LoadState::EndingUnresponsive: return "EndingUnresponsive";
    case LoadState::FailureRequested: return "FailureRequested";
    case LoadState::FailureLoading: return "FailureLoading";
    case LoadState::FailureShown: return "FailureShown";
    }
    return "?";
}

void LoadSupervisor::Request(const std::string& uri, bool bypassCache) { Load(uri, bypassCache, false); }

void LoadSupervisor::Reload() {
    std::string uri = state_ == LoadState::FailureShown || InFailurePage() ? failureUri_ : hooks_.CurrentUri();
    if (uri.empty()) uri = requestUri_;
    if (uri.empty() || uri == "about:blank") return;
    Load(uri, true, false);
}

void LoadSupervisor::Load(const std::string& uri, bool bypassCache, bool processChecked) {
    pendingFailure_.reset();
    requestUri_ = uri;
    bypassCache_ = bypassCache;
    StopTimers();
    if (!processChecked && !hooks_.IsResponsive()) {
        hooks_.IndicatorBegin();
        EndProcessThen(LoadState::EndingForLoad);
        return;
    }
    // Only a page can be stuck in a script: a view that shows none yet, or
    // whose process was just ended for this request, starts a fresh process,
    // which may take longer than the watchdog's moment on a busy machine
    // without being stuck (ending it would only start it again, forever).
    const bool pageMayBeStuck = !processChecked && !hooks_.CurrentUri().empty();
    if (!hooks_.IndicatorShown()) hooks_.IndicatorBegin();
    hooks_.StartLoad(uri, bypassCache);
    state_ = LoadState::Requested;
    // An answer counts only for the watchdog armed with its probe.
    probeAnswered_ = false;
    ++probe_;
    if (pageMayBeStuck) {
        hooks_.SendProbe(probe_);
        hooks_.StartTimer(LoadTimer::Watchdog, kStuckAfterMs);
    }
    hooks_.StartTimer(LoadTimer::LoadTimeout, loadTimeoutMs_);
}

void LoadSupervisor::Started(const std::string& uri) {
    if (Ending()) return;
    if (InFailurePage()) {
        if (state_ == LoadState::FailureRequested) state_ = LoadState::FailureLoading;
        return;
    }
    state_ = LoadState::Loading;
    if (!hooks_.IndicatorShown()) hooks_.IndicatorBegin();
    hooks_.NotifyStarted(uri);
}

void LoadSupervisor::Redirected(const std::string& uri) {
    // A redirect is a new navigation to the new address.
    if (Ending() || InFailurePage()) return;
    hooks_.NotifyStarted(uri);
}

void LoadSupervisor::Committed(const std::string& uri) {
    if (Ending()) return;
    if (InFailurePage()) {
        if (state_ == LoadState::FailureLoading) hooks_.IndicatorArrived();
        return;
    }
    // The document has started to arrive: the navigation is complete (its
    // end would report the same navigation a second time).
    state_ = LoadState::Arriving;
    hooks_.StopTimer(LoadTimer::LoadTimeout);
    hooks_.IndicatorArrived();
    hooks_.NotifyArrived(uri);
}

void LoadSupervisor::Finished() {
    if (Ending()) return;
    if (InFailurePage()) {
        if (state_ == LoadState::FailureLoading) {
            state_ = LoadState::FailureShown;
            hooks_.IndicatorEnd();
        }
        return;
    }
    if (state_ == LoadState::Loading || state_ == LoadState::Arriving) state_ = LoadState::Idle;
    hooks_.IndicatorEnd();
}

bool LoadSupervisor::Failed(const std::string& uri, const std::optional<LoadFailureInfo>& failure,
                            std::int32_t errorCode) {
    // The failure page itself, or a load that goes with the process we end:
    // nothing more to show.
    if (InFailurePage() || Ending()) return true;
    LoadFailureInfo shown;
    if (pendingFailure_) {
        shown = *pendingFailure_;
    } else if (failure) {
        shown = *failure;
    } else {
        return false;
    }
    const std::int32_t status = shown.kind == LoadFailure::HttpStatus ? shown.httpStatus : errorCode;
    hooks_.NotifyFailed(uri, status);
    ShowFailure(uri, shown);
    return state_ == LoadState::FailureRequested;
}

void LoadSupervisor::Progress(double fraction) {
    if (InFailurePage()) return;
    hooks_.IndicatorProgress(fraction);
}

void LoadSupervisor::MainPageRefused(const LoadFailureInfo& failure) { pendingFailure_ = failure; }

void LoadSupervisor::ResponsivenessChanged(bool responsive) {
    if (responsive) {
        hooks_.StopTimer(LoadTimer::Unresponsive);
        return;
    }
    if (!hooks_.TimerRunning(LoadTimer::Unresponsive))
        hooks_.StartTimer(LoadTimer::Unresponsive, kUnresponsiveGraceMs);
}

void LoadSupervisor::ProcessEnded(bool byUs, bool memoryLimit) {
    const LoadState ending = byUs ? state_ : LoadState::Idle;
    // Until the deferred step runs, the view has no page of ours in progress.
    state_ = LoadState::Idle;
    const std::string uri = requestUri_.empty() ? hooks_.CurrentUri() : requestUri_;
    // Out of the signal: the view is in the middle of losing its process.
    hooks_.RunLater([this, ending, memoryLimit, uri] {
        if (ending == LoadState::EndingForLoad) {
            Load(uri, bypassCache_, true);
            return;
        }
        LoadFailureInfo failure;
        failure.kind = ending == LoadState::EndingUnresponsive ? LoadFailure::Unresponsive : LoadFailure::Crashed;
        if (memoryLimit) failure.detail = "memory limit exceeded";
        ShowFailure(uri, failure);
    });
}

void LoadSupervisor::ProbeAnswered(unsigned probe) {
    if (probe == probe_) probeAnswered_ = true;
}

void LoadSupervisor::TimerFired(LoadTimer timer) {
    switch (timer) {
    case LoadTimer::Watchdog:
        if (state_ == LoadState::Requested && !probeAnswered_) EndProcessThen(LoadState::EndingForLoad);
        break;
    case LoadTimer::LoadTimeout: {
        LoadFailureInfo failure;
        failure.kind = LoadFailure::TimedOut;
        if (state_ == LoadState::Loading && hooks_.IsLoading()) {
            // The engine reports the stopped load as failed; the reason is ours.
            pendingFailure_ = failure;
            hooks_.StopLoad();
        } else {
            ShowFailure(requestUri_, failure);
        }
        break;
    }
    case LoadTimer::Unresponsive:
        if (!hooks_.IsResponsive())
            EndProcessThen(state_ == LoadState::EndingForLoad ? LoadState::EndingForLoad
                                                                : LoadState::EndingUnresponsive);
        break;
    }
}

void LoadSupervisor::Reset() {
    StopTimers();
    state_ = LoadState::Idle;
    pendingFailure_.reset();
    probeAnswered_ = false;
    ++probe_;
    requestUri_.clear();
    failureUri_.clear();
}

void LoadSupervisor::ShowFailure(const std::string& uri, const LoadFailureInfo& failure) {
    StopTimers();
    pendingFailure_.reset();
    failureUri_ = uri.empty() ? requestUri_ : uri;
    state_ = LoadState::FailureRequested;
    if (!hooks_.ShowFailurePage(failureUri_, failure)) {
        state_ = LoadState::Idle;
        hooks_.IndicatorEnd();
    }
}

void LoadSupervisor::EndProcessThen(LoadState ending) {
    state_ = ending;
    // What follows the end decides the next load or page; a time-out of the
    // load that goes with the process would only get in its way.
    hooks_.StopTimer(LoadTimer::Watchdog);
    hooks_.StopTimer(LoadTimer::LoadTimeout);
    hooks_.EndProcess();
}

void LoadSupervisor::StopTimers() {
    for (LoadTimer timer : {LoadTimer::Watchdog, LoadTimer::LoadTimeout, LoadTimer::Unresponsive})
        hooks_.StopTimer(timer);
}

}  // namespace velmora::gtk
