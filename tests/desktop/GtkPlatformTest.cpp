#include <fenv.h>
#include <sys/stat.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "DesktopFixture.h"

namespace velmora::gtk::testing {
namespace {

using platform::Message;
using platform::MessageKind;

void SendToWidget(GtkWidget* widget, GdkEvent* event) {
    GdkDisplay* display = gtk_widget_get_display(widget);
    GdkSeat* seat = gdk_display_get_default_seat(display);
    GdkDevice* device = (event->type == GDK_KEY_PRESS || event->type == GDK_KEY_RELEASE)
                            ? gdk_seat_get_keyboard(seat)
                            : gdk_seat_get_pointer(seat);
    gdk_event_set_device(event, device);
    gtk_main_do_event(event);
    gdk_event_free(event);
}

void SendButton(GtkWidget* widget, GdkEventType type, double x, double y, guint32 time) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    event->button.x = x;
    event->button.y = y;
    event->button.button = 1;
    event->button.time = time;
    SendToWidget(widget, event);
}

void SendKey(GtkWidget* toplevel, guint keyval, guint state) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(toplevel)));
    event->key.keyval = keyval;
    event->key.state = state;
    event->key.time = GDK_CURRENT_TIME;
    SendToWidget(toplevel, event);
}

TEST_F(DesktopTest, WindowStartsHiddenWithTheClientSizeItWasGiven) {
    RecordingWindow events;
    platform::WindowCreateParams params;
    params.title = "Тальмерин";
    const auto window = platform_->CreateNativeWindow(params, &events);
    EXPECT_FALSE(platform_->IsWindowVisible(window));
    const int scale = MonitorScale();
    platform_->SetClientSize(window, {368 * scale, 480 * scale});
    EXPECT_EQ(platform_->GetClientSize(window), (platform::SizeI{368 * scale, 480 * scale}));
    const platform::RectI before = platform_->GetWindowBounds(window);
    EXPECT_EQ(before.Width(), 368 * scale);
    EXPECT_EQ(before.Height(), 480 * scale);

    platform_->ShowWindow(window);
    GtkWidget* top = platform_->TopLevelWidget(window);
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(top) && events.paints > 0; }));
    EXPECT_TRUE(platform_->IsWindowVisible(window));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(top)), "Тальмерин");
    EXPECT_EQ(platform_->GetClientSize(window), (platform::SizeI{368 * scale, 480 * scale}));
    EXPECT_GE(platform_->GetWindowBounds(window).Width(), 368 * scale);
    EXPECT_EQ(platform_->GetWindowDpi(window), 96 * gtk_widget_get_scale_factor(top));
}

TEST_F(DesktopTest, ResizeOfAShownWindowReadsBackAtOnceAndAfterTheServerAnswers) {
    RecordingWindow events;
    const auto window = ShownWindow(events);
    const int scale = MonitorScale();
    platform_->SetClientSize(window, {420 * scale, 310 * scale});
    EXPECT_EQ(platform_->GetClientSize(window), (platform::SizeI{420 * scale, 310 * scale}));
    EXPECT_EQ(platform_->GetWindowBounds(window).Width(), 420 * scale);  // no frame without a window manager
    const int moved = events.Count(MessageKind::Moved);
    ASSERT_TRUE(Pump([&] { return events.Count(MessageKind::Moved) > moved; }));
    PumpFor(100);
    EXPECT_EQ(platform_->GetClientSize(window), (platform::SizeI{420 * scale, 310 * scale}));
    GtkAllocation allocation;
    gtk_widget_get_allocation(platform_->DrawingArea(window), &allocation);
    EXPECT_EQ(allocation.width, 420);
    EXPECT_EQ(allocation.height, 310);
}

TEST_F(DesktopTest, ExplicitPositionIsAppliedWhenTheWindowIsShown) {
    RecordingWindow events;
    const auto window = platform_->CreateNativeWindow({}, &events);
    const int scale = MonitorScale();
    platform_->SetWindowBounds(window, {120 * scale, 90 * scale, (120 + 250) * scale, (90 + 150) * scale});
    platform_->ShowWindow(window);
    GtkWidget* top = platform_->TopLevelWidget(window);
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(top) && events.Count(MessageKind::Moved) > 0; }));
    PumpFor(100);
    const platform::RectI bounds = platform_->GetWindowBounds(window);
    // Without a window manager there is no frame: outer = client.
    EXPECT_EQ(bounds.left, 120 * scale);
    EXPECT_EQ(bounds.top, 90 * scale);
    EXPECT_EQ(platform_->GetClientSize(window), (platform::SizeI{250 * scale, 150 * scale}));
}

TEST_F(DesktopTest, CloseRequestBecomesAMessageAndLeavesTheWindowAlone) {
    RecordingWindow events;
    const auto window = ShownWindow(events);
    gtk_window_close(GTK_WINDOW(platform_->TopLevelWidget(window)));
    ASSERT_TRUE(Pump([&] { return events.Count(MessageKind::Close) == 1; }));
    PumpFor(50);
    EXPECT_TRUE(platform_->IsWindowVisible(window));
    EXPECT_TRUE(gtk_widget_get_mapped(platform_->TopLevelWidget(window)));
}

TEST_F(DesktopTest, ErrorRaisedWhilePaintingReachesTheLoopInsteadOfGtk) {
    RecordingWindow events;
    events.paint = [](platform::ICanvas&) { throw std::runtime_error("paint failed"); };
    platform::WindowCreateParams params;
    const auto window = platform_->CreateNativeWindow(params, &events);
    platform_->SetClientSize(window, {100, 100});
    platform_->ShowWindow(window);
    try {
        Pump([] { return false; }, 3000);
        FAIL() << "the paint error was swallowed";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "paint failed");
    }
    // Raised once; the loop goes on.
    events.paint = nullptr;
    platform_->InvalidateWindow(window);
    EXPECT_TRUE(Pump([&] { return events.paints >= 2; }));
}

TEST_F(DesktopTest, PaintDrawsThroughTheCanvasAtTheWindowScale) {
    RecordingWindow events;
    float scale = 0;
    events.paint = [&](platform::ICanvas& canvas) {
        scale = canvas.Scale();
        canvas.FillRect({0, 0, 1000, 1000}, 0xFF102030);
        canvas.FillRect({10, 10, 20, 20}, 0xFFFF0000);
    };
    const auto window = ShownWindow(events);
    PumpFor(100);
    GtkWidget* top = platform_->TopLevelWidget(window);
    EXPECT_EQ(scale, static_cast<float>(gtk_widget_get_scale_factor(top)));
    EXPECT_EQ(PixelAt(top, 15, 15), 0xFF0000u);
    EXPECT_EQ(PixelAt(top, 100, 100), 0x102030u);
}

TEST_F(DesktopTest, PressesBecomeMouseDownsWithTheDoubleClickMarkedOnTheSecond) {
    RecordingWindow events;
    const auto window = ShownWindow(events);
    GtkWidget* area = platform_->DrawingArea(window);
    SendButton(area, GDK_BUTTON_PRESS, 30, 40, 5000);
    SendButton(area, GDK_BUTTON_RELEASE, 30, 40, 5050);
    SendButton(area, GDK_BUTTON_PRESS, 31, 40, 5150);
    SendButton(area, GDK_2BUTTON_PRESS, 31, 40, 5150);  // GTK's own extra event
    SendButton(area, GDK_BUTTON_RELEASE, 31, 40, 5200);
    ASSERT_TRUE(Pump([&] { return events.Count(MessageKind::MouseUp) == 2; }));
    std::vector<int> clickCounts;
    for (const auto& m : events.messages)
        if (m.kind == MessageKind::MouseDown) clickCounts.push_back(m.clickCount);
    EXPECT_EQ(clickCounts, (std::vector<int>{1, 2}));
    const int scale = gtk_widget_get_scale_factor(area);
    EXPECT_EQ(events.Last(MessageKind::MouseDown)->point, (platform::PointI{31 * scale, 40 * scale}));
    EXPECT_EQ(events.Last(MessageKind::MouseDown)->window, window);
}

// Every pointer event of the drawing area arrives at its window with the
// point in device pixels and the modifier keys held; moves keep only the
// latest position waiting.
TEST_F(DesktopTest, PointerEventsBecomeMessagesWithTheirPointAndModifiers) {
    RecordingWindow events;
    const auto window = ShownWindow(events);
    GtkWidget* area = platform_->DrawingArea(window);
    const int scale = gtk_widget_get_scale_factor(area);
    struct Case {
        const char* name;
        GdkEventType type;
        MessageKind kind;
        int wheelDelta;
    };
    const Case cases[] = {
        {"press", GDK_BUTTON_PRESS, MessageKind::MouseDown, 0},
        {"release", GDK_BUTTON_RELEASE, MessageKind::MouseUp, 0},
        {"motion", GDK_MOTION_NOTIFY, MessageKind::MouseMove, 0},
        {"wheel", GDK_SCROLL, MessageKind::MouseWheel, -120},
        {"touch begins", GDK_TOUCH_BEGIN, MessageKind::TouchBegin, 0},
        {"touch moves", GDK_TOUCH_UPDATE, MessageKind::TouchMove, 0},
        {"touch ends", GDK_TOUCH_END, MessageKind::TouchEnd, 0},
    };
    constexpr guint state = GDK_SHIFT_MASK | GDK_CONTROL_MASK;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events.messages.clear();
        GdkEvent* event = gdk_event_new(c.type);
        event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(area)));
        switch (c.type) {
        case GDK_BUTTON_PRESS:
        case GDK_BUTTON_RELEASE:
            event->button.x = 21, event->button.y = 34, event->button.state = state, event->button.button = 1;
            break;
        case GDK_MOTION_NOTIFY:
            event->motion.x = 21, event->motion.y = 34, event->motion.state = state;
            break;
        case GDK_SCROLL:
            event->scroll.x = 21, event->scroll.y = 34, event->scroll.state = state;
            event->scroll.direction = GDK_SCROLL_DOWN;
            break;
        default:
            event->touch.x = 21, event->touch.y = 34, event->touch.state = state;
            event->touch.sequence = reinterpret_cast<GdkEventSequence*>(1);
            break;
        }
        SendToWidget(area, event);
        ASSERT_TRUE(Pump([&] { return events.Count(c.kind) == 1; }));
        const Message& m = *events.Last(c.kind);
        EXPECT_EQ(m.window, window);
        EXPECT_EQ(m.point, (platform::PointI{21 * scale, 34 * scale}));
        EXPECT_EQ(m.shift, platform::ShiftShift | platform::ShiftCtrl);
        EXPECT_EQ(m.wheelDelta, c.wheelDelta);
    }

    events.messages.clear();
    for (double x : {50.0, 60.0, 70.0}) {
        GdkEvent* event = gdk_event_new(GDK_MOTION_NOTIFY);
        event->motion.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(area)));
        event->motion.x = x;
        event->motion.y = 5;
        SendToWidget(area, event);
    }
    PumpFor(50);
    ASSERT_EQ(events.Count(MessageKind::MouseMove), 1);
    EXPECT_EQ(events.Last(MessageKind::MouseMove)->point, (platform::PointI{70 * scale, 5 * scale}));
}

TEST_F(DesktopTest, KeyPressGivesTheKeyThenItsCharacterAndTabStaysWithTheToolkit) {
    RecordingWindow events;
    const auto window = ShownWindow(events);
    GtkWidget* top = platform_->TopLevelWidget(window);
    SendKey(top, GDK_KEY_Cyrillic_a, 0);
    SendKey(top, GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK);
    SendKey(top, GDK_KEY_Tab, GDK_CONTROL_MASK);
    ASSERT_TRUE(Pump([&] { return events.Count(MessageKind::KeyDown) == 3; }));
    PumpFor(20);
    std::vector<Message> keys;
    for (const auto& m : events.messages)
        if (m.kind == MessageKind::KeyDown || m.kind == MessageKind::Char) keys.push_back(m);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].kind, MessageKind::KeyDown);
    EXPECT_EQ(keys[1].kind, MessageKind::Char);
    EXPECT_EQ(keys[1].character, U'а');
    EXPECT_EQ(keys[2].key, platform::Key::Tab);
    EXPECT_EQ(keys[2].shift, platform::ShiftShift);
    EXPECT_EQ(keys[3].key, platform::Key::Tab);
    EXPECT_EQ(keys[3].shift, platform::ShiftCtrl);
    // GTK did not move the focus away from the drawn content on Tab.
    EXPECT_TRUE(gtk_widget_has_focus(platform_->DrawingArea(window)));
}

TEST_F(DesktopTest, OneShotTimerFiresOnceAndRepeatingTimerUntilKilled) {
    int once = 0, repeated = 0;
    platform_->CreateTimer(10, false, [&] { ++once; });
    platform::TimerHandle repeating = 0;
    repeating = platform_->CreateTimer(10, true, [&] {
        if (++repeated == 3) platform_->KillTimer(repeating);
    });
    PumpFor(200);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(repeated, 3);
}

TEST_F(DesktopTest, KilledTimerDoesNotRunFromAMessageAlreadyQueued) {
    int fired = 0;
    const auto timer = platform_->CreateTimer(5, true, [&] { ++fired; });
    g_usleep(20000);
    while (platform_->QueuedMessageCount() == 0) g_main_context_iteration(nullptr, TRUE);
    platform_->KillTimer(timer);
    PumpFor(50);
    EXPECT_EQ(fired, 0);
}

TEST_F(DesktopTest, LateTimerLeavesOneMessageNotAPile) {
    int fired = 0;
    const auto timer = platform_->CreateTimer(2, true, [&] { ++fired; });
    // GLib runs, the toolkit does not take messages for a while.
    const gint64 until = g_get_monotonic_time() + 80000;
    while (g_get_monotonic_time() < until) g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(platform_->QueuedMessageCount(), 1u);
    Message message;
    ASSERT_TRUE(platform_->PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Timer);
    EXPECT_EQ(message.timer, timer);
    platform_->DispatchMessage(message);
    EXPECT_EQ(fired, 1);
    platform_->KillTimer(timer);
}

TEST_F(DesktopTest, PostedCallbacksAndQuitKeepTheirOrder) {
    std::string trace;
    platform_->PostCallback([&] { trace += 'a'; });
    platform_->PostQuitMessage();
    platform_->PostCallback([&] { trace += 'b'; });
    Message message;
    std::vector<MessageKind> kinds;
    while (platform_->PeekMessage(message)) {
        kinds.push_back(message.kind);
        platform_->DispatchMessage(message);
    }
    EXPECT_EQ(kinds, (std::vector<MessageKind>{MessageKind::Invoke, MessageKind::Quit, MessageKind::Invoke}));
    EXPECT_EQ(trace, "ab");
}

TEST_F(DesktopTest, WaitMessageReturnsWhenAnotherThreadPostsACallback) {
    bool ran = false;
    GThread* thread = g_thread_new(
        "poster",
        [](gpointer data) -> gpointer {
            g_usleep(50000);
            static_cast<GtkPlatform*>(data)->PostCallback([] {});
            return nullptr;
        },
        platform_.get());
    platform_->WaitMessage();
    Message message;
    ASSERT_TRUE(platform_->PeekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Invoke);
    platform_->DispatchMessage(message);
    ran = true;
    g_thread_join(thread);
    EXPECT_TRUE(ran);
}

TEST_F(DesktopTest, ErrorBoxIsModalOverItsOwnerWithCaptionIconAndOk) {
    RecordingWindow events;
    const auto window = ShownWindow(events);
    struct Seen {
        std::string title, text;
        GtkMessageType type = GTK_MESSAGE_OTHER;
        GtkWindow* parent = nullptr;
        bool modal = false;
    } seen;
    g_timeout_add(200, [](gpointer data) -> gboolean {
        auto* s = static_cast<Seen*>(data);
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* l = toplevels; l; l = l->next) {
            if (!GTK_IS_MESSAGE_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
            GtkWindow* dialog = GTK_WINDOW(l->data);
            s->title = gtk_window_get_title(dialog);
            gchar* text = nullptr;
            g_object_get(dialog, "message-type", &s->type, "text", &text, nullptr);
            s->text = text ? text : "";
            g_free(text);
            s->parent = gtk_window_get_transient_for(dialog);
            s->modal = gtk_window_get_modal(dialog);
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
        }
        g_list_free(toplevels);
        return G_SOURCE_REMOVE;
    }, &seen);
    platform::MessageBoxRequest request;
    request.owner = window;
    request.caption = "Error";
    request.text = "Страница не найдена.\r\n";
    request.icon = platform::MessageBoxIcon::Error;
    EXPECT_EQ(platform_->ShowMessageBox(request), platform::MessageBoxResult::Ok);
    EXPECT_EQ(seen.title, "Error");
    EXPECT_EQ(seen.text, "Страница не найдена.");
    EXPECT_EQ(seen.type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(seen.parent, GTK_WINDOW(platform_->TopLevelWidget(window)));
    EXPECT_TRUE(seen.modal);
}

TEST_F(DesktopTest, ProcessFacts) {
    const std::string exe = platform_->ExecutablePath();
    EXPECT_EQ(exe.substr(exe.find_last_of('/') + 1), "velmora_desktop_tests");
    EXPECT_EQ(platform_->UserDataFolder(), g_get_user_config_dir());
    const auto where = platform_->LocateCode(reinterpret_cast<const void*>(&SendKey));
    EXPECT_EQ(where.moduleFileName, "velmora_desktop_tests");
    struct stat info {};
    ASSERT_EQ(stat(exe.c_str(), &info), 0);
    EXPECT_GT(where.offset, 0u);
    EXPECT_LT(where.offset, static_cast<std::uintptr_t>(info.st_size));
    EXPECT_EQ(platform_->GetOsVersion().major, 10);
    // The names the desktop file, the icon and the taskbar grouping go by.
    EXPECT_STREQ(g_get_prgname(), "org.velmora.Velmora");
    EXPECT_STREQ(gdk_get_program_class(), "Velmora");
    const std::uint64_t a = platform_->HighResolutionCounter();
    g_usleep(20000);
    const std::uint64_t b = platform_->HighResolutionCounter();
    // A busy machine may wake the sleeper late, never early.
    const double elapsed = static_cast<double>(b - a) / platform_->HighResolutionFrequency();
    EXPECT_GE(elapsed, 0.019);
    EXPECT_LT(elapsed, 1.0);
}

TEST(FloatingPoint, MaskingTurnsFaultsIntoSpecialValues) {
    GtkPlatform platform;
    feenableexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
    platform.MaskFloatingPointExceptions();
    EXPECT_EQ(fegetexcept(), 0);
    volatile double zero = 0.0, big = 1e308;
    EXPECT_TRUE(std::isinf(1.0 / zero));
    EXPECT_TRUE(std::isnan(zero / zero));
    EXPECT_TRUE(std::isinf(big * 10));
#if defined(__x86_64__) || defined(__i386__)
    unsigned int mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    EXPECT_EQ(mxcsr & 0x1F80u, 0x1F80u);
#endif
}

TEST_F(DesktopTest, ApplicationWindowIsOnlyARecordTheMainWindowCarriesTheEntry) {
    platform::WindowCreateParams params;
    params.kind = platform::WindowKind::Application;
    params.title = "Velmora";
    const auto app = platform_->CreateNativeWindow(params, nullptr);
    EXPECT_NE(app, 0u);
    EXPECT_EQ(platform_->TopLevelWidget(app), nullptr);
    platform_->ShowWindow(app);
    platform_->SetWindowTitle(app, "Тальмерин");
    EXPECT_FALSE(platform_->IsWindowVisible(app));

    RecordingWindow events;
    params.kind = platform::WindowKind::Form;
    params.owner = app;
    const auto form = platform_->CreateNativeWindow(params, &events);
    GtkWindow* top = GTK_WINDOW(platform_->TopLevelWidget(form));
    EXPECT_EQ(gtk_window_get_transient_for(top), nullptr);
    EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(top));
    platform_->DestroyNativeWindow(form);
    platform_->DestroyNativeWindow(app);
}

}  // namespace
}  // namespace velmora::gtk::testing
