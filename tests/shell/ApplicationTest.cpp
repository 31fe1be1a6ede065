// The application object on the headless backend, without the program's
// window: registry, loop, idle timer, termination and the error policy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

#include "backends/headless/HeadlessPlatform.h"
#include "base/Exceptions.h"
#include "toolkit/shell/Application.h"
#include "platform/Platform.h"
#include "toolkit/shell/VisualStyle.h"

namespace velmora::testing {
namespace {

using headless::HeadlessPlatform;

// A non-window component class, registered like a form; it checks that its
// reference already names it while its constructor runs.
class TRecorderModule : public Component {
public:
    static inline TRecorderModule** watched = nullptr;
    static inline int constructed = 0;
    static inline bool referenceWasSet = false;
    explicit TRecorderModule(Component* owner) : Component(owner) {
        ++constructed;
        referenceWasSet = watched && *watched == this;
    }
};

class TFailingModule : public Component {
public:
    explicit TFailingModule(Component* owner) : Component(owner) { throw EComponentError("cannot build"); }
};

// A window class without any description: its creation fails on reading.
class TOrphanForm : public TForm {
public:
    using TForm::TForm;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info{.name = "TOrphanForm", .parent = &TForm::StaticClassInfo(), .isComponent = true};
        return info;
    }
};

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetCurrentPlatform(&layer);
        app = std::make_unique<TApplication>();
        TRecorderModule::constructed = 0;
        TRecorderModule::referenceWasSet = false;
        TRecorderModule::watched = nullptr;
    }
    void TearDown() override {
        app.reset();
        platform::SetCurrentPlatform(nullptr);
    }
    // Schedules a call that runs as a dispatched message, as a handler would.
    void AtAsMessage(double ms, std::function<void()> call) {
        host.At(ms, [this, call] { host.PostCallback(call); });
    }
    void PostThrow(std::function<void()> thrower) { host.PostCallback(std::move(thrower)); }

    HeadlessPlatform host;
    // The toolkit sees the backend itself.
    platform::Platform& layer{host};
    std::unique_ptr<TApplication> app;
};

TEST_F(ApplicationTest, CreateFormDefersUntilRunAndNamesTheInstanceBeforeConstruction) {
    TRecorderModule* module = nullptr;
    TRecorderModule::watched = &module;
    app->CreateForm(module);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(TRecorderModule::constructed, 0);

    AtAsMessage(50, [&] { app->Terminate(); });
    app->Run();
    EXPECT_EQ(TRecorderModule::constructed, 1);
    EXPECT_TRUE(TRecorderModule::referenceWasSet);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->Owner(), app.get());
    // A data module never becomes the main form.
    EXPECT_EQ(app->MainForm(), nullptr);
    EXPECT_TRUE(app->Terminated());

    // Once the windows exist, CreateForm creates at once.
    TRecorderModule* second = nullptr;
    TRecorderModule::watched = &second;
    app->CreateForm(second);
    EXPECT_EQ(TRecorderModule::constructed, 2);
    EXPECT_TRUE(TRecorderModule::referenceWasSet);
}

TEST_F(ApplicationTest, FailedConstructionEmptiesTheReferenceAndReachesTheCaller) {
    TFailingModule* failing = reinterpret_cast<TFailingModule*>(0x1);
    app->CreateForm(failing);
    EXPECT_THROW(app->Run(), EComponentError);
    EXPECT_EQ(failing, nullptr);
    EXPECT_TRUE(app->Components().empty());
}

TEST_F(ApplicationTest, WindowWhoseDescriptionIsMissingIsFreedAndNeverShown) {
    TOrphanForm* orphan = nullptr;
    app->CreateForm(orphan);
    EXPECT_THROW(app->Run(), EResourceNotFound);
    EXPECT_EQ(orphan, nullptr);
    EXPECT_TRUE(app->Components().empty());
    for (auto w : host.TopLevelWindows(platform::WindowKind::Form)) EXPECT_EQ(host.Window(w)->showCount, 0);
}

TEST_F(ApplicationTest, TerminatePostsQuitAfterTheNextDispatchAndOnlyOnce) {
    EXPECT_TRUE(app->Terminate());
    EXPECT_TRUE(app->Terminate());  // a second call changes nothing
    EXPECT_FALSE(host.QuitPosted());
    host.PostCallback([] {});
    app->HandleMessage();
    EXPECT_TRUE(host.QuitPosted());
    EXPECT_FALSE(app->Terminated());
    app->HandleMessage();
    EXPECT_TRUE(app->Terminated());
}

// A termination the loop accepts outside a dispatch that returns must end
// the loop by itself: before, the loop blocked until some unrelated message
// came, so the window stayed and only a second close seemed to work.
TEST_F(ApplicationTest, TerminationAcceptedOutsideAReturningDispatchEndsTheLoopWithoutAnotherMessage) {
    struct Case {
        const char* name;
        std::function<void(TApplication&, HeadlessPlatform&)> terminate;
        std::size_t boxes;
    };
    const Case cases[] = {
        {"a queued cross-thread call", [](TApplication& a, HeadlessPlatform& h) {
             h.At(10, [&a] { a.Queue([&a] { a.Terminate(); }); });
         }, 0},
        {"a handler that fails quietly after terminating", [](TApplication& a, HeadlessPlatform& h) {
             h.At(10, [&a, &h] { h.PostCallback([&a] { a.Terminate(); throw EAbort("quiet"); }); });
         }, 0},
        {"a handler whose foreign error reaches the loop", [](TApplication& a, HeadlessPlatform& h) {
             h.At(10, [&a, &h] { h.PostCallback([&a] { a.Terminate(); throw std::runtime_error("not ours"); }); });
         }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessPlatform fresh;
        platform::SetCurrentPlatform(&fresh);
        {
            TApplication application;
            c.terminate(application, fresh);
            bool secondRequestNeeded = false;
            fresh.At(60000, [&] {
                secondRequestNeeded = true;
                fresh.PostCallback([] {});
            });
            application.Run();
            EXPECT_TRUE(application.Terminated());
            EXPECT_FALSE(secondRequestNeeded);
            EXPECT_FALSE(fresh.Deadlocked());
            EXPECT_LT(fresh.NowMicroseconds(), 1000000u);
            EXPECT_EQ(fresh.MessageBoxes().size(), c.boxes);
        }
        platform::SetCurrentPlatform(&layer);
    }
}

TEST_F(ApplicationTest, TerminateHookCanRefuse) {
    bool allow = false;
    app->TerminateHooks.push_back([&] { return allow; });
    EXPECT_FALSE(app->Terminate());
    EXPECT_FALSE(app->Terminating());
    allow = true;
    EXPECT_TRUE(app->Terminate());
}

TEST_F(ApplicationTest, IdlePassArmsTheActionTimerAndWaits) {
    // Empty queue: idle pass, one-shot armed, the wait jumps to it.
    app->HandleMessage();
    EXPECT_EQ(host.NowMicroseconds(), 100000u);
    EXPECT_EQ(app->ActionUpdates(), 0u);
    app->HandleMessage();  // the timer message
    EXPECT_EQ(app->ActionUpdates(), 1u);
    EXPECT_EQ(app->ActionUpdateTimer(), 0u);
    app->HandleMessage();  // idle again: re-armed
    EXPECT_NE(app->ActionUpdateTimer(), 0u);
    EXPECT_EQ(host.NowMicroseconds(), 200000u);
}

TEST_F(ApplicationTest, IdlePassNotDoneNeitherArmsNorWaits) {
    app->OnIdle = [](Component*, bool& done) { done = false; };
    app->HandleMessage();
    EXPECT_EQ(app->ActionUpdateTimer(), 0u);
    EXPECT_EQ(host.NowMicroseconds(), 0u);
}

TEST_F(ApplicationTest, TerminateRemovesEveryToolkitTimerAndRefusesNewOnes) {
    int ticks = 0;
    layer.CreateTimer(10, true, [&] { ++ticks; });
    app->HandleMessage();  // arms the action timer too (and fires the 10 ms one)
    app->Terminate();
    EXPECT_EQ(host.LiveTimerCount(), 0u);
    EXPECT_EQ(layer.CreateTimer(10, true, [] {}), 0u);
    int before = ticks;
    host.Advance(1000);
    host.DispatchPending();
    EXPECT_EQ(ticks, before);
}

TEST_F(ApplicationTest, ProcessMessagesDispatchesAllWithoutIdleAndLetsErrorsThrough) {
    int ran = 0;
    host.PostCallback([&] { ++ran; });
    host.PostCallback([&] { ++ran; });
    app->ProcessMessages();
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(app->ActionUpdateTimer(), 0u);  // no idle pass
    EXPECT_EQ(host.NowMicroseconds(), 0u);    // no wait

    host.PostCallback([] { throw EInOutError("broken"); });
    host.PostCallback([&] { ++ran; });
    EXPECT_THROW(app->ProcessMessages(), EInOutError);
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(host.QueueSize(), 1u);

    host.PostQuitMessage();
    app->ProcessMessages();
    EXPECT_TRUE(app->Terminated());
    EXPECT_EQ(ran, 3);
}

TEST_F(ApplicationTest, LoopReportsHandlerErrorsAndCarriesOn) {
    int after = 0;
    AtAsMessage(10, [] { throw EInOutError("Disk full"); });
    AtAsMessage(20, [] { throw EAbort("quiet"); });
    AtAsMessage(30, [] { throw std::runtime_error("not ours"); });
    AtAsMessage(40, [] { throw EInOutError("Already said."); });
    AtAsMessage(50, [&] { ++after; });
    AtAsMessage(60, [&] { app->Terminate(); });
    app->Run();
    EXPECT_EQ(after, 1);
    const auto& boxes = host.MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Disk full.");
    EXPECT_EQ(boxes[0].icon, platform::MessageBoxIcon::Error);
    EXPECT_FALSE(boxes[0].taskModal);
    // No window is active: the application's own window owns the box.
    EXPECT_EQ(boxes[0].owner, app->HandleIfCreated());
    EXPECT_NE(boxes[0].owner, 0u);
    EXPECT_EQ(boxes[1].caption, "Application Error");
    EXPECT_NE(boxes[1].text.find("std::runtime_error"), std::string::npos);
    EXPECT_EQ(boxes[2].text, "Already said.");
}

TEST_F(ApplicationTest, ErrorBoxIsOwnedByTheActiveWindow) {
    auto w = host.CreateNativeWindow({}, nullptr);
    host.ActivateWindow(w);
    app->ShowException(EOSError("x"));
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].owner, w);
}

TEST_F(ApplicationTest, OnExceptionReplacesTheBox) {
    std::string seen;
    app->OnException = [&](Component*, const Exception& e) { seen = e.Message(); };
    host.PostCallback([] { throw EOSError("handled elsewhere"); });
    host.PostCallback([&] { app->Terminate(); });
    app->Run();
    EXPECT_EQ(seen, "handled elsewhere");
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST_F(ApplicationTest, ShowExceptionFromAnotherThreadIsShownByTheUiThread) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        app->ShowException(EOSError("from a worker"));
        returned = true;
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // Runs the queued calls the way an idle pass does, without the virtual
    // clock: pumping HandleMessage while the worker is still starting would
    // let virtual time run out before the request is even queued.
    while (host.MessageBoxes().empty() && std::chrono::steady_clock::now() < deadline) {
        app->RunQueuedCalls();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_TRUE(returned);
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].text, "from a worker.");
}

TEST_F(ApplicationTest, DoneApplicationDestroysOwnedComponentsAndRunsQueuedCalls) {
    TRecorderModule* module = nullptr;
    app->CreateForm(module);
    AtAsMessage(10, [&] { app->Terminate(); });
    app->Run();
    ASSERT_NE(module, nullptr);
    bool queuedRan = false;
    app->Queue([&] { queuedRan = true; });
    app->DoneApplication();
    EXPECT_TRUE(app->Components().empty());
    EXPECT_EQ(module, nullptr);
    EXPECT_TRUE(queuedRan);
}

TEST_F(ApplicationTest, OwnWindowIsAShownApplicationWindowWithTheDefaultTitle) {
    host.ExecutableFile = "/opt/velmora/VELMORA.bin";
    auto h = app->Handle();
    ASSERT_NE(h, 0u);
    EXPECT_EQ(app->Handle(), h);
    const auto* w = host.Window(h);
    EXPECT_EQ(w->kind, platform::WindowKind::Application);
    EXPECT_EQ(w->owner, 0u);
    EXPECT_TRUE(w->visible);
    EXPECT_EQ(w->title, "Velmora");
    app->SetTitle("Другое");
    EXPECT_EQ(host.Window(h)->title, "Другое");
}

// Services installed around the application neither leak into its own nor
// outlive it: one made before it may even go first.
TEST_F(ApplicationTest, ItsServicesAreItsOwnWhateverCameBeforeAndOthersMayLeaveFirst) {
    app.reset();
    bool earlierAsked = false;
    auto earlier = std::make_optional<ScopedServices>(ToolkitServices{
        .captionChanged = [&](IWindowRoot&) { earlierAsked = true; },
        .isClosing = [] { return true; },
    });
    app = std::make_unique<TApplication>();
    ASSERT_TRUE(Services().isClosing);
    EXPECT_FALSE(Services().isClosing());
    EXPECT_EQ(Services().ownerWindow(), app->Handle());
    earlier.reset();  // before the application
    EXPECT_EQ(Services().ownerWindow(), app->Handle());
    app.reset();
    EXPECT_FALSE(Services().ownerWindow);
    EXPECT_FALSE(Services().isClosing);
    EXPECT_FALSE(earlierAsked);
}

TEST(ApplicationTitle, DefaultTitleCutsAtTheFirstDotAndLowersTheRest) {
    struct Case {
        const char* path;
        const char* title;
    } cases[] = {
        {"/opt/velmora/Velmora", "Velmora"},
        {"C:\\Program Files\\Velmora\\VELMORA.EXE", "Velmora"},
        {"/usr/bin/velmora.tar.gz", "velmora"},
        {"/x/ЧИТАЛКА.exe", "Читалка"},
        {"/x/.hidden", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TApplication::DefaultTitle(c.path), c.title) << c.path;
}

TEST(VisualStyleChoice, FollowsTheSystemVersion) {
    struct Case {
        int major, minor;
        const char* style;
    } cases[] = {
        {10, 0, "WIN10STYLE"}, {11, 0, "WIN10STYLE"}, {6, 3, "WIN8STYLE"}, {6, 2, "WIN8STYLE"},
        {7, 0, "WIN8STYLE"},   {6, 1, "WIN7STYLE"},   {6, 0, "WIN7STYLE"}, {5, 1, "WIN7STYLE"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseVisualStyle({c.major, c.minor}), c.style) << c.major << "." << c.minor;
}

}  // namespace
}  // namespace velmora::testing
