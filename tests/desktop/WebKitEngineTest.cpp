#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"

namespace velmora::gtk::testing {
namespace {

using platform::PosHide;
using platform::PosMoveSize;
using platform::PosShow;

// A one-thread HTTP server on 127.0.0.1 that records each request head and
// answers with a small page, or never answers when silent.
class TinyServer {
public:
    explicit TinyServer(bool answers = true) : answers_(answers) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 8);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        if (answers_) thread_ = std::thread([this] { Serve(); });
    }
    ~TinyServer() {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        if (thread_.joinable()) thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        while (!stop_) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            std::string head;
            char buffer[2048];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = read(client, buffer, sizeof buffer);
                if (n <= 0) break;
                head.append(buffer, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(head);
            }
            const std::string body = "<!DOCTYPE html><html><body>page</body></html>";
            const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                                         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
            (void)!write(client, response.data(), response.size());
            close(client);
        }
    }

    bool answers_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

std::string WritePage(const std::string& name, const std::string& html) {
    const std::string path = std::string(g_get_tmp_dir()) + "/velmora-desktop-test-" + std::to_string(getpid()) + "-" + name;
    std::ofstream(path) << html;
    return path;
}

std::string FileUri(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string result = uri;
    g_free(uri);
    return result;
}

TEST(WebKitEngineAddress, WhatIsHandedToTheEngine) {
    const struct {
        const char* address;
        const char* resolved;
    } cases[] = {
        {"", "about:blank"},
        {"http://localhost/Nav1.html", "http://localhost/Nav1.html"},
        {"about:blank", "about:blank"},
        {"/tmp/глава 1.html", "file:///tmp/%D0%B3%D0%BB%D0%B0%D0%B2%D0%B0%201.html"},
        {"localhost/Nav1.html", ""},
        {"http://[::1", ""},
        {"\xFF\xFE", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(WebKitEngine::ResolveAddress(c.address), c.resolved) << c.address;
}

// Starting the web process for the first blank page would hold up the
// window; the page waits until the window is on screen, and a chapter chosen
// before then is never replaced by it.
TEST_F(DesktopTest, FirstBlankPageWaitsForTheWindowAndNeverReplacesAChapter) {
    const std::string page = WritePage("early.html", "<!DOCTYPE html><title>early</title>");
    for (const bool chapterFirst : {false, true}) {
        SCOPED_TRACE(chapterFirst ? "a chapter chosen before the window is shown" : "the blank page alone");
        RecordingWindow windowEvents;
        const platform::WindowHandle window = platform_->CreateNativeWindow({}, &windowEvents);
        RecordingEngineEvents events;
        platform::EngineResult failure;
        std::unique_ptr<platform::IWebEngine> engine = platform_->CreateWebEngine(events, failure);
        ASSERT_TRUE(engine) << failure.description;
        ASSERT_TRUE(engine->Initialize().ok);
        ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 200, 150}));
        ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);
        ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);  // asked twice: still one blank page
        WebKitWebView* view = static_cast<WebKitEngine&>(*engine).View();
        PumpFor(200);
        EXPECT_EQ(webkit_web_view_get_uri(view), nullptr) << "a load started while the window was hidden";
        if (chapterFirst) {
            ASSERT_TRUE(engine->Navigate(page, 0).ok);
        }

        platform_->ShowWindow(window);
        const std::string expected = chapterFirst ? FileUri(page) : "about:blank";
        const auto shows = [&] {
            const char* uri = webkit_web_view_get_uri(view);
            return uri && uri == expected && !webkit_web_view_is_loading(view);
        };
        EXPECT_TRUE(Pump(shows));
        PumpFor(300);
        EXPECT_TRUE(shows()) << webkit_web_view_get_uri(view);
        // Shown again later: nothing more is loaded.
        platform_->HideWindow(window);
        platform_->ShowWindow(window);
        PumpFor(300);
        EXPECT_TRUE(shows()) << webkit_web_view_get_uri(view);
        engine->Close();
        platform_->DestroyNativeWindow(window);
    }
    unlink(page.c_str());
}

TEST_F(EngineTest, PageLoadedWhileHiddenIsThereWhenTheDisplayIsShown) {
    const std::string page = WritePage("green.html",
                                       "<!DOCTYPE html><html><body style='margin:0;background:#00ff00'></body></html>");
    const platform::RectI bounds{0, 0, 200 * scale, 150 * scale};
    ASSERT_TRUE(engine->InPlaceActivate(window, bounds));
    const auto display = engine->DisplayWindow();
    ASSERT_NE(display, 0u);
    EXPECT_EQ(platform_->GetParentWindow(display), window);
    ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);
    platform_->SetWindowPos(display, bounds, PosMoveSize);
    platform_->SetWindowPos(display, {}, PosHide);

    ASSERT_TRUE(engine->Navigate(page, 0).ok);
    ASSERT_TRUE(Pump([&] { return events.Saw("complete " + FileUri(page)) && LoadSettled(); }));
    PumpFor(100);
    GtkWidget* top = platform_->TopLevelWidget(window);
    EXPECT_EQ(PixelAt(top, 50, 50), 0x0000FFu);  // hidden: the window's own drawing

    platform_->SetWindowPos(display, {}, PosShow);
    EXPECT_TRUE(Pump([&] { return PixelAt(top, 50, 50) == 0x00FF00u; }, 5000));
    EXPECT_EQ(PixelAt(top, 250, 180), 0x0000FFu);  // outside the display
    unlink(page.c_str());
}

TEST_F(EngineTest, DisplayFollowsItsPlacementAlsoOffTheLeftEdge) {
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 28 * scale, 300 * scale, 200 * scale}));
    const auto display = engine->DisplayWindow();
    GtkWidget* view = GTK_WIDGET(View());
    platform_->SetWindowPos(display, {-120 * scale, 28 * scale, 180 * scale, 200 * scale}, PosMoveSize);
    PumpFor(100);
    // The overlay gives each child its own native window at the placement.
    int x = 0, y = 0;
    gdk_window_get_position(gtk_widget_get_parent_window(view), &x, &y);
    EXPECT_EQ(x, -120);
    EXPECT_EQ(y, 28);
    GtkAllocation allocation;
    gtk_widget_get_allocation(view, &allocation);
    EXPECT_EQ(allocation.width, 300);
    EXPECT_EQ(allocation.height, 172);
    EXPECT_EQ(platform_->GetWindowBounds(display), (platform::RectI{-120 * scale, 28 * scale, 180 * scale, 200 * scale}));

    platform_->SetWindowPos(display, {}, PosHide);
    EXPECT_FALSE(platform_->IsWindowVisible(display));
    platform_->SetWindowPos(display, {}, PosShow);
    EXPECT_TRUE(platform_->IsWindowVisible(display));
    // Show and hide flags leave the place alone.
    PumpFor(50);
    gdk_window_get_position(gtk_widget_get_parent_window(view), &x, &y);
    EXPECT_EQ(x, -120);
}

TEST_F(EngineTest, NotificationsFollowTheLoadAndTheHistory) {
    const std::string first = WritePage("one.html", "<!DOCTYPE html><title>1</title>");
    const std::string second = WritePage("two.html", "<!DOCTYPE html><title>2</title>");
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 100, 100}));
    ASSERT_TRUE(engine->Navigate(FileUri(first), 0).ok);
    ASSERT_TRUE(Pump([&] { return events.completes == 1 && LoadSettled(); }));
    ASSERT_TRUE(engine->Navigate(FileUri(second), 0).ok);
    ASSERT_TRUE(Pump([&] { return events.completes == 2 && events.Saw("command 2 on"); }));
    std::vector<std::string> navigation;
    for (const auto& e : events.log)
        if (e.rfind("command", 0) != 0) navigation.push_back(e);
    EXPECT_EQ(navigation, (std::vector<std::string>{"before " + FileUri(first), "complete " + FileUri(first),
                                                   "before " + FileUri(second), "complete " + FileUri(second)}));
    EXPECT_TRUE(events.Saw("command 1 off"));
    EXPECT_EQ(events.errors, 0);
    unlink(first.c_str());
    unlink(second.c_str());
}

TEST_F(EngineTest, CacheFlagsDecideTheNoCacheHeaders) {
    TinyServer server;
    ASSERT_TRUE(engine->Navigate(server.Url("/Nav1.html"), 0).ok);
    ASSERT_TRUE(Pump([&] { return events.completes == 1 && LoadSettled(); }));
    ASSERT_TRUE(engine->Navigate(server.Url("/Nav2.html"),
                                 platform::NavNoReadFromCache | platform::NavNoWriteToCache).ok);
    ASSERT_TRUE(Pump([&] { return events.completes == 2 && LoadSettled(); }));
    const auto requests = server.Requests();
    std::string cached, uncached;
    for (const auto& r : requests) {
        if (r.rfind("GET /Nav1.html", 0) == 0) cached = r;
        if (r.rfind("GET /Nav2.html", 0) == 0) uncached = r;
    }
    ASSERT_FALSE(cached.empty());
    ASSERT_FALSE(uncached.empty());
    EXPECT_EQ(cached.find("Pragma: no-cache"), std::string::npos);
    EXPECT_NE(uncached.find("Cache-Control: no-cache"), std::string::npos) << uncached;
    EXPECT_NE(uncached.find("Pragma: no-cache"), std::string::npos) << uncached;
}

TEST_F(EngineTest, LoadReplacedByANewerOneIsNoFailureButARefusedConnectionIs) {
    TinyServer silent(false);  // accepts the connection, never answers
    const std::string page = WritePage("after.html", "<!DOCTYPE html><title>after</title>");
    ASSERT_TRUE(engine->Navigate(silent.Url("/Nav3.html"), 0).ok);
    PumpFor(300);
    ASSERT_TRUE(engine->Navigate(page, 0).ok);
    ASSERT_TRUE(Pump([&] { return events.Saw("complete " + FileUri(page)) && LoadSettled(); }));
    PumpFor(100);
    EXPECT_EQ(events.errors, 0);

    int port = 0;
    {
        TinyServer gone(false);
        port = std::stoi(gone.Url("").substr(std::string("http://127.0.0.1:").size()));
    }
    const std::string refused = "http://127.0.0.1:" + std::to_string(port) + "/Nav4.html";
    ASSERT_TRUE(engine->Navigate(refused, 0).ok);  // accepted; the failure comes later
    EXPECT_TRUE(Pump([&] { return events.errors == 1; }));
    EXPECT_TRUE(events.Saw("error " + refused));
    unlink(page.c_str());
}

TEST_F(EngineTest, AddressWithoutSchemeIsRefusedAndNothingLoads) {
    const platform::EngineResult result = engine->Navigate("Nav1.html", 0);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.code, 0);
    EXPECT_FALSE(result.description.empty());
    PumpFor(200);
    EXPECT_TRUE(events.log.empty());
}

TEST_F(EngineTest, ClickIntoTheDisplayActivatesTheViewBeforeTheEngineHandlesIt) {
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 200 * scale, 150 * scale}));
    ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);
    GtkWidget* view = GTK_WIDGET(View());
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(view) && LoadSettled(); }));
    GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
    press->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
    press->button.x = 20;
    press->button.y = 20;
    press->button.button = 1;
    gdk_event_set_device(press, gdk_seat_get_pointer(gdk_display_get_default_seat(gtk_widget_get_display(view))));
    gtk_main_do_event(press);
    gdk_event_free(press);
    EXPECT_EQ(events.activations, 1);  // at once, not through the queue
}

TEST_F(EngineTest, PageKeysReachTheWindowWhileThePageHasTheKeyboardAndHidingItGivesTheKeyboardBack) {
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 200 * scale, 150 * scale}));
    ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);
    GtkWidget* view = GTK_WIDGET(View());
    GtkWidget* top = platform_->TopLevelWidget(window);
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(view) && LoadSettled(); }));
    gtk_widget_grab_focus(view);
    ASSERT_TRUE(gtk_widget_has_focus(view));

    const auto sendKey = [&](guint keyval, guint state) { SendKeyPress(top, keyval, state); };
    sendKey(GDK_KEY_Tab, GDK_CONTROL_MASK);
    sendKey(GDK_KEY_ISO_Left_Tab, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    sendKey(GDK_KEY_Right, 0);  // an ordinary key stays with the page
    ASSERT_TRUE(Pump([&] { return window_.Count(platform::MessageKind::KeyDown) == 2; }));
    PumpFor(50);
    EXPECT_EQ(window_.Count(platform::MessageKind::KeyDown), 2);
    EXPECT_EQ(window_.Last(platform::MessageKind::KeyDown)->shift, platform::ShiftCtrl | platform::ShiftShift);
    EXPECT_TRUE(gtk_widget_has_focus(view));

    platform_->SetWindowPos(engine->DisplayWindow(), {}, PosHide);
    EXPECT_TRUE(gtk_widget_has_focus(platform_->DrawingArea(window)));
    engine->DoVerb(platform::EngineVerb::Show);
    gtk_widget_grab_focus(view);
    engine->DoVerb(platform::EngineVerb::Hide);
    EXPECT_FALSE(gtk_widget_is_visible(view));
    EXPECT_TRUE(gtk_widget_has_focus(platform_->DrawingArea(window)));
}

TEST_F(EngineTest, LinkForANewWindowOpensInTheView) {
    const std::string target = WritePage("target.html", "<!DOCTYPE html><title>target</title>");
    const std::string page = WritePage(
        "links.html", "<!DOCTYPE html><body style='margin:0'><a target='_blank' href='" + FileUri(target) +
                          "' style='display:block;width:100%;height:150px'>chapter</a></body>");
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 200 * scale, 150 * scale}));
    ASSERT_TRUE(engine->Navigate(page, 0).ok);
    GtkWidget* view = GTK_WIDGET(View());
    ASSERT_TRUE(Pump([&] { return events.Saw("complete " + FileUri(page)) && LoadSettled() && gtk_widget_get_mapped(view); }));
    PumpFor(200);
    for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
        event->button.x = 30;
        event->button.y = 30;
        event->button.button = 1;
        event->button.time = GDK_CURRENT_TIME;
        gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gtk_widget_get_display(view))));
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
    EXPECT_TRUE(Pump([&] { return events.Saw("complete " + FileUri(target)); }));
    unlink(page.c_str());
    unlink(target.c_str());
}

TEST_F(EngineTest, SilentEngineAnswersScriptDialogsItself) {
    const std::string page = WritePage(
        "confirm.html", "<!DOCTYPE html><script>alert('x'); document.title = confirm('y') ? 'yes' : 'no';</script>");
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 200, 150}));
    ASSERT_TRUE(engine->Navigate(page, 0).ok);
    EXPECT_TRUE(Pump([&] {
        const char* title = webkit_web_view_get_title(View());
        return title && std::string(title) == "no";
    }));
    unlink(page.c_str());
}

TEST_F(EngineTest, WindowDestroyedBeforeTheEngineIsClosedLeavesNothingDangling) {
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 100, 100}));
    const auto display = engine->DisplayWindow();
    ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);
    PumpFor(100);
    platform_->DestroyNativeWindow(window);
    EXPECT_EQ(platform_->GetParentWindow(display), 0u);
    platform_->SetWindowPos(display, {0, 0, 50, 50}, PosMoveSize);  // no parent: nothing to place in
    engine->Close();
    EXPECT_EQ(engine->DisplayWindow(), 0u);
    PumpFor(100);
}

TEST_F(EngineTest, CloseTakesTheDisplayAwayAndDropsNotificationsStillQueued) {
    ASSERT_TRUE(engine->InPlaceActivate(window, {0, 0, 100, 100}));
    const auto display = engine->DisplayWindow();
    ASSERT_TRUE(engine->Navigate("", std::nullopt).ok);
    // Let WebKit report the start without the toolkit taking the message.
    for (int i = 0; i < 200 && platform_->QueuedMessageCount() == 0; ++i) g_main_context_iteration(nullptr, FALSE), g_usleep(1000);
    engine->Close();
    EXPECT_EQ(engine->DisplayWindow(), 0u);
    EXPECT_EQ(platform_->TopLevelWidget(display), nullptr);
    PumpFor(200);
    EXPECT_TRUE(events.log.empty());
    GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(platform_->DrawingArea(window))));
    EXPECT_EQ(g_list_length(children), 1u);  // only the drawing area is left
    g_list_free(children);
}

}  // namespace
}  // namespace velmora::gtk::testing
