// The web view inside the real main window: built from its description, a
// chapter chosen, the slide to the reader page and back.
#include "WebViewFixture.h"
#include "toolkit/controls/ToolkitServices.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <regex>
#include <set>

#include "program/Unit2.h"
#include "toolkit/controls/RegisterControls.h"
#include "toolkit/controls/TabControl.h"
#include "toolkit/core/Resources.h"

namespace velmora {
void RegisterResource_TFORM2();
}

namespace velmora::webview_test {
namespace {

class ReaderPageTest : public WebViewTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        WebViewTest::SetUp();
        services.emplace(ToolkitServices{.processMessages = [this] { platform.DispatchPending(); }});
        RegisterResource_TFORM2();
        RegisterControlClasses();
        RegisterWebBrowserService();
    }

    void TearDown() override {
        window.reset();
        services.reset();
        WebViewTest::TearDown();
    }

    void Build(int dpi) {
        platform.DefaultDpi = dpi;
        window = std::make_unique<TForm2>(nullptr);
        window->Create();
        window->Show();
        platform.DispatchPending();
    }

    // The display's moves (flags 0x14) since mark, as left edges; each must
    // have the given top edge and size (edges are rounded one by one, so a
    // moving rectangle may be a pixel wider or narrower on the way).
    std::vector<int> MovesSince(std::size_t mark, platform::WindowHandle display, int top, int cx, int cy) {
        std::vector<int> lefts;
        const std::regex move("SetWindowPos\\(" + std::to_string(display) + ", (-?\\d+), (-?\\d+), (\\d+), (\\d+), 0x14\\)");
        for (const std::string& line : LogSince(mark)) {
            std::smatch m;
            if (!std::regex_match(line, m, move)) continue;
            lefts.push_back(std::stoi(m[1]));
            EXPECT_EQ(std::stoi(m[2]), top) << line;
            EXPECT_NEAR(std::stoi(m[3]), cx, 1) << line;
            EXPECT_EQ(std::stoi(m[4]), cy) << line;
        }
        return lefts;
    }

    std::unique_ptr<TForm2> window;

private:
    std::optional<ScopedServices> services;
};

TEST_P(ReaderPageTest, ChapterLoadsAtOnceAndTheDisplayFollowsTheSlide) {
    const int dpi = GetParam();
    const float scale = static_cast<float>(dpi) / 96.0f;
    Build(dpi);
    TWebBrowser& view = *window->WebBrowser1;
    HeadlessWebEngine& engine = EngineOf(view);
    const platform::WindowHandle display = view.Binding()->Display();
    ASSERT_NE(display, 0u);

    // Built: only the empty-address load went out, the display is hidden.
    ASSERT_EQ(engine.Navigations().size(), 1u);
    EXPECT_EQ(engine.Navigations()[0].url, "");
    EXPECT_EQ(engine.Navigations()[0].flags, std::nullopt);
    EXPECT_FALSE(engine.Visible());
    EXPECT_FALSE(platform.Window(display)->visible);
    EXPECT_EQ(view.URL(), "");

    const auto mark = Mark();
    window->Button3Click(window->Button3);
    const std::string chapter = std::string("http://") + VELMORA_CHAPTER_HOST + "/Nav3.html";
    ASSERT_EQ(engine.Navigations().size(), 2u);
    EXPECT_EQ(engine.Navigations()[1].url, chapter);
    EXPECT_EQ(engine.Navigations()[1].flags, std::optional<std::int32_t>(0));
    // The load went out before the page started to move.
    const auto log = LogSince(mark);
    const auto load = std::find(log.begin(), log.end(), "WebEngine.Navigate(\"" + chapter + "\", 0)");
    const auto show = std::find(log.begin(), log.end(), "WebEngine.DoVerb(Show)");
    ASSERT_NE(load, log.end());
    ASSERT_NE(show, log.end());
    EXPECT_LT(load, show);

    // The display rode along with the page, frame by frame, leftwards from
    // one page width to the right, and ended exactly over the view.
    const RectF r = view.AbsoluteRect();
    const auto px = [&](float units) { return static_cast<int>(std::nearbyint(units * scale)); };
    const platform::RectI final{px(r.left), px(r.top), px(r.right), px(r.bottom)};
    EXPECT_EQ(final.left, 0);
    EXPECT_EQ(final.top, px(28));
    const std::vector<int> lefts = MovesSince(mark, display, final.top, final.Width(), final.Height());
    ASSERT_GE(lefts.size(), 3u);
    const auto start = std::max_element(lefts.begin(), lefts.end());
    EXPECT_NEAR(*start, final.Width(), 1);
    EXPECT_TRUE(std::is_sorted(std::make_reverse_iterator(lefts.end()), std::make_reverse_iterator(start)));
    EXPECT_GT(std::set<int>(start, lefts.end()).size(), 10u) << "the display moved on every frame";
    EXPECT_EQ(lefts.back(), 0);
    EXPECT_EQ(platform.Window(display)->bounds, final);
    EXPECT_TRUE(engine.Visible());
    EXPECT_TRUE(platform.Window(display)->visible);
    EXPECT_EQ(platform.ActiveWindow(), window->Handle());

    // Back to the contents and over again by the headers: hidden, shown,
    // and the page is not loaded again.
    window->TabControl1->SetTabIndex(0);
    EXPECT_FALSE(platform.Window(display)->visible);
    EXPECT_FALSE(engine.Visible());
    window->TabControl1->SetTabIndex(1);
    EXPECT_TRUE(platform.Window(display)->visible);
    EXPECT_EQ(engine.Navigations().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Dpis, ReaderPageTest, ::testing::Values(96, 120, 144));

}  // namespace
}  // namespace velmora::webview_test
