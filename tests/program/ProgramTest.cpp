// The real program, from module initialisation to exit code, on the headless
// backend. Scheduled steps play the user while the event loop runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "platform/DesktopScale.h"
#include "toolkit/core/Resources.h"

namespace velmora::testing {
namespace {

using headless::HeadlessPlatform;
using platform::WindowKind;
using session_test::kHost;

class ProgramTest : public session_test::SessionFixture {
protected:
    using SessionFixture::RunProgram;
    // The process with another list of program modules.
    int RunProgram(const std::vector<ModuleHooks>& modules) { return RunProcess(host, modules, Velmora); }

    void ClickAt(double ms, session_test::ButtonField button) {
        At(ms, [this, button] { Click(PointOf(button)); });
    }
    bool AnyFormWindowShown() const {
        for (std::size_t h = 1; h <= host.WindowsCreated(); ++h) {
            const auto* w = host.Window(h);
            if (w && !w->isChild && w->kind == WindowKind::Form && w->showCount > 0) return true;
        }
        return false;
    }
};

TEST_F(ProgramTest, OpensAtTheSystemPositionWithTheDesignedClientAndClosesWithExitCodeZero) {
    platform::WindowHandle form = 0;
    At(50, [&] {
        ASSERT_NE(Form2, nullptr);
        ASSERT_EQ(Application->MainForm(), Form2);
        form = Form2->Handle();
        const auto* w = host.Window(form);
        EXPECT_TRUE(w->visible);
        EXPECT_EQ(w->showCount, 1);
        // Never seen at a wrong place or size: the first showing already had both.
        EXPECT_EQ(w->boundsAtFirstShow.left, 120);
        EXPECT_EQ(w->boundsAtFirstShow.top, 80);
        EXPECT_EQ(w->boundsAtFirstShow, w->bounds);
        EXPECT_EQ(host.GetClientSize(form), (platform::SizeI{368, 480}));
        EXPECT_EQ(w->title, "Тальмерин");
        EXPECT_EQ(host.ActiveWindow(), form);
        // The one taskbar entry carries the main window's caption.
        auto apps = host.TopLevelWindows(WindowKind::Application);
        ASSERT_EQ(apps.size(), 1u);
        EXPECT_EQ(host.Window(apps[0])->title, "Тальмерин");
        EXPECT_TRUE(host.Window(apps[0])->visible);
        EXPECT_EQ(w->owner, apps[0]);
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 0);
        EXPECT_EQ(Form2->WebBrowser1->StoredURL(), "");
    });
    CloseAt(100);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_FALSE(host.Deadlocked());
    EXPECT_NE(form, 0u);
    EXPECT_TRUE(host.Window(form)->destroyed);
    EXPECT_TRUE(host.TopLevelWindows().empty());
    EXPECT_EQ(Form2, nullptr);
    EXPECT_EQ(Application, nullptr);
    EXPECT_TRUE(host.UiThreadInitialized());
    EXPECT_TRUE(host.FloatingPointMasked());
}

TEST_F(ProgramTest, AtAHigherDpiTheClientAreaScalesUpExactly) {
    for (int dpi : {120, 144, 168}) {
        HeadlessPlatform fresh;
        fresh.DefaultDpi = dpi;
        platform::SizeI client;
        fresh.At(50, [&] {
            client = fresh.GetClientSize(Form2->Handle());
            fresh.CloseRequest(Form2->Handle());
        });
        EXPECT_EQ(RunProcess(fresh, ProgramModules(), Velmora), 0);
        int w = static_cast<int>(std::ceil(368.0 * dpi / 96)), h = static_cast<int>(std::ceil(480.0 * dpi / 96));
        EXPECT_EQ(client, (platform::SizeI{w, h})) << dpi;
    }
}

// A Linux desktop scales windows by a whole factor and text by its font DPI;
// the window follows both together.
struct DesktopScaleCase {
    int factor;
    double fontDpi;  // 0: the desktop sets none
    platform::SizeI client;
};

TEST_F(ProgramTest, TheClientAreaFollowsTheWholeFactorAndTheFontDpiTogether) {
    const DesktopScaleCase cases[] = {
        {1, 0, {368, 480}},   {1, 96, {368, 480}},   {1, 120, {460, 600}},   {1, 144, {552, 720}},
        {2, 0, {736, 960}},   {2, 96, {736, 960}},   {2, 120, {920, 1200}},  {2, 144, {1104, 1440}},
        {1, 108, {414, 540}},  // 112.5 %: halves of a pixel round up
    };
    for (const auto& c : cases) {
        HeadlessPlatform fresh;
        fresh.SetDesktopScale(c.factor, c.fontDpi);
        platform::SizeI client, reader;
        fresh.At(50, [&] { (Form2->*session_test::kChapterButtons[0])->Click(); });
        fresh.At(1000, [&] {
            client = fresh.GetClientSize(Form2->Handle());
            // The web view fills the reader page below the 28-unit header strip.
            for (std::size_t h = 1; h <= fresh.WindowsCreated(); ++h)
                if (const auto* w = fresh.Window(h); w && w->isChild && w->parent == Form2->Handle())
                    reader = {w->bounds.Width(), w->bounds.Height()};
            fresh.CloseRequest(Form2->Handle());
        });
        EXPECT_EQ(RunProcess(fresh, ProgramModules(), Velmora), 0);
        EXPECT_EQ(client, c.client) << c.factor << " x " << c.fontDpi;
        const double scale = platform::DesktopDpi(c.factor, c.fontDpi) / 96.0;
        const int strip = static_cast<int>(std::nearbyint(28 * scale));
        EXPECT_EQ(reader, (platform::SizeI{c.client.width, c.client.height - strip})) << c.factor << " x " << c.fontDpi;
    }
}

TEST_F(ProgramTest, FollowsAChangeOfTheDesktopScaleWhileRunning) {
    struct Step {
        int factor;
        double fontDpi;
        platform::SizeI client;
    } steps[] = {{1, 144, {552, 720}}, {2, 120, {920, 1200}}, {1, 0, {368, 480}}, {1, 96, {368, 480}}};
    platform::PointI corner;
    std::vector<platform::SizeI> seen;
    At(50, [&] {
        const auto* w = host.Window(Window());
        corner = {w->bounds.left, w->bounds.top};
    });
    double t = 100;
    for (const Step& step : steps) {
        At(t, [&, step] { host.SetDesktopScale(step.factor, step.fontDpi); });
        At(t + 50, [&] {
            seen.push_back(host.GetClientSize(Window()));
            const auto* w = host.Window(Window());
            EXPECT_EQ(w->bounds.left, corner.x);
            EXPECT_EQ(w->bounds.top, corner.y);
        });
        t += 100;
    }
    CloseAt(t);
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(seen.size(), std::size(steps));
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], steps[i].client) << steps[i].factor << " x " << steps[i].fontDpi;
}

TEST_F(ProgramTest, ChapterButtonHandsItsAddressToTheViewAndSlidesToTheReader) {
    ClickAt(100, &TForm2::Button3);
    At(110, [&] {
        // The handler is inside the slide: the address is already given.
        EXPECT_EQ(Form2->WebBrowser1->StoredURL(), "http://" + kHost + "/Nav3.html");
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
    });
    At(1000, [&] {
        EXPECT_FALSE(Form2->TabControl1->IsTransitionRunning());
        EXPECT_EQ(Form2->TabControl1->TabIndex(), 1);
        host.CloseRequest(Form2->Handle());
    });
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST_F(ProgramTest, EachHandlerUsesItsOwnFixedAddress) {
    struct Case {
        void (TForm2::*handler)(Component*);
        const char* path;
    } cases[] = {{&TForm2::Button1Click, "/Nav1.html"},
                 {&TForm2::Button2Click, "/Nav2.html"},
                 {&TForm2::Button3Click, "/Nav3.html"},
                 {&TForm2::Button4Click, "/Nav4.html"}};
    std::vector<std::string> seen;
    At(50, [&] {
        for (const auto& c : cases) {
            Form2->TabControl1->SetTabIndex(0);
            (Form2->*c.handler)(nullptr);
            seen.push_back(Form2->WebBrowser1->StoredURL());
        }
        host.CloseRequest(Form2->Handle());
    });
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(seen.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(seen[i], "http://" + kHost + cases[i].path);
}

TEST_F(ProgramTest, HandlerErrorIsShownAndTheLoopCarriesOn) {
    platform::EngineResult refusal;
    refusal.ok = false;
    refusal.code = static_cast<std::int32_t>(0x80004005);
    refusal.description = "Unspecified error";
    // The engine refuses from now on (the one the window already has).
    At(50, [&] {
        ASSERT_NE(headless::HeadlessWebEngine::Latest(), nullptr);
        headless::HeadlessWebEngine::Latest()->Faults().navigateRefusal = refusal;
    });
    ClickAt(100, &TForm2::Button1);
    int tabAfterError = -1;
    At(500, [&] {
        tabAfterError = Form2->TabControl1->TabIndex();
        host.CloseRequest(Form2->Handle());
    });
    EXPECT_EQ(RunProgram(), 0);
    auto errors = Boxes("Error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].icon, platform::MessageBoxIcon::Error);
    EXPECT_EQ(errors[0].buttons, platform::MessageBoxButtons::Ok);
    EXPECT_FALSE(errors[0].taskModal);
    EXPECT_NE(errors[0].owner, 0u);
    ASSERT_FALSE(errors[0].text.empty());
    // The full stop rule: no text ends in a character above '.'.
    EXPECT_LE(static_cast<unsigned char>(errors[0].text.back()), static_cast<unsigned char>('.'));
    EXPECT_EQ(tabAfterError, 0);  // the slide never started
    EXPECT_TRUE(Boxes("Application Error").empty());
}

TEST_F(ProgramTest, SilentAbortInAHandlerShowsNothing) {
    At(50, [&] {
        Form2->Button2->OnClick = [](Component*) { throw EAbort("Operation aborted"); };
    });
    ClickAt(100, &TForm2::Button2);
    CloseAt(200);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST_F(ProgramTest, MissingDescriptionEndsInTheLastChanceReportWithoutAWindowShown) {
    std::vector<ModuleHooks> modules = {{"no resources", [] { UnregisterResource("TFORM2"); }, nullptr}};
    EXPECT_EQ(RunProgram(modules), 1);
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    const auto& box = host.MessageBoxes()[0];
    EXPECT_EQ(box.caption, "Application Error");
    EXPECT_TRUE(box.taskModal);
    EXPECT_EQ(box.owner, 0u);
    EXPECT_EQ(box.text.rfind("Exception EResourceNotFound in module Velmora at ", 0), 0u) << box.text;
    EXPECT_TRUE(box.text.ends_with(".\r\n"));
    EXPECT_FALSE(AnyFormWindowShown());
    EXPECT_TRUE(host.TopLevelWindows().empty());
    EXPECT_EQ(Form2, nullptr);
}

TEST_F(ProgramTest, CorruptDescriptionEndsInTheLastChanceReportWithoutAWindowShown) {
    static const std::uint8_t corrupt[] = {'T', 'P', 'F', '0', 0xF1, 0x06, 'T', 'F', 'o', 'r', 'm', '2', 0x05};
    std::vector<ModuleHooks> modules = {{"bad resources", [] { RegisterResource("TFORM2", corrupt); }, nullptr}};
    EXPECT_EQ(RunProgram(modules), 1);
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].caption, "Application Error");
    EXPECT_FALSE(AnyFormWindowShown());
    EXPECT_EQ(Form2, nullptr);
}

TEST_F(ProgramTest, FailingStartUpCopyEndsBeforeAnyWindowExists) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("velmora-program-" + std::to_string(::getpid()));
    fs::create_directories(root / "bin" / "StartUp");
    fs::create_directories(root / "user" / "clash");  // a directory where a file must go
    {
        std::ofstream(root / "bin" / "StartUp" / "clash") << "x";
    }
    host.ExecutableFile = (root / "bin" / "Velmora").string();
    host.UserDataDirectory = (root / "user").string();
    EXPECT_EQ(RunProgram(), 1);
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].text.rfind("Exception EInOutError in module Velmora at ", 0), 0u);
    EXPECT_EQ(host.WindowsCreated(), 0u);
    std::error_code ec;
    fs::remove_all(root, ec);
}

}  // namespace
}  // namespace velmora::testing

namespace velmora::testing {
namespace {

TEST_F(ProgramTest, CloseRequestDuringASlideEndsTheProgram) {
    ClickAt(100, &TForm2::Button2);
    CloseAt(200);  // the slide takes 300 ms
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_LT(host.NowMs(), 10000.0);
}

}  // namespace
}  // namespace velmora::testing
