#include "HeadlessWebEngine.h"

#include <algorithm>

#include "HeadlessPlatform.h"

namespace velmora::headless {

namespace {

std::vector<HeadlessWebEngine*>& Live() {
    static std::vector<HeadlessWebEngine*> live;
    return live;
}

}  // namespace

HeadlessEngineFaults& HeadlessWebEngine::NextEngineFaults() {
    static HeadlessEngineFaults faults;
    return faults;
}

void HeadlessWebEngine::ResetNextEngineFaults() { NextEngineFaults() = {}; }

const std::vector<HeadlessWebEngine*>& HeadlessWebEngine::LiveEngines() { return Live(); }

HeadlessWebEngine* HeadlessWebEngine::Latest() { return Live().empty() ? nullptr : Live().back(); }

HeadlessWebEngine::HeadlessWebEngine(HeadlessPlatform& platform, platform::IWebEngineEvents& events)
    : platform_(platform), events_(events), faults_(NextEngineFaults()) {
    Live().push_back(this);
    Log("WebEngine.Create");
}

HeadlessWebEngine::~HeadlessWebEngine() { std::erase(Live(), this); }

void HeadlessWebEngine::Log(std::string line) { platform_.CallLog().push_back(std::move(line)); }

platform::EngineResult HeadlessWebEngine::Initialize() {
    Log("WebEngine.Initialize");
    if (faults_.initialize) return *faults_.initialize;
    initialized_ = true;
    return {};
}

platform::EngineResult HeadlessWebEngine::PutSilent(bool silent) {
    Log(std::string("WebEngine.PutSilent(") + (silent ? "true" : "false") + ")");
    if (faults_.putSilent) return *faults_.putSilent;
    silent_ = silent;
    return {};
}

bool HeadlessWebEngine::InPlaceActivate(platform::WindowHandle mainWindow, const platform::RectI& bounds) {
    Log("WebEngine.InPlaceActivate(" + std::to_string(mainWindow) + ", " + std::to_string(bounds.left) + ", " +
        std::to_string(bounds.top) + ", " + std::to_string(bounds.Width()) + ", " + std::to_string(bounds.Height()) +
        ")");
    if (faults_.noInPlaceObject) return false;
    inPlaceObject_ = true;
    mainWindow_ = mainWindow;
    // Activation shows the control.
    visible_ = true;
    return true;
}

platform::WindowHandle HeadlessWebEngine::DisplayWindow() {
    if (inPlaceObject_ && !faults_.noWindow && display_ == 0) display_ = platform_.CreateChildWindow(mainWindow_);
    Log("WebEngine.DisplayWindow() = " + std::to_string(display_));
    return display_;
}

platform::EngineResult HeadlessWebEngine::Navigate(const std::string& url, std::optional<std::int32_t> flags) {
    Log("WebEngine.Navigate(\"" + url + "\", " + (flags ? std::to_string(*flags) : std::string("missing")) + ")");
    if (faults_.navigateRefusal) return *faults_.navigateRefusal;
    navigations_.push_back({url, flags});
    return {};
}

bool HeadlessWebEngine::GetVisible() {
    Log(std::string("WebEngine.GetVisible() = ") + (visible_ ? "true" : "false"));
    return visible_;
}

void HeadlessWebEngine::PutVisible(bool visible) {
    Log(std::string("WebEngine.PutVisible(") + (visible ? "true" : "false") + ")");
    visible_ = visible;
}

void HeadlessWebEngine::DoVerb(platform::EngineVerb verb) {
    Log(std::string("WebEngine.DoVerb(") + (verb == platform::EngineVerb::Show ? "Show" : "Hide") + ")");
    if (verb == platform::EngineVerb::Show && faults_.showActivatesDisplay && display_ != 0)
        platform_.ActivateWindow(display_);
}

void HeadlessWebEngine::Close() {
    Log("WebEngine.Close");
    closed_ = true;
    hasFocus_ = false;
    if (display_ != 0) platform_.DestroyNativeWindow(display_);
}

void HeadlessWebEngine::FireBeforeNavigate2(const std::string& url) {
    if (!closed_) events_.BeforeNavigate2(url);
}

void HeadlessWebEngine::FireNavigateComplete2(const std::string& url) {
    if (!closed_) events_.NavigateComplete2(url);
}

void HeadlessWebEngine::FireNavigateError(const std::string& url, std::int32_t status) {
    if (!closed_) events_.NavigateError(url, status);
}

void HeadlessWebEngine::FireCommandStateChange(int command, bool enabled) {
    if (!closed_) events_.CommandStateChange(command, enabled);
}

void HeadlessWebEngine::FireMouseActivate() {
    if (!closed_ && display_ != 0) events_.DisplayMouseActivate();
}

void HeadlessWebEngine::TakeFocus(platform::EngineFocusEntry entry) {
    const char* where = entry == platform::EngineFocusEntry::First  ? "First"
                        : entry == platform::EngineFocusEntry::Last ? "Last"
                                                                    : "Keep";
    Log(std::string("WebEngine.TakeFocus(") + where + ")");
    hasFocus_ = display_ != 0;
}

void HeadlessWebEngine::ReleaseFocus() {
    Log("WebEngine.ReleaseFocus");
    hasFocus_ = false;
}

void HeadlessWebEngine::FireFocused() {
    if (closed_ || display_ == 0) return;
    hasFocus_ = true;
    events_.DisplayFocused();
}

void HeadlessWebEngine::FireFocusLeaving(bool forward) {
    if (!closed_ && display_ != 0) events_.DisplayFocusLeaving(forward);
}

}  // namespace velmora::headless
