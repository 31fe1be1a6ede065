// The reader page against faulty servers and hostile pages: failures shown in
// the reader's language, loading shown, pages kept from printing, saving files,
// hanging the view or taking the reader to other hosts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <libsoup/soup.h>

#include "EngineFixture.h"
#include "backends/gtk/LoadErrors.h"
#include "backends/gtk/PagePolicy.h"

namespace velmora::gtk::testing {
namespace {

// The misbehaving chapter server (fault_server.py) on 127.0.0.1.
class FaultServer {
public:
    explicit FaultServer(int port = 0) {
        const std::string portText = std::to_string(port);
        const gchar* argv[] = {"python3", VELMORA_FAULT_SERVER, portText.c_str(), nullptr};
        gint out = -1;
        GError* error = nullptr;
        if (!g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(argv), nullptr,
                                      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                                      nullptr, &pid_, &in_, &out, nullptr, &error)) {
            ADD_FAILURE() << (error ? error->message : "spawn");
            if (error) g_error_free(error);
            return;
        }
        std::string line;
        char c = 0;
        while (read(out, &c, 1) == 1 && c != '\n') line += c;
        close(out);
        port_ = line.empty() ? 0 : std::stoi(line);
    }
    ~FaultServer() {
        if (!pid_) return;
        close(in_);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        g_spawn_close_pid(pid_);
    }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    GPid pid_ = 0;
    gint in_ = -1;
    int port_ = 0;
};

// A port on which nothing listens (for a moment at least).
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

using platform::LoadFailure;
using platform::LoadFailureInfo;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ReaderPageTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 300 * scale, 200 * scale}));
    }
    bool ShowsFailure() { return Engine().ShowsFailure() && Title() == ReaderPages::kFailureTitle; }
    bool TitleIs(const std::string& title) { return Title() == title && LoadSettled(); }
    void SendKey(guint keyval, guint state) { SendKeyPress(platform_->TopLevelWidget(window), keyval, state); }
    void Click(int x, int y, guint button = 1) {
        GtkWidget* view = GTK_WIDGET(View());
        for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
            GdkEvent* event = gdk_event_new(type);
            event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
            event->button.x = x;
            event->button.y = y;
            event->button.button = button;
            event->button.time = GDK_CURRENT_TIME;
            gdk_event_set_device(event,
                                 gdk_seat_get_pointer(gdk_display_get_default_seat(gtk_widget_get_display(view))));
            gtk_main_do_event(event);
            gdk_event_free(event);
        }
    }
    void RunScript(const char* script) {
        webkit_web_view_evaluate_javascript(View(), script, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    void Load(const std::string& url, const std::string& title) {
        ASSERT_TRUE(engine->Navigate(url, 0).ok);
        ASSERT_TRUE(Pump([&] { return TitleIs(title); }, 10000)) << url << " shows " << Title();
    }
};

std::string ErrorPageHtml(const std::string& chapterUri, const LoadFailureInfo& failure) {
    return ReaderPages().FailurePage(chapterUri, failure);
}

TEST(ErrorPage, EverythingFromTheAddressAndTheEngineIsEscaped) {
    LoadFailureInfo failure;
    failure.kind = LoadFailure::NotAPage;
    failure.mimeType = "text/x-<b>\"bold\"</b>";
    failure.detail = "<script>document.title='pwned'</script>";
    const std::string html = ErrorPageHtml("http://localhost/<img src=x onerror=alert(1)>&\"'", failure);
    EXPECT_FALSE(Contains(html, "<img"));
    EXPECT_FALSE(Contains(html, "<script"));
    EXPECT_FALSE(Contains(html, "<b>"));
    EXPECT_TRUE(Contains(html, "&lt;img src=x onerror=alert(1)&gt;&amp;&quot;&apos;"));
    EXPECT_TRUE(Contains(html, "Повторить"));
    // Invalid UTF-8 from a server still gives a valid page.
    failure.detail = "\xff\xfe";
    const std::string broken = ErrorPageHtml("http://localhost/Nav1.html", failure);
    EXPECT_TRUE(g_utf8_validate(broken.data(), static_cast<gssize>(broken.size()), nullptr));
}

TEST(ErrorPage, EngineErrorsAreSortedIntoWhatTheReaderIsTold) {
    const struct {
        GQuark domain;
        int code;
        const char* message;
        LoadFailure kind;
    } cases[] = {
        {G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED, "Could not connect: Connection refused", LoadFailure::Refused},
        {G_IO_ERROR, G_IO_ERROR_TIMED_OUT, "Socket I/O timed out", LoadFailure::TimedOut},
        {G_IO_ERROR, G_IO_ERROR_PARTIAL_INPUT, "Connection terminated unexpectedly", LoadFailure::Reset},
        {G_RESOLVER_ERROR, G_RESOLVER_ERROR_NOT_FOUND, "not found", LoadFailure::Unreachable},
        {SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_TOO_MANY_REDIRECTS, "Too many redirects", LoadFailure::TooManyRedirects},
        // What the engine's loader sends for a redirection loop: no domain, code 0.
        {g_quark_from_static_string(""), 0, "Load cannot follow more than 20 redirections",
         LoadFailure::TooManyRedirects},
        {G_IO_ERROR, G_IO_ERROR_FAILED, "something else", LoadFailure::Other},
        // The wording alone decides nothing.
        {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FAILED, "Connection refused after a redirect", LoadFailure::Other},
    };
    for (const auto& c : cases) {
        GError* error = g_error_new_literal(c.domain, c.code, c.message);
        EXPECT_EQ(ClassifyLoadError(error), c.kind) << c.message;
        g_error_free(error);
    }
    LoadFailureInfo refused;
    refused.kind = LoadFailure::Refused;
    const std::string local = ErrorPageHtml("http://localhost/Nav2.html", refused);
    EXPECT_TRUE(Contains(local, "служба книги не запущена")) << local;
    EXPECT_TRUE(Contains(local, "порт 80 занят другой программой")) << local;
    EXPECT_FALSE(Contains(ErrorPageHtml("http://books.example:8080/Nav2.html", refused), "служба книги"));
}

TEST_F(DesktopTest, ContextMenuKeepsNoNewWindowsAndNoDownloads) {
    WebKitContextMenu* menu = webkit_context_menu_new();
    for (WebKitContextMenuAction action :
         {WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK, WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW,
          WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK, WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD,
          WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK,
          WEBKIT_CONTEXT_MENU_ACTION_COPY})
        webkit_context_menu_append(menu, webkit_context_menu_item_new_from_stock_action(action));
    webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
    webkit_context_menu_append(menu,
                               webkit_context_menu_item_new_from_stock_action(WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT));
    EXPECT_TRUE(PagePolicy::TrimContextMenu(menu));
    std::vector<WebKitContextMenuAction> left;
    for (GList* l = webkit_context_menu_get_items(menu); l; l = l->next)
        left.push_back(webkit_context_menu_item_get_stock_action(WEBKIT_CONTEXT_MENU_ITEM(l->data)));
    EXPECT_EQ(left, (std::vector<WebKitContextMenuAction>{WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK,
                                                          WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD,
                                                          WEBKIT_CONTEXT_MENU_ACTION_COPY}));
    g_object_unref(menu);

    WebKitContextMenu* onlyDownloads = webkit_context_menu_new();
    webkit_context_menu_append(onlyDownloads, webkit_context_menu_item_new_from_stock_action(
                                                  WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK));
    EXPECT_FALSE(PagePolicy::TrimContextMenu(onlyDownloads));  // no empty menu is shown
    g_object_unref(onlyDownloads);
}

TEST_F(ReaderPageTest, EveryFailureIsAPageInTheReadersLanguageAndNothingIsSaved) {
    FaultServer server;
    ASSERT_NE(server.Port(), 0);
    const int deadPort = FreePort();
    const struct {
        std::string url;
        std::vector<std::string> says;
    } cases[] = {
        {"http://localhost:" + std::to_string(deadPort) + "/Nav1.html",
         {"служба книги не запущена", "порт " + std::to_string(deadPort)}},
        {server.Url("/loop"), {"по кругу"}},
        {server.Url("/error500"), {"код 500"}},
        {server.Url("/Nav9.html"), {"нет такой главы"}},
        {server.Url("/reset"), {"оборвалось"}},
        {server.Url("/attachment/Nav2.html"), {"не страницу, а файл", "ничего не сохраняет"}},
        {server.Url("/unknown"), {"не страницу, а файл", "application/x-velmora-unknown"}},
    };
    int errors = 0;
    for (const auto& c : cases) {
        Load(server.Url("/page/green"), "green");
        ASSERT_TRUE(engine->Navigate(c.url, 0).ok);
        ASSERT_TRUE(Pump([&] { return ShowsFailure() && LoadSettled(); }, 15000)) << c.url << ": " << Title();
        const std::string text = PageText();
        for (const auto& phrase : c.says) EXPECT_TRUE(Contains(text, phrase)) << c.url << "\n" << text;
        EXPECT_TRUE(Contains(text, c.url)) << text;  // names the chapter
        EXPECT_TRUE(Contains(text, "Повторить")) << text;
        for (const char* english : {"Could not", "Connection", "Load cannot", "redirection", "Internal Server"})
            EXPECT_FALSE(Contains(text, english)) << c.url << "\n" << text;
        EXPECT_EQ(webkit_web_view_get_uri(View()), c.url);  // the reader still stands at the chapter
        EXPECT_TRUE(Pump([&] { return events.errors == errors + 1; })) << c.url;
        errors = events.errors;
    }
    PumpFor(300);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(TestHome()))
        EXPECT_EQ(entry.path().filename().string().find("Nav"), std::string::npos) << entry.path();
}

TEST_F(ReaderPageTest, RetryAndReloadPickUpAServerThatCameBack) {
    const int port = FreePort();
    const std::string chapter = "http://127.0.0.1:" + std::to_string(port) + "/page/green";
    ASSERT_TRUE(engine->Navigate(chapter, 0).ok);
    ASSERT_TRUE(Pump([&] { return ShowsFailure() && LoadSettled(); }, 10000));
    const int errors = events.errors;
    SendKey(GDK_KEY_F5, 0);  // still down: the page again
    ASSERT_TRUE(Pump([&] { return events.errors > errors && ShowsFailure() && LoadSettled(); }, 10000));

    FaultServer server(port);
    ASSERT_EQ(server.Port(), port);
    RunScript("document.getElementById('retry').click()");
    EXPECT_TRUE(Pump([&] { return TitleIs("green"); }, 10000)) << Title();
    EXPECT_FALSE(Engine().ShowsFailure());
    EXPECT_EQ(webkit_web_view_get_uri(View()), chapter);
}

TEST_F(ReaderPageTest, SilentServerShowsLoadingAndNotThePreviousChapterThenGivesUp) {
    FaultServer server;
    Engine().SetLoadTimeout(2500);
    Load(server.Url("/page/green"), "green");
    GtkWidget* top = platform_->TopLevelWidget(window);
    ASSERT_TRUE(Pump([&] { return PixelAt(top, 150, 100) == 0x00FF00u; }));
    ASSERT_TRUE(engine->Navigate(server.Url("/hang"), 0).ok);
    PumpFor(100);
    EXPECT_TRUE(Engine().Indicator()->LineShown());
    PumpFor(LoadIndicator::kCoverDelayMs + 300);
    EXPECT_TRUE(Engine().Indicator()->CoverShown());
    EXPECT_TRUE(Engine().Indicator()->LineShown());
    EXPECT_NE(PixelAt(top, 150, 100), 0x00FF00u);  // chapter 1 no longer stands under the choice
    ASSERT_TRUE(Pump([&] { return ShowsFailure() && LoadSettled(); }, 8000));
    EXPECT_TRUE(Contains(PageText(), "слишком долго не отвечает"));
    EXPECT_FALSE(Engine().Indicator()->CoverShown());
    EXPECT_FALSE(Engine().Indicator()->LineShown());

    // A slow answer: loading shows until the page comes, then the page.
    ASSERT_TRUE(engine->Navigate(server.Url("/slow"), 0).ok);
    PumpFor(LoadIndicator::kCoverDelayMs + 300);
    EXPECT_TRUE(Engine().Indicator()->CoverShown());
    EXPECT_TRUE(Pump([&] { return TitleIs("slow"); }, 8000));
    EXPECT_FALSE(Engine().Indicator()->CoverShown());
    EXPECT_FALSE(Engine().Indicator()->LineShown());
}

TEST_F(ReaderPageTest, PageCannotPrintButTheReaderCan) {
    FaultServer server;
    int printRequests = 0;
    g_signal_connect(View(), "print", G_CALLBACK(+[](WebKitWebView*, WebKitPrintOperation*, gpointer count) -> gboolean {
                         ++*static_cast<int*>(count);
                         return FALSE;
                     }), &printRequests);
    Load(server.Url("/print"), "after print");
    EXPECT_EQ(printRequests, 0);  // refused before any other handler could show a dialog
    GList* windows = gtk_window_list_toplevels();
    for (GList* l = windows; l; l = l->next) EXPECT_FALSE(GTK_IS_DIALOG(l->data)) << G_OBJECT_TYPE_NAME(l->data);
    g_list_free(windows);
}

// The web processes this test process started.
std::vector<pid_t> WebProcesses() {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == getpid() && comm.rfind("WebKitWebProces", 0) == 0) found.push_back(std::stoi(name));
    }
    return found;
}

TEST_F(ReaderPageTest, EndlessScriptOrCrashedPageDoesNotKeepTheViewFromTheNextChapter) {
    FaultServer server;
    Load(server.Url("/spin"), "spinning");
    PumpFor(300);  // the script is now spinning
    Load(server.Url("/page/two"), "two");
    EXPECT_FALSE(Engine().ShowsFailure());

    // A page process that dies is reported, and the chapter loads again.
    const auto processes = WebProcesses();
    ASSERT_FALSE(processes.empty());
    for (pid_t pid : processes) kill(pid, SIGKILL);
    ASSERT_TRUE(Pump([&] { return ShowsFailure() && LoadSettled(); }, 10000)) << Title();
    EXPECT_TRUE(Contains(PageText(), "неожиданно завершился"));
    SendKey(GDK_KEY_r, GDK_CONTROL_MASK);
    EXPECT_TRUE(Pump([&] { return TitleIs("two"); }, 10000)) << Title();
}

TEST_F(ReaderPageTest, LinksToOtherHostsOpenInTheDesktopsBrowserAndBookLinksStay) {
    FaultServer server;
    unlink(BrowserMarker().c_str());
    Load(server.Url("/links"), "links");
    GtkWidget* view = GTK_WIDGET(View());
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(view); }));
    PumpFor(200);
    Click(30, 30);
    std::string opened;
    EXPECT_TRUE(Pump([&] {
        std::ifstream marker(BrowserMarker());
        return static_cast<bool>(std::getline(marker, opened));
    }, 10000));
    EXPECT_EQ(opened, "http://other.invalid:" + std::to_string(server.Port()) + "/page/out");
    // The reader's own engine settings (no OpenGL, no DMA-BUF) stay with the
    // reader: the browser starts with the desktop's environment.
    std::ifstream inherited(BrowserMarker() + ".env");
    const std::string leaked((std::istreambuf_iterator<char>(inherited)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(inherited.is_open());
    EXPECT_EQ(leaked, "");
    EXPECT_EQ(g_getenv("GDK_GL") ? std::string(g_getenv("GDK_GL")) : "", "disable");  // while ours is set
    PumpFor(300);
    EXPECT_EQ(Title(), "links");  // the reader stayed

    Click(30, 90);
    EXPECT_TRUE(Pump([&] { return TitleIs("inside"); }, 10000)) << Title();
}

TEST_F(ReaderPageTest, BackForwardAndZoomFromKeysAndMouse) {
    FaultServer server;
    Load(server.Url("/page/one"), "one");
    Load(server.Url("/page/two"), "two");
    GtkWidget* view = GTK_WIDGET(View());
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(view); }));
    gtk_widget_grab_focus(view);
    SendKey(GDK_KEY_Left, GDK_MOD1_MASK);
    EXPECT_TRUE(Pump([&] { return TitleIs("one"); })) << Title();
    Click(20, 20, 9);  // the mouse's forward button
    EXPECT_TRUE(Pump([&] { return TitleIs("two"); })) << Title();
    Click(20, 20, 8);
    EXPECT_TRUE(Pump([&] { return TitleIs("one"); })) << Title();

    SendKey(GDK_KEY_plus, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(View()), 1.1);
    SendKey(GDK_KEY_minus, GDK_CONTROL_MASK);
    SendKey(GDK_KEY_minus, GDK_CONTROL_MASK);
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(View()), 0.9);
    SendKey(GDK_KEY_0, GDK_CONTROL_MASK);
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(View()), 1.0);
    GdkEvent* wheel = gdk_event_new(GDK_SCROLL);
    wheel->scroll.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
    wheel->scroll.direction = GDK_SCROLL_UP;
    wheel->scroll.state = GDK_CONTROL_MASK;
    gdk_event_set_device(wheel, gdk_seat_get_pointer(gdk_display_get_default_seat(gtk_widget_get_display(view))));
    gtk_main_do_event(wheel);
    gdk_event_free(wheel);
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(View()), 1.1);
    // Without Ctrl the keys stay with the page.
    SendKey(GDK_KEY_plus, GDK_SHIFT_MASK);
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(View()), 1.1);
}

}  // namespace
}  // namespace velmora::gtk::testing
