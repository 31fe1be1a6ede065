// Building a web view, its first placement, its engine failures and its
// release, as the engine and the window system see them.
#include "WebViewFixture.h"

#include "base/Exceptions.h"

namespace velmora::webview_test {
namespace {

TEST_F(WebViewTest, EngineCallsFromConstructionToTeardown) {
    MakeWindow();
    const auto start = Mark();
    TWebBrowser* view = AddView();
    const platform::WindowHandle display = view->Binding()->Display();
    ASSERT_NE(display, 0u);
    const std::string main = std::to_string(form->Handle());

    // Created with the engine at once; placed while its page is still empty.
    EXPECT_TRUE(InOrder(LogSince(start), {
                                             "WebEngine.Create",
                                             "WebEngine.Initialize",
                                             "WebEngine.PutSilent(true)",
                                             "WebEngine.InPlaceActivate(" + main + ", 0, 28, 0, 0)",
                                             "WebEngine.DisplayWindow() = " + std::to_string(display),
                                             "WebEngine.Navigate(\"\", missing)",
                                             Hidden(display),
                                             Pos(display, 0, 28, 368, 452, "0x14"),
                                             Shown(display),
                                         }));
    EXPECT_EQ(Count(LogSince(start), "WebEngine.InPlaceActivate(" + main + ", 0, 28, 0, 0)"), 1);
    EXPECT_EQ(platform.GetParentWindow(display), form->Handle());
    EXPECT_EQ(BrowserPlacementRegistry::For(*form).DisplayOf(*view), display);
    EXPECT_TRUE(EngineOf(*view).Silent());

    // The page is hidden: the engine is hidden through its verb, the display
    // by the window system, nothing is moved.
    auto mark = Mark();
    page->SetVisible(false);
    EXPECT_TRUE(InOrder(LogSince(mark), {"WebEngine.GetVisible() = true", "WebEngine.PutVisible(false)",
                                         "WebEngine.DoVerb(Hide)", Hidden(display)}));
    EXPECT_TRUE(LinesSince(mark, "SetWindowPos(" + std::to_string(display) + ", 0, 28").empty());

    // Teardown: the binding leaves the list and the registry, then the
    // engine is closed; nothing reaches the engine after that.
    mark = Mark();
    delete view;
    const auto teardown = LogSince(mark);
    ASSERT_FALSE(teardown.empty());
    EXPECT_EQ(teardown.back(), "WebEngine.Close");
    EXPECT_EQ(Count(teardown, "WebEngine.Close"), 1);
    EXPECT_TRUE(TWBFactoryService::Instance().Bindings().empty());
    EXPECT_EQ(BrowserPlacementRegistry::Find(*form), nullptr);
    EXPECT_TRUE(HeadlessWebEngine::LiveEngines().empty());
}

TEST_F(WebViewTest, DestroyingTheWindowReleasesEveryEngine) {
    MakeWindow();
    AddView();
    AddView();
    EXPECT_EQ(TWBFactoryService::Instance().Bindings().size(), 2u);
    const auto mark = Mark();
    form.reset();
    EXPECT_EQ(Count(LogSince(mark), "WebEngine.Close"), 2);
    // The fixture's teardown checks that nothing is left alive.
}

TEST_F(WebViewTest, EngineThatCannotBeCreatedStopsTheBuild) {
    struct Case {
        const char* name;
        bool atCreation;
        platform::EngineResult failure;
        std::string message;
    };
    const Case cases[] = {
        {"class missing", true, {false, static_cast<std::int32_t>(0x80040154), "Class not registered"},
         "Class not registered"},
        {"initialisation refused", false, {false, static_cast<std::int32_t>(0x8000FFFF), ""},
         "The web engine failed with error code 0x8000FFFF"},
    };
    MakeWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.WebEngineCreationFailure.reset();
        HeadlessWebEngine::ResetNextEngineFaults();
        if (c.atCreation)
            platform.WebEngineCreationFailure = c.failure;
        else
            HeadlessWebEngine::NextEngineFaults().initialize = c.failure;
        const std::size_t components = form->Components().size();
        try {
            new TWebBrowser(form.get());
            ADD_FAILURE() << "no error";
        } catch (const EOleError& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.ErrorCode(), c.failure.code);
        }
        EXPECT_EQ(form->Components().size(), components);
        EXPECT_TRUE(TWBFactoryService::Instance().Bindings().empty());
    }
    platform.WebEngineCreationFailure.reset();
    HeadlessWebEngine::ResetNextEngineFaults();
}

TEST_F(WebViewTest, FirstPlacementFailuresNameTheMissingPiece) {
    struct Case {
        bool noInPlaceObject;
        bool noWindow;
        std::string message;
    };
    const Case cases[] = {
        {true, false, "OLE control activation failed"},
        {false, true, "Could not obtain OLE control window handle"},
    };
    MakeWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        HeadlessWebEngine::NextEngineFaults().noInPlaceObject = c.noInPlaceObject;
        HeadlessWebEngine::NextEngineFaults().noWindow = c.noWindow;
        auto* view = new TWebBrowser(form.get());
        const auto mark = Mark();
        try {
            view->SetParent(page);
            ADD_FAILURE() << "no error";
        } catch (const EOleError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        // No load goes to an engine without a display, and no registry entry.
        EXPECT_TRUE(LinesSince(mark, "WebEngine.Navigate").empty());
        EXPECT_EQ(BrowserPlacementRegistry::Find(*form), nullptr);
        delete view;
        HeadlessWebEngine::ResetNextEngineFaults();
    }
}

TEST_F(WebViewTest, PublishedPropertiesReachTheView) {
    MakeWindow();
    const ClassInfo& info = TWebBrowser::StaticClassInfo();
    ASSERT_NE(info.factory, nullptr);
    auto* view = static_cast<TWebBrowser*>(info.factory(form.get()));
    EXPECT_TRUE(view->CanFocus());
    EXPECT_TRUE(view->EnableCaching());
    EXPECT_TRUE(view->Visible());
    EXPECT_EQ(view->URL(), "");

    const PropertyInfo* url = info.FindProperty("url");
    ASSERT_NE(url, nullptr);
    ASSERT_EQ(url->kind, PropertyKind::String);
    url->setString(*view, "http://host/Nav2.html");
    EXPECT_EQ(view->URL(), "http://host/Nav2.html");

    const PropertyInfo* caching = info.FindProperty("EnableCaching");
    ASSERT_NE(caching, nullptr);
    EXPECT_EQ(caching->enumInfo, &BooleanEnum);
    caching->setOrdinal(*view, 0);
    EXPECT_FALSE(view->EnableCaching());

    for (const char* event : {"OnDidStartLoad", "OnDidFinishLoad", "OnDidFailLoadWithError",
                              "OnShouldStartLoadWithRequest"}) {
        const PropertyInfo* p = info.FindProperty(event);
        ASSERT_NE(p, nullptr) << event;
        EXPECT_EQ(p->kind, PropertyKind::Event) << event;
    }
    ASSERT_NE(info.FindProperty("Visible"), nullptr);
}

TEST_F(WebViewTest, NewWindowHandleRebuildsTheBindingAndLoadsAgain) {
    MakeWindow();
    TWebBrowser* view = AddView();
    view->SetEnableCaching(false);
    view->SetURL("http://host/Nav3.html");
    const auto mark = Mark();
    TWBFactoryService::Instance().FormHandleCreated(*form);

    ASSERT_EQ(TWBFactoryService::Instance().Bindings().size(), 1u);
    EXPECT_EQ(HeadlessWebEngine::LiveEngines().size(), 1u);
    EXPECT_TRUE(InOrder(LogSince(mark), {"WebEngine.Close", "WebEngine.Create", "WebEngine.PutSilent(true)",
                                         "WebEngine.Navigate(\"\", missing)",
                                         "WebEngine.Navigate(\"http://host/Nav3.html\", 12)"}));
    EXPECT_FALSE(view->Binding()->Caching());
    EXPECT_EQ(BrowserPlacementRegistry::For(*form).DisplayOf(*view), view->Binding()->Display());
}

TEST_F(WebViewTest, FailedRebuildIsRetriedByTheNextLoad) {
    MakeWindow();
    TWebBrowser* view = AddView();
    view->SetURL("http://host/Nav1.html");
    HeadlessWebEngine::NextEngineFaults().initialize =
        platform::EngineResult{false, static_cast<std::int32_t>(0x80004005), "engine gone"};
    EXPECT_THROW(TWBFactoryService::Instance().FormHandleCreated(*form), EOleError);
    EXPECT_EQ(view->Binding(), nullptr);
    EXPECT_EQ(view->URL(), "http://host/Nav1.html");

    HeadlessWebEngine::ResetNextEngineFaults();
    view->SetURL("http://host/Nav2.html");
    ASSERT_NE(view->Binding(), nullptr);
    EXPECT_EQ(EngineOf(*view).Navigations().back().url, "http://host/Nav2.html");
}

}  // namespace
}  // namespace velmora::webview_test
