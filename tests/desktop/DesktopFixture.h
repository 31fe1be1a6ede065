// Shared pieces of the desktop backend tests: a platform on the real display,
// a window recorder and a loop pump that behaves like the toolkit's loop.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <memory>
#include <vector>

#include "backends/gtk/GtkPlatform.h"
#include "program/ReaderPages.h"

namespace velmora::gtk::testing {

class RecordingWindow : public platform::IWindowEvents {
public:
    std::vector<platform::Message> messages;
    std::function<void(platform::ICanvas&)> paint;
    int paints = 0;

    void OnMessage(const platform::Message& message) override { messages.push_back(message); }
    void OnPaint(platform::ICanvas& canvas) override {
        ++paints;
        if (paint) paint(canvas);
    }
    int Count(platform::MessageKind kind) const {
        int n = 0;
        for (const auto& m : messages) n += m.kind == kind;
        return n;
    }
    const platform::Message* Last(platform::MessageKind kind) const {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
            if (it->kind == kind) return &*it;
        return nullptr;
    }
};

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_ = std::make_unique<GtkPlatform>();
        if (!platform_->EnsureGtk()) GTEST_SKIP() << "no display";
        platform::SetCurrentPlatform(platform_.get());
        // The engine shows the reader's own pages, as in the program.
        platform_->SetEnginePages(std::make_shared<ReaderPages>());
    }
    void TearDown() override {
        platform::SetCurrentPlatform(nullptr);
        platform_.reset();
        // Let GTK finish destroying what the platform released.
        for (int i = 0; i < 50 && g_main_context_iteration(nullptr, FALSE); ++i) {
        }
    }

    // Takes and dispatches messages until done() or the time is up. Quit
    // messages are counted, not acted on.
    bool Pump(const std::function<bool()>& done, int milliseconds = 5000) {
        const gint64 deadline = g_get_monotonic_time() + milliseconds * 1000;
        while (!done()) {
            if (g_get_monotonic_time() > deadline) return false;
            platform::Message message;
            if (platform_->PeekMessage(message)) {
                if (message.kind == platform::MessageKind::Quit) ++quits_;
                else platform_->DispatchMessage(message);
            } else {
                g_usleep(1000);
            }
        }
        return true;
    }
    void PumpFor(int milliseconds) {
        Pump([] { return false; }, milliseconds);
    }

    // The monitor's scale factor (GDK_SCALE on a virtual display).
    static int MonitorScale() {
        GdkMonitor* monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
        return monitor ? gdk_monitor_get_scale_factor(monitor) : 1;
    }

    // A shown window whose client area is the given size in logical pixels.
    platform::WindowHandle ShownWindow(RecordingWindow& events, platform::SizeI logicalClient = {300, 200}) {
        platform::WindowCreateParams params;
        params.title = "Тальмерин";
        const platform::WindowHandle window = platform_->CreateNativeWindow(params, &events);
        const int scale = MonitorScale();
        platform_->SetClientSize(window, {logicalClient.width * scale, logicalClient.height * scale});
        platform_->ShowWindow(window);
        platform_->ActivateWindow(window);
        GtkWidget* top = platform_->TopLevelWidget(window);
        EXPECT_TRUE(Pump([&] { return gtk_widget_get_mapped(top) && events.paints > 0; }));
        return window;
    }

    std::unique_ptr<GtkPlatform> platform_;
    int quits_ = 0;
};

// The home folder every desktop test runs with (a fresh temporary one).
std::string TestHome();
// The file the desktop's browser writes the address it was asked to open to.
std::string BrowserMarker();

// A key press as the display delivers it to the top-level window top.
void SendKeyPress(GtkWidget* top, guint keyval, guint state);

// Reads one pixel of a window from the display, 0xRRGGBB.
std::uint32_t PixelAt(GtkWidget* widget, int x, int y);

}  // namespace velmora::gtk::testing
