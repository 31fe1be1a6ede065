#include "WebKitEngine.h"

#include <libsoup/soup.h>

#include <utility>

#include "GtkPlatform.h"
#include "LoadErrors.h"
#ifdef VELMORA_BENCH_TRACE
#include "BenchTrace.h"
#endif

namespace velmora::gtk {

namespace {

std::string UriOf(WebKitWebView* view) {
    const gchar* uri = webkit_web_view_get_uri(view);
    return uri ? uri : "";
}

// A book needs none of these; each costs memory or a process when left on.
void SetIfKnown(WebKitSettings* settings, const char* name, int value) {
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(settings), name)) g_object_set(settings, name, value, nullptr);
}

}  // namespace

WebKitEngine::WebKitEngine(GtkPlatform& platform, platform::IWebEngineEvents& events,
                           std::shared_ptr<const platform::IEnginePages> pages)
    : NativeWebEngine(platform, events), platform_(platform), pages_(std::move(pages)), focus_(platform, events) {}

WebKitEngine::~WebKitEngine() { Close(); }

std::string WebKitEngine::ResolveAddress(const std::string& address) {
    if (address.empty()) return "about:blank";
    if (!g_utf8_validate(address.data(), static_cast<gssize>(address.size()), nullptr)) return {};
    if (address.front() == '/') {
        const GCharPtr uri(g_filename_to_uri(address.c_str(), nullptr, nullptr));
        return uri ? std::string(uri.get()) : std::string();
    }
    if (!GCharPtr(g_uri_parse_scheme(address.c_str()))) return {};
    if (!g_uri_is_valid(address.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr)) return {};
    return address;
}

void WebKitEngine::EnsureView() {
    if (view_) return;
    context_ = webkit_web_context_get_default();
    // A reader of a few pages: no page cache, the smallest memory caches.
    webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    const GObjectPtr<WebKitSettings> settings(webkit_settings_new());
    for (const char* off : {"enable-webaudio", "enable-webgl", "enable-media-stream", "enable-mediasource",
                            "enable-encrypted-media", "enable-media", "enable-page-cache", "enable-developer-extras",
                            "enable-dns-prefetching", "enable-back-forward-navigation-gestures",
                            "enable-html5-database", "enable-html5-local-storage", "enable-offline-web-application-cache",
                            "enable-webrtc", "enable-java", "enable-plugins"})
        SetIfKnown(settings.get(), off, FALSE);
    SetIfKnown(settings.get(), "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    view_.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(webkit_web_view_new_with_settings(settings.get()))));
    root_.reset(GTK_WIDGET(g_object_ref_sink(gtk_overlay_new())));
    WebKitWebView* view = view_.get();
    gtk_container_add(GTK_CONTAINER(root_.get()), GTK_WIDGET(view));
    gtk_widget_show(GTK_WIDGET(view));
    indicator_ = std::make_unique<LoadIndicator>(GTK_OVERLAY(root_.get()), pages_ ? pages_->LoadingText() : "");
    focus_.Attach(view, root_.get());
    screenReader_ = std::make_unique<ScreenReaderSwitch>([this](bool on) {
        if (view_) webkit_settings_set_enable_caret_browsing(webkit_web_view_get_settings(view_.get()), on);
    });

    g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), this);
    // Before the reader keys' own handler: the view is the focused control
    // before anything else happens to the click.
    g_signal_connect(view, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(view, "notify::estimated-load-progress", G_CALLBACK(OnProgress), this);
    g_signal_connect(view, "notify::is-web-process-responsive", G_CALLBACK(OnResponsive), this);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnProcessTerminated), this);
#ifdef VELMORA_BENCH_TRACE
    g_signal_connect(view, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer) -> gboolean {
                         VELMORA_BENCH_TRACE_POINT("webdraw", 0, 0);
                         return FALSE;
                     }), nullptr);
#endif
    g_signal_connect(webkit_web_view_get_back_forward_list(view), "changed", G_CALLBACK(OnHistoryChanged), this);
    policy_.Attach(view, context_);
    keys_.Attach(view);
}

platform::EngineResult WebKitEngine::Initialize() {
    EnsureView();
    if (!view_) return platform::EngineFailure(platform::EngineUnexpected, "The web engine could not be created");
    return {};
}

platform::EngineResult WebKitEngine::PutSilent(bool silent) {
    EnsureView();
    policy_.SetSilent(silent);
    return {};
}

void WebKitEngine::ActivationTarget(platform::WindowHandle mainWindow, const platform::RectI&) {
    EnsureView();
    // The reader's keys work while the page is shown, whichever control of
    // the window has the keyboard.
    GtkWidget* toplevel = platform_.TopLevelWidget(mainWindow);
    keys_.WatchWindow(toplevel);
    focus_.WatchWindow(toplevel);
    if (toplevel == toplevel_.get()) return;
    const bool blankWaits = mapHandler_ != 0;
    mapHandler_ = 0;
    toplevel_.Reset(toplevel);  // the wait for the old window goes with it
    // A blank page still waiting waits for the new window instead; activation
    // itself loads nothing.
    if (blankWaits && !WaitForFirstFrame())
        blankIdle_.Reset(g_idle_add_full(G_PRIORITY_LOW, OnFirstFrameShown, this, nullptr));
}

bool WebKitEngine::ActivateDisplay(platform::WindowHandle mainWindow, const platform::RectI& bounds,
                                   platform::WindowHandle& display) {
    display = platform_.AttachDisplay(root_.get(), mainWindow, bounds);
    if (display && !visible_) platform_.HideDisplayWidget(root_.get());
    return display != 0;
}

platform::EngineResult WebKitEngine::Navigate(const std::string& url, std::optional<std::int32_t> flags) {
    EnsureView();
    StopWaitingForFirstFrame();
    if (url.empty() && !webkit_web_view_get_uri(view_.get()) && WaitForFirstFrame()) return {};
    const std::string uri = ResolveAddress(url);
    if (uri.empty()) return platform::EngineFailure(platform::EngineInvalidArgument, "The address is not a valid URI");
    const bool bypassCache =
        flags && (*flags & (platform::NavNoReadFromCache | platform::NavNoWriteToCache)) != 0;
    chapter_ = uri;
    supervisor_.Request(uri, bypassCache);
    return {};
}

void WebKitEngine::Reload() {
    if (view_) supervisor_.Reload();
}

void WebKitEngine::RetryRequested() {
    // Out of the policy decision: the page that asked is still deciding.
    Defer([this] { Reload(); });
}

bool WebKitEngine::WaitForFirstFrame() {
    // The first load starts the web process and, in this process, the
    // graphics driver the engine insists on: tens of milliseconds that would
    // hold up the window. The first blank page goes out once the window is on
    // screen, at a priority below its first drawing; a chapter chosen before
    // then simply goes first.
    if (!toplevel_ || gtk_widget_get_mapped(toplevel_.get())) return false;
    mapHandler_ = g_signal_connect(toplevel_.get(), "map-event", G_CALLBACK(OnWindowMapped), this);
    return true;
}

void WebKitEngine::StopWaitingForFirstFrame() {
    if (mapHandler_ && toplevel_) g_signal_handler_disconnect(toplevel_.get(), mapHandler_);
    mapHandler_ = 0;
    blankIdle_.Reset();
}

gboolean WebKitEngine::OnWindowMapped(GtkWidget* window, GdkEvent*, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    g_signal_handler_disconnect(window, std::exchange(engine->mapHandler_, 0));
    engine->blankIdle_.Reset(g_idle_add_full(G_PRIORITY_LOW, OnFirstFrameShown, self, nullptr));
    return FALSE;
}

gboolean WebKitEngine::OnFirstFrameShown(gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    engine->blankIdle_.Forget();
    if (!webkit_web_view_get_uri(engine->view_.get())) engine->Navigate("", std::nullopt);
    return G_SOURCE_REMOVE;
}

void WebKitEngine::DoVerb(platform::EngineVerb verb) {
    if (!view_) return;
    // Showing a widget never takes the focus in GTK, so the active window and
    // its focus stay where they are.
    if (verb == platform::EngineVerb::Show) gtk_widget_show(root_.get());
    else platform_.HideDisplayWidget(root_.get());
}

void WebKitEngine::CloseEngine() {
    probeLife_.Renew();
    StopWaitingForFirstFrame();
    focus_.Detach();
    screenReader_.reset();
    keys_.Detach();
    toplevel_.Reset();
    if (!view_) return;
    supervisor_.Reset();
    policy_.Detach();
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_.get()), this);
    g_signal_handlers_disconnect_by_data(view_.get(), this);
    webkit_web_view_stop_loading(view_.get());
    if (const platform::WindowHandle display = DisplayWindow()) platform_.DetachDisplay(display);
    indicator_.reset();
    gtk_widget_destroy(root_.get());
    root_.reset();
    view_.reset();
}

// ---------------------------------------------------------------- the supervisor's hooks

void WebKitEngine::StartLoad(const std::string& uri, bool bypassCache) {
    if (!bypassCache) {
        webkit_web_view_load_uri(view_.get(), uri.c_str());
        return;
    }
    const GObjectPtr<WebKitURIRequest> request(webkit_uri_request_new(uri.c_str()));
    // Non-HTTP addresses have no headers; they are not cached either.
    if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request.get())) {
        soup_message_headers_replace(headers, "Cache-Control", "no-cache");
        soup_message_headers_replace(headers, "Pragma", "no-cache");
    }
    webkit_web_view_load_request(view_.get(), request.get());
}

void WebKitEngine::StopLoad() { webkit_web_view_stop_loading(view_.get()); }

bool WebKitEngine::IsLoading() { return webkit_web_view_is_loading(view_.get()); }

bool WebKitEngine::IsResponsive() { return webkit_web_view_get_is_web_process_responsive(view_.get()); }

void WebKitEngine::EndProcess() { webkit_web_view_terminate_web_process(view_.get()); }

std::string WebKitEngine::CurrentUri() { return UriOf(view_.get()); }

void WebKitEngine::SendProbe(unsigned probe) {
    using Answer = std::function<void()>;
    auto answer = std::make_unique<Answer>(probeLife_.Guard([this, probe] { supervisor_.ProbeAnswered(probe); }));
    webkit_web_view_evaluate_javascript(
        view_.get(), "0", -1, nullptr, nullptr, nullptr,
        +[](GObject* view, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<Answer> answer(static_cast<Answer*>(data));
            GError* failed = nullptr;
            const GObjectPtr<JSCValue> value(
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &failed));
            const GErrorPtr error(failed);
            if (value) (*answer)();
        },
        answer.release());
}

bool WebKitEngine::ShowFailurePage(const std::string& uri, const platform::LoadFailureInfo& failure) {
    if (!pages_) return false;
    const std::string html = pages_->FailurePage(uri, failure);
    webkit_web_view_load_alternate_html(view_.get(), html.c_str(), uri.c_str(), nullptr);
    return true;
}

template <LoadTimer timer>
gboolean WebKitEngine::OnTimer(gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    engine->TimerSource(timer).Forget();
    engine->supervisor_.TimerFired(timer);
    return G_SOURCE_REMOVE;
}

void WebKitEngine::StartTimer(LoadTimer timer, unsigned milliseconds) {
    GSourceFunc fired = nullptr;
    switch (timer) {
    case LoadTimer::Watchdog: fired = OnTimer<LoadTimer::Watchdog>; break;
    case LoadTimer::LoadTimeout: fired = OnTimer<LoadTimer::LoadTimeout>; break;
    case LoadTimer::Unresponsive: fired = OnTimer<LoadTimer::Unresponsive>; break;
    }
    TimerSource(timer).Reset(g_timeout_add(milliseconds, fired, this));
}

// ---------------------------------------------------------------- the view's signals

void WebKitEngine::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
#ifdef VELMORA_BENCH_TRACE
    VELMORA_BENCH_TRACE_POINT("load", event, 0);
#endif
    switch (event) {
    case WEBKIT_LOAD_STARTED: engine->supervisor_.Started(UriOf(view)); break;
    case WEBKIT_LOAD_REDIRECTED: engine->supervisor_.Redirected(UriOf(view)); break;
    case WEBKIT_LOAD_COMMITTED: engine->supervisor_.Committed(UriOf(view)); break;
    case WEBKIT_LOAD_FINISHED: engine->supervisor_.Finished(); break;
    }
}

gboolean WebKitEngine::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error,
                                    gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    const bool handled =
        engine->supervisor_.Failed(failingUri ? failingUri : "", DescribeLoadError(error), error ? error->code : 0);
    return handled ? TRUE : FALSE;
}

void WebKitEngine::OnHistoryChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    if (!engine->view_) return;
    engine->ReportHistory(webkit_web_view_can_go_forward(engine->view_.get()),
                          webkit_web_view_can_go_back(engine->view_.get()));
}

gboolean WebKitEngine::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->type == GDK_BUTTON_PRESS) static_cast<WebKitEngine*>(self)->ReportMouseActivate();
    return FALSE;
}

void WebKitEngine::OnProgress(GObject*, GParamSpec*, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    engine->supervisor_.Progress(webkit_web_view_get_estimated_load_progress(engine->view_.get()));
}

void WebKitEngine::OnResponsive(GObject*, GParamSpec*, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    engine->supervisor_.ResponsivenessChanged(webkit_web_view_get_is_web_process_responsive(engine->view_.get()));
}

void WebKitEngine::OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self) {
    static_cast<WebKitEngine*>(self)->supervisor_.ProcessEnded(reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API,
                                                                reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT);
}

}  // namespace velmora::gtk
