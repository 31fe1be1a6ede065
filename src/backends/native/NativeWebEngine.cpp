#include "NativeWebEngine.h"

#include <utility>

namespace velmora::platform {

bool NativeWebEngine::InPlaceActivate(WindowHandle mainWindow, const RectI& bounds) {
    ActivationTarget(mainWindow, bounds);
    if (display_ != 0) {
        platform_.SetParentWindow(display_, mainWindow, false);
        platform_.SetWindowPos(display_, bounds, PosMoveSize);
        return platform_.GetParentWindow(display_) == mainWindow;
    }
    WindowHandle display = 0;
    if (!ActivateDisplay(mainWindow, bounds, display)) return false;
    display_ = display;
    return true;
}

void NativeWebEngine::Close() {
    life_.Renew();  // queued notifications of the old life are dropped
    CloseEngine();
    display_ = 0;
}

void NativeWebEngine::Notify(std::function<void(IWebEngineEvents&)> notification) {
    platform_.PostCallback(life_.Guard([events = &events_, notification = std::move(notification)] {
        notification(*events);
    }));
}

void NativeWebEngine::Defer(std::function<void()> f) { platform_.PostCallback(life_.Guard(std::move(f))); }

void NativeWebEngine::ReportBeforeNavigate(const std::string& url) {
    Notify([url](IWebEngineEvents& events) { events.BeforeNavigate2(url); });
}

void NativeWebEngine::ReportNavigateComplete(const std::string& url) {
    Notify([url](IWebEngineEvents& events) { events.NavigateComplete2(url); });
}

void NativeWebEngine::ReportNavigateError(const std::string& url, std::int32_t status) {
    Notify([url, status](IWebEngineEvents& events) { events.NavigateError(url, status); });
}

void NativeWebEngine::ReportCommandState(int command, bool enabled) {
    Notify([command, enabled](IWebEngineEvents& events) { events.CommandStateChange(command, enabled); });
}

void NativeWebEngine::ReportHistory(bool canGoForward, bool canGoBack) {
    Notify([canGoForward, canGoBack](IWebEngineEvents& events) {
        events.CommandStateChange(CommandNavigateForward, canGoForward);
        events.CommandStateChange(CommandNavigateBack, canGoBack);
    });
}

void NativeWebEngine::ReportMouseActivate() {
    platform_.Guarded([this] { events_.DisplayMouseActivate(); });
}

}  // namespace velmora::platform
