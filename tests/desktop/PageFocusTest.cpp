// The keyboard between the window and the engine's page on the real engine:
// the page takes GTK's focus when asked, walks its links itself, and hands
// the keys back to the toolkit's order past its last link or before its
// first, without GTK moving the focus anywhere by itself.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "EngineFixture.h"

namespace velmora::gtk::testing {
namespace {

constexpr const char* kTwoLinks =
    "<!DOCTYPE html><title>links</title><p>Text</p><a id=one href='#1'>one</a> <a id=two href='#2'>two</a>";

class PageFocusTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        path_ = std::string(g_get_tmp_dir()) + "/velmora-page-focus-" + std::to_string(getpid()) + ".html";
        ASSERT_TRUE(g_file_set_contents(path_.c_str(), kTwoLinks, -1, nullptr));
        ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 200 * scale, 150 * scale}));
        ASSERT_TRUE(engine->Navigate(path_, std::nullopt).ok);
        view = GTK_WIDGET(View());
        top = platform_->TopLevelWidget(window);
        ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(view) && LoadSettled() && Title() == "links"; }));
    }
    void TearDown() override {
        if (!path_.empty()) unlink(path_.c_str());
        EngineTest::TearDown();
    }

    // The id of the page's focused link, "none" when no link has the focus
    // ("" when the page does not answer).
    std::string FocusedLink() {
        return Evaluate("document.activeElement && document.activeElement.id ? document.activeElement.id : 'none'");
    }
    bool Logged(const std::string& entry) { return events.Saw(entry); }
    void Tab(bool forward) { SendKeyPress(top, forward ? GDK_KEY_Tab : GDK_KEY_ISO_Left_Tab, forward ? 0 : GDK_SHIFT_MASK); }

    GtkWidget* view = nullptr;
    GtkWidget* top = nullptr;

private:
    std::string path_;
};

TEST_F(PageFocusTest, TheLinksAreWalkedInThePageAndTheEndsHandTheKeysToTheWindowsOrder) {
    engine->TakeFocus(platform::EngineFocusEntry::First);
    ASSERT_TRUE(gtk_widget_has_focus(view));
    Tab(true);
    ASSERT_TRUE(Pump([&] { return FocusedLink() == "one"; }));
    Tab(true);
    ASSERT_TRUE(Pump([&] { return FocusedLink() == "two"; }));
    Tab(true);
    ASSERT_TRUE(Pump([&] { return Logged("keys leave forward"); }));
    // GTK did not move the focus: the toolkit decides (here: the page again).
    EXPECT_TRUE(gtk_widget_has_focus(view));
    engine->TakeFocus(platform::EngineFocusEntry::Last);
    EXPECT_TRUE(Pump([&] { return FocusedLink() == "none"; })) << "no link stays focused";
    Tab(false);
    ASSERT_TRUE(Pump([&] { return FocusedLink() == "two"; }));
    Tab(false);
    ASSERT_TRUE(Pump([&] { return FocusedLink() == "one"; }));
    Tab(false);
    ASSERT_TRUE(Pump([&] { return Logged("keys leave backward"); }));
    EXPECT_TRUE(gtk_widget_has_focus(view));
    EXPECT_FALSE(Logged("page took the keys")) << "the toolkit's own requests are not told back to it";
}

TEST_F(PageFocusTest, ArrowsThePageCannotUseLeaveTheFocusInThePage) {
    engine->TakeFocus(platform::EngineFocusEntry::First);
    ASSERT_TRUE(gtk_widget_has_focus(view));
    for (GtkDirectionType direction : {GTK_DIR_UP, GTK_DIR_DOWN, GTK_DIR_LEFT, GTK_DIR_RIGHT})
        EXPECT_TRUE(gtk_widget_child_focus(top, direction));
    PumpFor(100);
    EXPECT_TRUE(gtk_widget_has_focus(view));
    EXPECT_FALSE(Logged("keys leave forward") || Logged("keys leave backward"));
}

TEST_F(PageFocusTest, ReleasingGivesTheKeysToTheWindowAndAFocusFromElsewhereIsTold) {
    engine->TakeFocus(platform::EngineFocusEntry::Keep);
    ASSERT_TRUE(gtk_widget_has_focus(view));
    engine->ReleaseFocus();
    EXPECT_TRUE(gtk_widget_has_focus(platform_->DrawingArea(window)));
    // Away from the page, a move of GTK's focus is GTK's own business.
    EXPECT_FALSE(Logged("keys leave forward"));
    // An assistive tool puts the focus into the page.
    gtk_widget_grab_focus(view);
    EXPECT_TRUE(Pump([&] { return Logged("page took the keys"); }));
}

}  // namespace
}  // namespace velmora::gtk::testing
