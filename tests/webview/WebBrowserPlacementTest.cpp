// Keeping the engine's native display over the view: rectangle, visibility,
// stacking, parent changes and realignment.
#include "WebViewFixture.h"

namespace velmora::webview_test {
namespace {

TEST_F(WebViewTest, DisplayRectangleIsScaledAndRoundedHalfToEven) {
    struct Case {
        int dpi;
        RectF units;
        platform::RectI pixels;
    };
    const Case cases[] = {
        {96, {0, 28, 368, 480}, {0, 28, 368, 480}},
        {96, {3.5f, 28.5f, 100.5f, 201.5f}, {4, 28, 100, 202}},
        {120, {0, 28, 368, 480}, {0, 35, 460, 600}},
        {120, {2, 6, 370, 482}, {2, 8, 462, 602}},  // 2.5 7.5 462.5 602.5
        {144, {3, 5, 369, 481}, {4, 8, 554, 722}},  // 4.5 7.5 553.5 721.5
        {144, {1, 1, 11, 3}, {2, 2, 16, 4}},        // 1.5 1.5 16.5 4.5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "dpi " << c.dpi << " rect " << c.units.left << "," << c.units.top << ","
                                          << c.units.right << "," << c.units.bottom);
        MakeWindow(c.dpi);
        auto* view = new TWebBrowser(form.get());
        view->SetParent(&form->ClientArea());
        const auto mark = Mark();
        view->SetBounds(c.units.left, c.units.top, c.units.Width(), c.units.Height());
        const platform::WindowHandle display = view->Binding()->Display();
        const auto moves = LinesSince(mark, "SetWindowPos(" + std::to_string(display));
        ASSERT_GE(moves.size(), 2u);
        EXPECT_EQ(moves[moves.size() - 2], Pos(display, c.pixels.left, c.pixels.top, c.pixels.Width(),
                                                c.pixels.Height(), "0x14"));
        EXPECT_EQ(moves.back(), Shown(display));
        form.reset();
    }
}

TEST_F(WebViewTest, NearlyEmptyViewKeepsItsDisplayHidden) {
    struct Case {
        float width;
        float height;
        bool shown;
    };
    const Case cases[] = {
        {0, 100, false},         {100, 0, false},      {0.00005f, 100, false},
        {100, 0.0001f, false},   {0.0002f, 100, true}, {100, 0.001f, true},
    };
    MakeWindow();
    TWebBrowser* view = AddView();
    const platform::WindowHandle display = view->Binding()->Display();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        view->SetBounds(0, 0, 368, 452);
        const auto mark = Mark();
        view->SetBounds(0, 0, c.width, c.height);
        const auto moves = LinesSince(mark, "SetWindowPos(" + std::to_string(display));
        ASSERT_FALSE(moves.empty());
        EXPECT_EQ(moves.back(), c.shown ? Shown(display) : Hidden(display));
        if (!c.shown) {
            EXPECT_EQ(moves.size(), 1u) << "a hidden display is not moved";
        }
        // The engine itself stays visible: only the display is hidden.
        EXPECT_TRUE(EngineOf(*view).Visible());
    }
}

TEST_F(WebViewTest, EngineVisibilityVerbsOnlyOnRealChange) {
    MakeWindow();
    TWebBrowser* view = AddView();
    const platform::WindowHandle display = view->Binding()->Display();
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> verbs;  // PutVisible/DoVerb lines expected
        bool shown;
    };
    const std::vector<Step> steps = {
        {"realign, nothing changed", [] { TWBFactoryService::Instance().RealignBrowsers(); }, {}, true},
        {"view hidden", [&] { view->SetVisible(false); }, {"WebEngine.PutVisible(false)", "WebEngine.DoVerb(Hide)"},
         false},
        {"page hidden too", [&] { page->SetVisible(false); }, {}, false},
        {"view shown, page still hidden", [&] { view->SetVisible(true); }, {}, false},
        {"page shown", [&] { page->SetVisible(true); }, {"WebEngine.PutVisible(true)", "WebEngine.DoVerb(Show)"},
         true},
        {"moved while shown", [&] { page->SetBounds(10, 28, 368, 452); }, {}, true},
        {"window area hidden", [&] { form->ClientArea().SetVisible(false); },
         {"WebEngine.PutVisible(false)", "WebEngine.DoVerb(Hide)"}, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const auto mark = Mark();
        s.act();
        std::vector<std::string> verbs = LinesSince(mark, "WebEngine.PutVisible");
        for (const std::string& line : LinesSince(mark, "WebEngine.DoVerb")) verbs.push_back(line);
        EXPECT_EQ(verbs, s.verbs);
        EXPECT_EQ(EngineOf(*view).Visible(), s.shown);
        const auto moves = LinesSince(mark, "SetWindowPos(" + std::to_string(display));
        ASSERT_FALSE(moves.empty());
        EXPECT_EQ(moves.back(), s.shown ? Shown(display) : Hidden(display));
    }
}

TEST_F(WebViewTest, ShowingTheEngineLeavesTheActiveWindowAlone) {
    MakeWindow();
    HeadlessWebEngine::NextEngineFaults().showActivatesDisplay = true;
    TWebBrowser* view = AddView();
    page->SetVisible(false);
    platform.Activate(form->Handle());
    platform.DispatchPending();
    ASSERT_EQ(platform.ActiveWindow(), form->Handle());

    page->SetVisible(true);
    ASSERT_TRUE(EngineOf(*view).Visible());
    EXPECT_EQ(platform.ActiveWindow(), form->Handle());
    platform.DispatchPending();
    EXPECT_EQ(platform.ActiveWindow(), form->Handle());
}

TEST_F(WebViewTest, DisplayIsNotClippedByItsAncestors) {
    // A page that slides half out of its clipping parent: the display still
    // covers the whole view, wherever that lies in the window.
    MakeWindow();
    auto* clip = new TControl(form.get());
    clip->SetParent(&form->ClientArea());
    clip->SetBounds(0, 28, 368, 452);
    clip->SetClipChildren(true);
    auto* slidingPage = new TControl(form.get());
    slidingPage->SetParent(clip);
    slidingPage->SetBounds(368, 0, 368, 452);
    TWebBrowser* view = AddView(slidingPage);
    const platform::WindowHandle display = view->Binding()->Display();

    for (float x : {300.0f, 200.0f, 13.0f, 0.0f}) {
        SCOPED_TRACE(x);
        const auto mark = Mark();
        slidingPage->Position().SetX(x);
        const auto moves = LinesSince(mark, "SetWindowPos(" + std::to_string(display));
        ASSERT_GE(moves.size(), 2u);
        EXPECT_EQ(moves[moves.size() - 2], Pos(display, static_cast<int>(x), 28, 368, 452, "0x14"));
        EXPECT_EQ(moves.back(), Shown(display));
    }
}

TEST_F(WebViewTest, RealignPlacesEveryViewInCreationOrder) {
    MakeWindow();
    TWebBrowser* first = AddView();
    auto* second = new TWebBrowser(form.get());
    second->SetParent(&form->ClientArea());
    second->SetBounds(0, 0, 368, 28);
    const auto d1 = std::to_string(first->Binding()->Display());
    const auto d2 = std::to_string(second->Binding()->Display());

    const auto mark = Mark();
    TWBFactoryService::Instance().RealignBrowsers();
    EXPECT_EQ(LinesSince(mark, "SetWindowPos("),
              (std::vector<std::string>{"SetWindowPos(" + d1 + ", 0, 28, 368, 452, 0x14)",
                                        "SetWindowPos(" + d1 + ", 0, 0, 0, 0, 0x57)",
                                        "SetWindowPos(" + d2 + ", 0, 0, 368, 28, 0x14)",
                                        "SetWindowPos(" + d2 + ", 0, 0, 0, 0, 0x57)"}));
}

TEST_F(WebViewTest, ActivatingAWindowRealignsTheViews) {
    RegisterWebBrowserService();
    RegisterWebBrowserService();  // a second registration adds nothing
    MakeWindow();
    TWebBrowser* view = AddView();
    const platform::WindowHandle display = view->Binding()->Display();
    const auto mark = Mark();
    platform.Activate(form->Handle());
    platform.DispatchPending();
    EXPECT_EQ(LinesSince(mark, "SetWindowPos("),
              (std::vector<std::string>{Pos(display, 0, 28, 368, 452, "0x14"), Shown(display)}));
}

TEST_F(WebViewTest, ScaleChangeRePlacesTheDisplay) {
    RegisterWebBrowserService();
    MakeWindow();
    TWebBrowser* view = AddView();
    const platform::WindowHandle display = view->Binding()->Display();
    const auto mark = Mark();
    platform.ChangeDpi(form->Handle(), 144);
    platform.DispatchPending();
    const auto moves = LinesSince(mark, "SetWindowPos(" + std::to_string(display));
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves[moves.size() - 2], Pos(display, 0, 42, 552, 678, "0x14"));
    EXPECT_EQ(moves.back(), Shown(display));
}

TEST_F(WebViewTest, ParentChangeSavesAndRestoresVisibility) {
    MakeWindow();
    TWebBrowser* view = AddView();
    const platform::WindowHandle display = view->Binding()->Display();
    struct Case {
        bool visibleBefore;
    };
    for (const Case c : {Case{true}, Case{false}}) {
        SCOPED_TRACE(c.visibleBefore ? "visible" : "invisible");
        view->SetVisible(c.visibleBefore);

        auto mark = Mark();
        view->SetParent(nullptr);
        EXPECT_FALSE(view->Visible());
        EXPECT_EQ(view->SavedVisible(), c.visibleBefore);
        // A view out of the tree leaves nothing showing over the window.
        EXPECT_FALSE(EngineOf(*view).Visible());
        if (c.visibleBefore) {
            EXPECT_EQ(LinesSince(mark, "SetWindowPos(").back(), Hidden(display));
        }

        mark = Mark();
        view->SetParent(page);
        EXPECT_EQ(view->Visible(), c.visibleBefore);
        EXPECT_EQ(EngineOf(*view).Visible(), c.visibleBefore);
        EXPECT_EQ(LinesSince(mark, "SetWindowPos(").back(), c.visibleBefore ? Shown(display) : Hidden(display));
        // The same display comes back; no second activation.
        EXPECT_TRUE(LinesSince(mark, "WebEngine.InPlaceActivate").empty());
        EXPECT_EQ(view->Binding()->Display(), display);
    }
}

TEST_F(WebViewTest, SubtreeOutsideAnyWindowKeepsTheEngineOffScreen) {
    MakeWindow();
    auto* panel = new TControl(form.get());
    panel->SetBounds(0, 28, 368, 452);
    auto* view = new TWebBrowser(form.get());
    auto mark = Mark();
    view->SetParent(panel);
    view->SetBounds(0, 0, 368, 452);
    // Nothing to show it in yet: no activation, no verbs, no display.
    EXPECT_EQ(LogSince(mark), std::vector<std::string>{});
    EXPECT_EQ(view->Binding()->Display(), 0u);

    mark = Mark();
    panel->SetParent(&form->ClientArea());
    const platform::WindowHandle display = view->Binding()->Display();
    ASSERT_NE(display, 0u);
    const auto moves = LinesSince(mark, "SetWindowPos(");
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves[moves.size() - 2], Pos(display, 0, 28, 368, 452, "0x14"));
    EXPECT_EQ(moves.back(), Shown(display));

    // The panel leaves the window with the view still inside it.
    mark = Mark();
    panel->SetParent(nullptr);
    EXPECT_TRUE(view->Visible());
    EXPECT_FALSE(EngineOf(*view).Visible());
    EXPECT_EQ(LinesSince(mark, "SetWindowPos(").back(), Hidden(display));
    EXPECT_TRUE(LinesSince(mark, "SetWindowPos(" + std::to_string(display) + ", 0, 28").empty());
}

TEST_F(WebViewTest, MovingToAnotherWindowMovesTheDisplay) {
    MakeWindow();
    TWebBrowser* view = AddView();
    const platform::WindowHandle display = view->Binding()->Display();

    HostForm other(nullptr);
    other.CreateHandle();
    const auto mark = Mark();
    view->SetParent(&other.ClientArea());
    EXPECT_TRUE(InOrder(LogSince(mark), {"SetParentWindow(" + std::to_string(display) + ", " +
                                         std::to_string(other.Handle()) + ", bottom)"}));
    EXPECT_EQ(platform.GetParentWindow(display), other.Handle());
    EXPECT_EQ(BrowserPlacementRegistry::Find(*form), nullptr);
    EXPECT_EQ(BrowserPlacementRegistry::For(other).DisplayOf(*view), display);
    EXPECT_TRUE(LinesSince(mark, "WebEngine.InPlaceActivate").empty());
    delete view;
    EXPECT_EQ(BrowserPlacementRegistry::Find(other), nullptr);
}

TEST_F(WebViewTest, NestedDisplayIsPlacedInsideItsHostDisplay) {
    MakeWindow();
    TWebBrowser* outer = AddView();
    TWebBrowser* inner = AddView(outer);
    inner->SetBounds(10, 20, 100, 50);
    const auto mark = Mark();
    TWBFactoryService::Instance().RealignBrowsers();
    const platform::WindowHandle host = outer->Binding()->Display();
    const platform::WindowHandle display = inner->Binding()->Display();
    EXPECT_EQ(platform.GetParentWindow(display), host);
    EXPECT_TRUE(InOrder(LogSince(mark), {Pos(display, 10, 20, 100, 50, "0x14"), Shown(display)}));
    auto& registry = BrowserPlacementRegistry::For(*form);
    EXPECT_FALSE(registry.HasDisplayBefore(*outer));
    EXPECT_TRUE(registry.HasDisplayBefore(*inner));
}

}  // namespace
}  // namespace velmora::webview_test
