// The engine core the desktop and Windows bindings share, over a fake engine
// and the fake pump: its rules hold for every backend that supplies the hooks.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "FakeNativePlatform.h"
#include "backends/native/NativeWebEngine.h"
#include "base/Exceptions.h"

namespace velmora::testing {
namespace {

using platform::RectI;
using platform::WindowHandle;

class RecordingEvents : public platform::IWebEngineEvents {
public:
    std::vector<std::string> log;
    int activations = 0;
    bool failActivation = false;

    void BeforeNavigate2(const std::string& url) override { log.push_back("before " + url); }
    void NavigateComplete2(const std::string& url) override { log.push_back("complete " + url); }
    void NavigateError(const std::string& url, std::int32_t status) override {
        log.push_back("error " + url + " " + std::to_string(status));
    }
    void CommandStateChange(int command, bool enabled) override {
        log.push_back("command " + std::to_string(command) + (enabled ? " on" : " off"));
    }
    void DisplayMouseActivate() override {
        ++activations;
        if (failActivation) throw EInvalidOperation("activation refused");
    }
};

class FakeEngine final : public platform::NativeWebEngine {
public:
    FakeEngine(FakeNativePlatform& platform, platform::IWebEngineEvents& events) : NativeWebEngine(platform, events) {}
    ~FakeEngine() override { Close(); }

    platform::EngineResult Initialize() override { return {}; }
    platform::EngineResult PutSilent(bool) override { return {}; }
    platform::EngineResult Navigate(const std::string& url, std::optional<std::int32_t>) override {
        log.push_back("navigate " + url);
        return {};
    }
    bool GetVisible() override { return true; }
    void PutVisible(bool) override {}
    void DoVerb(platform::EngineVerb) override {}

    using NativeWebEngine::ReportBeforeNavigate;
    using NativeWebEngine::ReportCommandState;
    using NativeWebEngine::ReportHistory;
    using NativeWebEngine::ReportMouseActivate;
    using NativeWebEngine::ReportNavigateComplete;
    using NativeWebEngine::ReportNavigateError;

    // What the next first activation yields: refused, or this display (0: none).
    bool refuseActivation = false;
    WindowHandle displayToGive = 77;
    std::vector<std::string> log;
    FakeNativePlatform* platform = nullptr;

protected:
    void ActivationTarget(WindowHandle mainWindow, const RectI&) override {
        log.push_back("target " + std::to_string(mainWindow));
    }
    bool ActivateDisplay(WindowHandle mainWindow, const RectI&, WindowHandle& display) override {
        log.push_back("activate " + std::to_string(mainWindow));
        if (refuseActivation) return false;
        display = displayToGive;
        if (display) platform->parents[display] = mainWindow;
        return true;
    }
    void CloseEngine() override { log.push_back("close, display " + std::to_string(DisplayWindow())); }
};

// A system that refuses one parent window.
class ParentingPlatform : public FakeNativePlatform {
public:
    WindowHandle refusedParent = 0;
    void SetParentWindow(WindowHandle child, WindowHandle parent, bool first) override {
        if (parent != refusedParent) FakeNativePlatform::SetParentWindow(child, parent, first);
    }
};

class NativeWebEngineTest : public ::testing::Test {
protected:
    NativeWebEngineTest() { engine.platform = &core; }
    void DispatchAll() {
        platform::Message message;
        while (core.PeekMessage(message)) core.DispatchMessage(message);
    }

    ParentingPlatform core;
    RecordingEvents events;
    FakeEngine engine{core, events};
};

TEST_F(NativeWebEngineTest, NotificationsWaitInTheQueueInOrderAndCloseDropsThoseStillWaiting) {
    engine.ReportBeforeNavigate("http://book/1");
    engine.ReportNavigateComplete("http://book/1");
    engine.ReportNavigateError("http://book/2", 404);
    engine.ReportHistory(false, true);
    engine.ReportCommandState(platform::CommandNavigateForward, true);
    EXPECT_TRUE(events.log.empty()) << "a handler ran inside the engine's callback";
    DispatchAll();
    EXPECT_EQ(events.log, (std::vector<std::string>{"before http://book/1", "complete http://book/1",
                                                    "error http://book/2 404", "command 1 off", "command 2 on",
                                                    "command 1 on"}));

    events.log.clear();
    engine.ReportBeforeNavigate("http://book/3");
    engine.Close();
    DispatchAll();
    EXPECT_TRUE(events.log.empty());
    // The next life of the engine is heard again.
    engine.ReportNavigateComplete("http://book/4");
    DispatchAll();
    EXPECT_EQ(events.log, std::vector<std::string>{"complete http://book/4"});
}

TEST_F(NativeWebEngineTest, NotificationsStillWaitingWhenTheEngineIsDestroyedAreDropped) {
    RecordingEvents later;
    {
        FakeEngine gone(core, later);
        gone.platform = &core;
        gone.ReportBeforeNavigate("http://book/1");
    }
    DispatchAll();
    EXPECT_TRUE(later.log.empty());
}

TEST_F(NativeWebEngineTest, PressIntoTheDisplayIsHeardAtOnceAndItsErrorReachesTheLoop) {
    engine.ReportMouseActivate();
    EXPECT_EQ(events.activations, 1);
    events.failActivation = true;
    engine.ReportMouseActivate();  // inside a system callback: nothing may escape
    EXPECT_EQ(events.activations, 2);
    platform::Message message;
    EXPECT_THROW(core.PeekMessage(message), EInvalidOperation);
}

TEST_F(NativeWebEngineTest, FirstActivationAttachesLaterOnesOnlyMoveTheDisplayAndNoneNavigates) {
    ASSERT_TRUE(engine.InPlaceActivate(5, {0, 0, 100, 80}));
    EXPECT_EQ(engine.DisplayWindow(), 77u);
    EXPECT_TRUE(core.placements.empty());

    ASSERT_TRUE(engine.InPlaceActivate(6, {10, 20, 110, 100}));
    EXPECT_EQ(engine.DisplayWindow(), 77u);
    EXPECT_EQ(core.parents.at(77), 6u);
    ASSERT_EQ(core.placements.size(), 1u);
    EXPECT_EQ(core.placements[0].window, 77u);
    EXPECT_EQ(core.placements[0].rect, (RectI{10, 20, 110, 100}));
    EXPECT_EQ(core.placements[0].flags, platform::PosMoveSize);
    EXPECT_EQ(engine.log, (std::vector<std::string>{"target 5", "activate 5", "target 6"}));
}

TEST_F(NativeWebEngineTest, ReactivationFailsWhenTheDisplayDoesNotEndUpInTheWindow) {
    ASSERT_TRUE(engine.InPlaceActivate(5, {0, 0, 100, 80}));
    core.refusedParent = 6;  // the system will not take the display there
    EXPECT_FALSE(engine.InPlaceActivate(6, {0, 0, 100, 80}));
    EXPECT_EQ(engine.DisplayWindow(), 77u);  // still the engine's display, still in its old window
    EXPECT_EQ(core.parents.at(77), 5u);
}

TEST_F(NativeWebEngineTest, RefusedOrWindowlessActivationAndCloseForgetTheDisplay) {
    const struct {
        const char* name;
        bool refuse;
        WindowHandle display;
        bool activated;
    } cases[] = {
        {"no in-place object", true, 77, false},
        {"an object without a window", false, 0, true},
        {"a display", false, 77, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine.refuseActivation = c.refuse;
        engine.displayToGive = c.display;
        engine.log.clear();
        EXPECT_EQ(engine.InPlaceActivate(5, {0, 0, 100, 80}), c.activated);
        EXPECT_EQ(engine.DisplayWindow(), c.refuse ? 0u : c.display);
        // The backend closes while the display is still known; afterwards it
        // is forgotten and the next activation attaches anew.
        engine.Close();
        EXPECT_EQ(engine.log.back(), "close, display " + std::to_string(c.refuse ? 0u : c.display));
        EXPECT_EQ(engine.DisplayWindow(), 0u);
    }
}

}  // namespace
}  // namespace velmora::testing
