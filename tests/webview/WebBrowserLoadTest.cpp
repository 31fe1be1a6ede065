// Assigning addresses, the engine's answers to them, and its notifications.
#include "WebViewFixture.h"

#include <filesystem>
#include <fstream>

#include "base/Exceptions.h"

namespace velmora::webview_test {
namespace {

TEST_F(WebViewTest, EveryAssignmentLoadsWithTheCachingFlags) {
    struct Case {
        bool caching;
        std::int32_t flags;
    };
    MakeWindow();
    for (const Case c : {Case{true, 0}, Case{false, 12}}) {
        SCOPED_TRACE(c.caching ? "caching on" : "caching off");
        TWebBrowser* view = AddView();
        view->SetEnableCaching(c.caching);
        EXPECT_EQ(view->EnableCaching(), c.caching);
        HeadlessWebEngine& engine = EngineOf(*view);
        const std::size_t before = engine.Navigations().size();

        // The same address twice: two loads, not one.
        view->SetURL("http://host/Nav1.html");
        view->SetURL("http://host/Nav1.html");
        ASSERT_EQ(engine.Navigations().size(), before + 2);
        for (std::size_t i = before; i < before + 2; ++i) {
            EXPECT_EQ(engine.Navigations()[i].url, "http://host/Nav1.html");
            EXPECT_EQ(engine.Navigations()[i].flags, std::optional<std::int32_t>(c.flags));
        }
        EXPECT_EQ(view->URL(), "http://host/Nav1.html");
        delete view;
    }
}

TEST_F(WebViewTest, AddressIsSentExactlyAsGiven) {
    MakeWindow();
    TWebBrowser* view = AddView();
    const std::string odd = " http://host/a b?x=%41&y=\xD0\x96 ";
    view->SetURL(odd);
    EXPECT_EQ(EngineOf(*view).Navigations().back().url, odd);
    EXPECT_EQ(view->StoredURL(), odd);
}

TEST_F(WebViewTest, LoadWhileHiddenGoesOutAtOnceAndKeepsTheDisplayHidden) {
    MakeWindow();
    TWebBrowser* view = AddView();
    page->SetVisible(false);
    const platform::WindowHandle display = view->Binding()->Display();
    const auto mark = Mark();
    view->SetURL("http://host/Nav4.html");
    EXPECT_EQ(LinesSince(mark, "WebEngine.Navigate"),
              std::vector<std::string>{"WebEngine.Navigate(\"http://host/Nav4.html\", 0)"});
    EXPECT_EQ(Count(LogSince(mark), Shown(display)), 0);
    EXPECT_FALSE(EngineOf(*view).Visible());
}

TEST_F(WebViewTest, FileAddressesSendThePathOrFailWithoutSending) {
    MakeWindow();
    TWebBrowser* view = AddView();
    HeadlessWebEngine& engine = EngineOf(*view);

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("velmora-webview-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".html");
    std::ofstream(file) << "<p>page</p>";
    const std::string existing = "file://" + file.string();
    view->SetURL(existing);
    EXPECT_EQ(engine.Navigations().back().url, file.string());
    EXPECT_EQ(engine.Navigations().back().flags, std::optional<std::int32_t>(0));
    std::filesystem::remove(file);

    const std::size_t sent = engine.Navigations().size();
    const auto mark = Mark();
    const std::string missing = "file://" + file.string();
    try {
        view->SetURL(missing);
        ADD_FAILURE() << "no error";
    } catch (const EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "The specified file was not found");
    }
    EXPECT_EQ(engine.Navigations().size(), sent);
    EXPECT_TRUE(LinesSince(mark, "WebEngine.Navigate").empty());
    EXPECT_EQ(view->StoredURL(), missing);
}

TEST_F(WebViewTest, RefusedLoadRaisesTheEngineErrorAfterStoringTheAddress) {
    struct Case {
        platform::EngineResult refusal;
        std::string message;
    };
    const Case cases[] = {
        {{false, static_cast<std::int32_t>(0x800C0005), "The system cannot locate the resource specified."},
         "The system cannot locate the resource specified."},
        {{false, static_cast<std::int32_t>(0x80070057), ""}, "The web engine failed with error code 0x80070057"},
    };
    MakeWindow();
    TWebBrowser* view = AddView();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EngineOf(*view).Faults().navigateRefusal = c.refusal;
        const std::string address = "http://host/refused" + std::to_string(++n);
        try {
            view->SetURL(address);
            ADD_FAILURE() << "no error";
        } catch (const EOleError& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.ErrorCode(), c.refusal.code);
        }
        EXPECT_EQ(view->StoredURL(), address);
        EXPECT_EQ(view->URL(), address);
    }
}

TEST_F(WebViewTest, NavigationNotificationsUpdateTheAddressAndRaiseEvents) {
    MakeWindow();
    TWebBrowser* view = AddView();
    std::vector<std::string> raised;
    view->OnDidStartLoad = [&](Component* sender) {
        EXPECT_EQ(sender, view);
        raised.push_back("start " + view->URL());
    };
    view->OnDidFinishLoad = [&](Component*) { raised.push_back("finish " + view->URL()); };
    view->OnDidFailLoadWithError = [&](Component*) { raised.push_back("fail " + view->URL()); };
    view->SetURL("http://host/Nav1.html");

    HeadlessWebEngine& engine = EngineOf(*view);
    engine.FireBeforeNavigate2("http://host/Nav1.html#frame");
    engine.FireNavigateComplete2("http://host/frame.html");
    engine.FireNavigateError("http://host/broken.html", 404);
    EXPECT_EQ(raised, (std::vector<std::string>{"start http://host/Nav1.html#frame", "finish http://host/frame.html",
                                                "fail http://host/frame.html"}));
    // The view's own record of the assignment is untouched.
    EXPECT_EQ(view->StoredURL(), "http://host/Nav1.html");
    EXPECT_EQ(view->URL(), "http://host/frame.html");

    // Without handlers the notifications still move the address.
    view->OnDidStartLoad = nullptr;
    engine.FireBeforeNavigate2("http://host/next.html");
    EXPECT_EQ(view->URL(), "http://host/next.html");
}

TEST_F(WebViewTest, CommandStateChangesSetTheHistoryFlags) {
    struct Step {
        int command;
        bool enabled;
        bool back;
        bool forward;
    };
    const Step steps[] = {
        {1, true, false, true},   // forward
        {2, true, true, true},    // back
        {3, false, true, true},   // neither: ignored
        {-1, false, true, true},  // ignored
        {1, false, true, false},
        {2, false, false, false},
    };
    MakeWindow();
    TWebBrowser* view = AddView();
    for (const Step& s : steps) {
        SCOPED_TRACE(::testing::Message() << "command " << s.command << " " << s.enabled);
        EngineOf(*view).FireCommandStateChange(s.command, s.enabled);
        EXPECT_EQ(view->Binding()->CanGoBack(), s.back);
        EXPECT_EQ(view->Binding()->CanGoForward(), s.forward);
    }
}

TEST_F(WebViewTest, ClickIntoTheDisplayFocusesTheView) {
    MakeWindow();
    auto* button = new TControl(form.get());
    button->SetParent(page);
    button->SetCanFocus(true);
    TWebBrowser* view = AddView();
    form->SetFocused(button);
    ASSERT_EQ(form->Focused(), button);
    EngineOf(*view).FireMouseActivate();
    EXPECT_EQ(form->Focused(), view);
}

}  // namespace
}  // namespace velmora::webview_test
