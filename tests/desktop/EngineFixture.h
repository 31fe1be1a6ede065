// The web engine under test on a shown window, with a recorder of its
// notifications.
#pragma once

#include <string>
#include <vector>

#include "DesktopFixture.h"
#include "backends/gtk/WebKitEngine.h"

namespace velmora::gtk::testing {

class RecordingEngineEvents : public platform::IWebEngineEvents {
public:
    std::vector<std::string> log;
    int errors = 0;
    int completes = 0;
    int activations = 0;
    std::int32_t lastStatus = 0;

    void BeforeNavigate2(const std::string& url) override { log.push_back("before " + url); }
    void NavigateComplete2(const std::string& url) override {
        ++completes;
        log.push_back("complete " + url);
    }
    void NavigateError(const std::string& url, std::int32_t status) override {
        ++errors;
        lastStatus = status;
        log.push_back("error " + url);
    }
    void CommandStateChange(int command, bool enabled) override {
        log.push_back("command " + std::to_string(command) + (enabled ? " on" : " off"));
    }
    void DisplayMouseActivate() override { ++activations; }
    void DisplayFocused() override { log.push_back("page took the keys"); }
    void DisplayFocusLeaving(bool forward) override {
        log.push_back(forward ? "keys leave forward" : "keys leave backward");
    }
    bool Saw(const std::string& entry) const {
        for (const auto& e : log)
            if (e == entry) return true;
        return false;
    }
};

class EngineTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        window_.paint = [](platform::ICanvas& canvas) { canvas.FillRect({0, 0, 2000, 2000}, 0xFF0000FF); };
        window = ShownWindow(window_, {300, 200});
        platform::EngineResult failure;
        engine = platform_->CreateWebEngine(events, failure);
        ASSERT_TRUE(engine) << failure.description;
        ASSERT_TRUE(engine->Initialize().ok);
        ASSERT_TRUE(engine->PutSilent(true).ok);
        scale = gtk_widget_get_scale_factor(platform_->TopLevelWidget(window));
    }
    void TearDown() override {
        if (engine) engine->Close();
        engine.reset();
        DesktopTest::TearDown();
    }
    WebKitEngine& Engine() { return static_cast<WebKitEngine&>(*engine); }
    WebKitWebView* View() { return Engine().View(); }
    std::string Title() {
        const char* title = webkit_web_view_get_title(View());
        return title ? title : "";
    }
    // The text of the shown page, read through a script (empty when the page
    // does not answer within the time).
    std::string PageText(int milliseconds = 3000) {
        return Evaluate("document.body ? document.body.innerText : ''", milliseconds);
    }
    // What a script gives back as text (empty when the page does not answer
    // within the time).
    std::string Evaluate(const char* script, int milliseconds = 3000) {
        struct Reply {
            bool done = false;
            std::string text;
        };
        auto* reply = new Reply;
        webkit_web_view_evaluate_javascript(
            View(), script, -1, nullptr, nullptr, nullptr,
            +[](GObject* view, GAsyncResult* result, gpointer data) {
                auto* reply = static_cast<Reply*>(data);
                if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr)) {
                    gchar* text = jsc_value_to_string(value);
                    reply->text = text ? text : "";
                    g_free(text);
                    g_object_unref(value);
                }
                reply->done = true;
            },
            reply);
        Pump([&] { return reply->done; }, milliseconds);
        std::string text = reply->text;
        if (reply->done) delete reply;  // else the late answer still needs it
        return text;
    }
    bool LoadSettled() { return !webkit_web_view_is_loading(View()); }

    RecordingWindow window_;
    platform::WindowHandle window = 0;
    RecordingEngineEvents events;
    std::unique_ptr<platform::IWebEngine> engine;
    int scale = 1;
};

}  // namespace velmora::gtk::testing
