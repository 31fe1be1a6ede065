#include "WebKitEngine.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "EngineEnvironment.h"
#include "GLibHolders.h"
#include "GtkPlatform.h"
#ifdef VELMORA_BENCH_TRACE
#include "BenchTrace.h"
#endif

namespace velmora::gtk {

namespace {

// Failure codes in the engine's own numbering, so the toolkit can raise them
// like any other engine refusal.
constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057);
constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFF);

platform::EngineResult Failure(std::int32_t code, std::string description) {
    platform::EngineResult result;
    result.ok = false;
    result.code = code;
    result.description = std::move(description);
    return result;
}

std::string CurrentUri(WebKitWebView* view) {
    const gchar* uri = webkit_web_view_get_uri(view);
    return uri ? uri : "";
}

// A book needs none of these; each costs memory or a process when left on.
void SetIfKnown(WebKitSettings* settings, const char* name, int value) {
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(settings), name)) g_object_set(settings, name, value, nullptr);
}

std::string HostOf(const std::string& uri) {
    std::string host;
    GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr);
    if (!parsed) return host;
    if (const char* h = g_uri_get_host(parsed)) host = h;
    g_uri_unref(parsed);
    for (char& c : host) c = static_cast<char>(g_ascii_tolower(c));
    return host;
}

bool IsWebScheme(const std::string& uri) {
    gchar* scheme = g_uri_parse_scheme(uri.c_str());
    const bool web = scheme && (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0);
    g_free(scheme);
    return web;
}

bool IsAttachment(const char* disposition) {
    while (g_ascii_isspace(*disposition)) ++disposition;
    return g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
}

// A moment longer than a healthy page needs to start its load or answer a
// probe; after it the page's process is taken as stuck.
constexpr guint kStuckAfterMs = 1500;
// How long the engine may find the page unresponsive before it is ended.
constexpr guint kUnresponsiveGraceMs = 3000;

constexpr std::array<double, 13> kZoomLevels = {0.3, 0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

}  // namespace

WebKitEngine::WebKitEngine(GtkPlatform& platform, platform::IWebEngineEvents& events)
    : platform_(platform), events_(events) {}

WebKitEngine::~WebKitEngine() { Close(); }

double WebKitEngine::ZoomStep(double level, int direction) {
    if (direction > 0) {
        for (double z : kZoomLevels)
            if (z > level + 1e-6) return z;
        return kZoomLevels.back();
    }
    for (auto it = kZoomLevels.rbegin(); it != kZoomLevels.rend(); ++it)
        if (*it < level - 1e-6) return *it;
    return kZoomLevels.front();
}

bool WebKitEngine::TrimContextMenu(WebKitContextMenu* menu) {
    static constexpr WebKitContextMenuAction kRemoved[] = {
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW,  WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK,
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK,
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW,
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_VIDEO_TO_DISK,
        WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_AUDIO_TO_DISK,   WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT,
    };
    GList* items = g_list_copy(webkit_context_menu_get_items(menu));
    for (GList* l = items; l; l = l->next) {
        auto* item = WEBKIT_CONTEXT_MENU_ITEM(l->data);
        const WebKitContextMenuAction action = webkit_context_menu_item_get_stock_action(item);
        if (std::find(std::begin(kRemoved), std::end(kRemoved), action) != std::end(kRemoved))
            webkit_context_menu_remove(menu, item);
    }
    g_list_free(items);
    // Separators that now lead, trail or follow each other go as well.
    items = g_list_copy(webkit_context_menu_get_items(menu));
    bool previousSeparator = true;
    for (GList* l = items; l; l = l->next) {
        auto* item = WEBKIT_CONTEXT_MENU_ITEM(l->data);
        const bool separator = webkit_context_menu_item_is_separator(item);
        if (separator && (previousSeparator || !l->next)) webkit_context_menu_remove(menu, item);
        else previousSeparator = separator;
    }
    g_list_free(items);
    GList* left = webkit_context_menu_get_items(menu);
    if (left && webkit_context_menu_item_is_separator(WEBKIT_CONTEXT_MENU_ITEM(g_list_last(left)->data)))
        webkit_context_menu_remove(menu, WEBKIT_CONTEXT_MENU_ITEM(g_list_last(left)->data));
    return webkit_context_menu_get_n_items(menu) > 0;
}

std::string WebKitEngine::ResolveAddress(const std::string& address) {
    if (address.empty()) return "about:blank";
    if (!g_utf8_validate(address.data(), static_cast<gssize>(address.size()), nullptr)) return {};
    if (address.front() == '/') {
        gchar* uri = g_filename_to_uri(address.c_str(), nullptr, nullptr);
        if (!uri) return {};
        std::string result = uri;
        g_free(uri);
        return result;
    }
    gchar* scheme = g_uri_parse_scheme(address.c_str());
    if (!scheme) return {};
    g_free(scheme);
    if (!g_uri_is_valid(address.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr)) return {};
    return address;
}

void WebKitEngine::EnsureView() {
    if (view_) return;
    context_ = webkit_web_context_get_default();
    // A reader of a few pages: no page cache, the smallest memory caches.
    webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    WebKitSettings* settings = webkit_settings_new();
    for (const char* off : {"enable-webaudio", "enable-webgl", "enable-media-stream", "enable-mediasource",
                            "enable-encrypted-media", "enable-media", "enable-page-cache", "enable-developer-extras",
                            "enable-dns-prefetching", "enable-back-forward-navigation-gestures",
                            "enable-html5-database", "enable-html5-local-storage", "enable-offline-web-application-cache",
                            "enable-webrtc", "enable-java", "enable-plugins"})
        SetIfKnown(settings, off, FALSE);
    SetIfKnown(settings, "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_settings(settings));
    g_object_unref(settings);
    g_object_ref_sink(view_);
    root_ = gtk_overlay_new();
    g_object_ref_sink(root_);
    gtk_container_add(GTK_CONTAINER(root_), GTK_WIDGET(view_));
    gtk_widget_show(GTK_WIDGET(view_));
    indicator_ = std::make_unique<LoadIndicator>(GTK_OVERLAY(root_));
    focus_.Attach(view_, root_);
    screenReader_ = std::make_unique<ScreenReaderSwitch>([this](bool on) {
        if (view_) webkit_settings_set_enable_caret_browsing(webkit_web_view_get_settings(view_), on);
    });

    g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(view_, "scroll-event", G_CALLBACK(OnScroll), this);
    g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
    g_signal_connect(view_, "notify::estimated-load-progress", G_CALLBACK(OnProgress), this);
    g_signal_connect(view_, "notify::is-web-process-responsive", G_CALLBACK(OnResponsive), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnProcessTerminated), this);
    // Printing only when the reader asks (Ctrl+P), never from a page's script.
    g_signal_connect(view_, "print", G_CALLBACK(+[](WebKitWebView*, WebKitPrintOperation*, gpointer) -> gboolean {
                         return TRUE;
                     }), this);
    g_signal_connect(context_, "download-started", G_CALLBACK(OnDownloadStarted), this);
#ifdef VELMORA_BENCH_TRACE
    g_signal_connect(view_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer) -> gboolean {
                         VELMORA_BENCH_TRACE_POINT("webdraw", 0, 0);
                         return FALSE;
                     }), nullptr);
#endif
    g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed", G_CALLBACK(OnHistoryChanged), this);
}

platform::EngineResult WebKitEngine::Initialize() {
    EnsureView();
    if (!view_) return Failure(kUnexpected, "The web engine could not be created");
    return {};
}

platform::EngineResult WebKitEngine::PutSilent(bool silent) {
    EnsureView();
    if (silent == silent_) return {};
    silent_ = silent;
    if (silent) {
        silentHandlers_[0] = g_signal_connect(view_, "script-dialog", G_CALLBACK(OnScriptDialog), this);
        silentHandlers_[1] = g_signal_connect(view_, "permission-request", G_CALLBACK(OnPermission), this);
        silentHandlers_[2] = g_signal_connect(view_, "authenticate", G_CALLBACK(OnAuthenticate), this);
        silentHandlers_[3] = g_signal_connect(view_, "run-file-chooser", G_CALLBACK(OnFileChooser), this);
    } else {
        for (gulong& id : silentHandlers_) {
            if (id) g_signal_handler_disconnect(view_, id);
            id = 0;
        }
    }
    return {};
}

bool WebKitEngine::InPlaceActivate(platform::WindowHandle mainWindow, const platform::RectI& bounds) {
    EnsureView();
    // The reader's keys work while the page is shown, whichever control of
    // the window has the keyboard.
    GtkWidget* toplevel = platform_.TopLevelWidget(mainWindow);
    if (toplevel != toplevel_) {
        const bool blankWaits = mapHandler_ != 0;
        if (toplevel_) {
            g_signal_handlers_disconnect_by_data(toplevel_, this);
            g_object_remove_weak_pointer(G_OBJECT(toplevel_), reinterpret_cast<gpointer*>(&toplevel_));
        }
        toplevel_ = toplevel;
        if (toplevel_) {
            g_object_add_weak_pointer(G_OBJECT(toplevel_), reinterpret_cast<gpointer*>(&toplevel_));
            g_signal_connect(toplevel_, "key-press-event", G_CALLBACK(OnWindowKey), this);
        }
        focus_.WatchWindow(toplevel_);
        mapHandler_ = 0;
        // A blank page still waiting waits for the new window instead.
        if (blankWaits) Navigate("", std::nullopt);
    }
    if (display_) {
        // Already in place: activation moves it into the given window.
        platform_.SetParentWindow(display_, mainWindow, false);
        platform_.SetWindowPos(display_, bounds, platform::PosMoveSize);
        return platform_.GetParentWindow(display_) == mainWindow;
    }
    display_ = platform_.AttachDisplay(root_, mainWindow, bounds);
    if (display_ && !visible_) platform_.HideDisplayWidget(root_);
    return display_ != 0;
}

platform::EngineResult WebKitEngine::Navigate(const std::string& url, std::optional<std::int32_t> flags) {
    EnsureView();
    StopWaitingForFirstFrame();
    if (url.empty() && !webkit_web_view_get_uri(view_) && WaitForFirstFrame()) return {};
    const std::string uri = ResolveAddress(url);
    if (uri.empty()) return Failure(kInvalidArgument, "The address is not a valid URI");
    const bool bypassCache =
        flags && (*flags & (platform::NavNoReadFromCache | platform::NavNoWriteToCache)) != 0;
    chapter_ = uri;
    LoadChapter(uri, bypassCache);
    return {};
}

bool WebKitEngine::WaitForFirstFrame() {
    // The first load starts the web process and, in this process, the
    // graphics driver the engine insists on: tens of milliseconds that would
    // hold up the window. The first blank page goes out once the window is on
    // screen, at a priority below its first drawing; a chapter chosen before
    // then simply goes first.
    if (!toplevel_ || gtk_widget_get_mapped(toplevel_)) return false;
    mapHandler_ = g_signal_connect(toplevel_, "map-event", G_CALLBACK(OnWindowMapped), this);
    return true;
}

void WebKitEngine::StopWaitingForFirstFrame() {
    if (mapHandler_ && toplevel_) g_signal_handler_disconnect(toplevel_, mapHandler_);
    mapHandler_ = 0;
    if (blankIdle_) g_source_remove(blankIdle_);
    blankIdle_ = 0;
}

gboolean WebKitEngine::OnWindowMapped(GtkWidget* window, GdkEvent*, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    g_signal_handler_disconnect(window, std::exchange(engine->mapHandler_, 0));
    engine->blankIdle_ = g_idle_add_full(G_PRIORITY_LOW, OnFirstFrameShown, self, nullptr);
    return FALSE;
}

gboolean WebKitEngine::OnFirstFrameShown(gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    engine->blankIdle_ = 0;
    if (!webkit_web_view_get_uri(engine->view_)) engine->Navigate("", std::nullopt);
    return G_SOURCE_REMOVE;
}

void WebKitEngine::LoadChapter(const std::string& uri, bool bypassCache, bool processChecked) {
    pendingFailure_.reset();
    failurePage_ = FailurePage::None;
    requestUri_ = uri;
    chapterBypassCache_ = bypassCache;
    StopTimers();
    // A page that no longer answers would swallow the request: end it first;
    // the load goes out once its process is gone.
    if (!processChecked && !webkit_web_view_get_is_web_process_responsive(view_)) {
        indicator_->Begin();
        afterEnd_ = AfterEnd::LoadChapter;
        EndStuckProcess();
        return;
    }
    if (!indicator_->LineShown()) indicator_->Begin();
    if (!bypassCache) {
        webkit_web_view_load_uri(view_, uri.c_str());
    } else {
        WebKitURIRequest* request = webkit_uri_request_new(uri.c_str());
        // Non-HTTP addresses have no headers; they are not cached either.
        if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request)) {
            soup_message_headers_replace(headers, "Cache-Control", "no-cache");
            soup_message_headers_replace(headers, "Pragma", "no-cache");
        }
        webkit_web_view_load_request(view_, request);
        g_object_unref(request);
    }
    ArmWatchdog();
}

void WebKitEngine::Reload() {
    if (!view_) return;
    std::string uri = failureShown_ || failurePage_ != FailurePage::None ? failureUri_ : CurrentUri(view_);
    if (uri.empty()) uri = requestUri_.empty() ? chapter_ : requestUri_;
    if (uri.empty() || uri == "about:blank") return;
    LoadChapter(uri, true);
}

void WebKitEngine::ArmWatchdog() {
    startedSinceRequest_ = false;
    // A page busy in an endless script never starts the next load and never
    // answers a script; a healthy one does one of them at once. An answer
    // counts only for the watchdog armed with its probe.
    probeAnswered_ = false;
    probeLife_.Renew();
    auto* answer = new std::function<void()>(probeLife_.Guard([this] { probeAnswered_ = true; }));
    webkit_web_view_evaluate_javascript(
        view_, "0", -1, nullptr, nullptr, nullptr,
        +[](GObject* view, GAsyncResult* result, gpointer data) {
            auto* answer = static_cast<std::function<void()>*>(data);
            GError* error = nullptr;
            if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error)) {
                g_object_unref(value);
                (*answer)();
            }
            if (error) g_error_free(error);
            delete answer;
        },
        answer);
    watchdog_ = g_timeout_add(kStuckAfterMs, +[](gpointer self) -> gboolean {
        auto* engine = static_cast<WebKitEngine*>(self);
        engine->watchdog_ = 0;
        if (!engine->startedSinceRequest_ && !engine->probeAnswered_) {
            engine->afterEnd_ = AfterEnd::LoadChapter;
            engine->EndStuckProcess();
        }
        return G_SOURCE_REMOVE;
    }, this);
    loadTimer_ = g_timeout_add(loadTimeoutMs_, +[](gpointer self) -> gboolean {
        auto* engine = static_cast<WebKitEngine*>(self);
        engine->loadTimer_ = 0;
        FailureInfo failure;
        failure.kind = LoadFailure::TimedOut;
        if (engine->startedSinceRequest_ && webkit_web_view_is_loading(engine->view_)) {
            // The engine reports the stopped load as failed; the reason is ours.
            engine->pendingFailure_ = failure;
            webkit_web_view_stop_loading(engine->view_);
        } else {
            engine->ShowFailure(engine->requestUri_, failure);
        }
        return G_SOURCE_REMOVE;
    }, this);
}

void WebKitEngine::StopTimers() {
    for (guint* timer : {&watchdog_, &loadTimer_, &unresponsiveTimer_}) {
        if (*timer) g_source_remove(*timer);
        *timer = 0;
    }
}

void WebKitEngine::EndStuckProcess() {
    // The view stays; its next load starts a fresh process.
    webkit_web_view_terminate_web_process(view_);
}

void WebKitEngine::ShowFailure(const std::string& uri, FailureInfo failure) {
    StopTimers();
    pendingFailure_.reset();
    failureUri_ = uri.empty() ? requestUri_ : uri;
    failurePage_ = FailurePage::Requested;
    const std::string html = ErrorPageHtml(failureUri_, failure);
    webkit_web_view_load_alternate_html(view_, html.c_str(), failureUri_.c_str(), nullptr);
}

bool WebKitEngine::IsOtherHost(const std::string& uri) const {
    return IsWebScheme(uri) && HostOf(uri) != HostOf(chapter_);
}

void WebKitEngine::OpenExternally(const std::string& uri) {
    GObjectPtr<GdkAppLaunchContext> launch(
        gdk_display_get_app_launch_context(gtk_widget_get_display(GTK_WIDGET(view_))));
    LeaveOutEngineEnvironment(G_APP_LAUNCH_CONTEXT(launch.get()));
    GError* failed = nullptr;
    if (!g_app_info_launch_default_for_uri(uri.c_str(), G_APP_LAUNCH_CONTEXT(launch.get()), &failed)) {
        const GErrorPtr error(failed);
        g_message("No program opens %s: %s", uri.c_str(), error ? error->message : "");
    }
}

void WebKitEngine::Zoom(int direction) {
    const double level = direction == 0 ? 1.0 : ZoomStep(webkit_web_view_get_zoom_level(view_), direction);
    webkit_web_view_set_zoom_level(view_, level);
}

void WebKitEngine::PrintChapter() {
    WebKitPrintOperation* operation = webkit_print_operation_new(view_);
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
    webkit_print_operation_run_dialog(operation, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
    g_object_unref(operation);
}

bool WebKitEngine::HandleShortcut(const GdkEventKey* event) {
    if (!view_ || !gtk_widget_is_drawable(GTK_WIDGET(view_))) return false;
    const guint mods = event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK);
    const bool ctrl = mods == GDK_CONTROL_MASK;
    const bool alt = mods == GDK_MOD1_MASK;
    // Alt+arrows move the focus among the window's own controls elsewhere;
    // they go back and forward only inside the page.
    const bool pageHasKeys = gtk_widget_has_focus(GTK_WIDGET(view_));
    switch (event->keyval) {
    case GDK_KEY_F5:
        if (mods) return false;
        Reload();
        return true;
    case GDK_KEY_r:
    case GDK_KEY_R:
        if (!ctrl) return false;
        Reload();
        return true;
    case GDK_KEY_p:
    case GDK_KEY_P:
        if (!ctrl) return false;
        PrintChapter();
        return true;
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add:
        if (!ctrl) return false;
        Zoom(1);
        return true;
    case GDK_KEY_minus:
    case GDK_KEY_underscore:
    case GDK_KEY_KP_Subtract:
        if (!ctrl) return false;
        Zoom(-1);
        return true;
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
        if (!ctrl) return false;
        Zoom(0);
        return true;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        if (!alt || !pageHasKeys) return false;
        webkit_web_view_go_back(view_);
        return true;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        if (!alt || !pageHasKeys) return false;
        webkit_web_view_go_forward(view_);
        return true;
    case GDK_KEY_Back:
        webkit_web_view_go_back(view_);
        return true;
    case GDK_KEY_Forward:
        webkit_web_view_go_forward(view_);
        return true;
    default:
        return false;
    }
}

void WebKitEngine::DoVerb(platform::EngineVerb verb) {
    if (!view_) return;
    // Showing a widget never takes the focus in GTK, so the active window and
    // its focus stay where they are.
    if (verb == platform::EngineVerb::Show) gtk_widget_show(root_);
    else platform_.HideDisplayWidget(root_);
}

void WebKitEngine::Close() {
    life_.Renew();  // queued notifications of the old life are dropped
    probeAnswered_ = false;
    probeLife_.Renew();
    StopWaitingForFirstFrame();
    focus_.Detach();
    screenReader_.reset();
    if (toplevel_) {
        g_signal_handlers_disconnect_by_data(toplevel_, this);
        g_object_remove_weak_pointer(G_OBJECT(toplevel_), reinterpret_cast<gpointer*>(&toplevel_));
        toplevel_ = nullptr;
    }
    if (!view_) return;
    StopTimers();
    g_signal_handlers_disconnect_by_data(context_, this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_), this);
    g_signal_handlers_disconnect_by_data(view_, this);
    for (gulong& id : silentHandlers_) id = 0;
    silent_ = false;
    webkit_web_view_stop_loading(view_);
    if (display_) platform_.DetachDisplay(display_);
    display_ = 0;
    indicator_.reset();
    gtk_widget_destroy(root_);
    g_object_unref(root_);
    g_object_unref(view_);
    root_ = nullptr;
    view_ = nullptr;
}

void WebKitEngine::Notify(std::function<void(platform::IWebEngineEvents&)> notification) {
    // Through the queue: the toolkit's handlers then run from DispatchMessage,
    // where their errors reach the error policy, and never inside WebKit.
    platform_.PostCallback(life_.Guard([events = &events_, notification = std::move(notification)] {
        notification(*events);
    }));
}

void WebKitEngine::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    const std::string uri = CurrentUri(view);
#ifdef VELMORA_BENCH_TRACE
    VELMORA_BENCH_TRACE_POINT("load", event, 0);
#endif
    // Our failure page loads like any page; the toolkit hears nothing of it
    // (it has heard of the failure).
    if (engine->failurePage_ != FailurePage::None) {
        if (event == WEBKIT_LOAD_STARTED && engine->failurePage_ == FailurePage::Requested)
            engine->failurePage_ = FailurePage::Started;
        else if (event == WEBKIT_LOAD_COMMITTED && engine->failurePage_ == FailurePage::Started)
            engine->indicator_->Arrived();
        else if (event == WEBKIT_LOAD_FINISHED && engine->failurePage_ == FailurePage::Started) {
            engine->failurePage_ = FailurePage::None;
            engine->failureShown_ = true;
            engine->indicator_->End();
        }
        return;
    }
    switch (event) {
    case WEBKIT_LOAD_STARTED:
        engine->startedSinceRequest_ = true;
        engine->failureShown_ = false;
        if (!engine->indicator_->LineShown()) engine->indicator_->Begin();
        [[fallthrough]];
    case WEBKIT_LOAD_REDIRECTED:  // a redirect is a new navigation to the new address
        engine->Notify([uri](platform::IWebEngineEvents& events) { events.BeforeNavigate2(uri); });
        break;
    case WEBKIT_LOAD_COMMITTED:
        // The document has started to arrive: the navigation is complete.
        // (FINISHED would report the same navigation a second time.)
        if (engine->loadTimer_) g_source_remove(engine->loadTimer_);
        engine->loadTimer_ = 0;
        engine->indicator_->Arrived();
        engine->Notify([uri](platform::IWebEngineEvents& events) { events.NavigateComplete2(uri); });
        break;
    case WEBKIT_LOAD_FINISHED:
        engine->indicator_->End();
        break;
    }
}

gboolean WebKitEngine::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error,
                                    gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    const std::string uri = failingUri ? failingUri : "";
    if (engine->failurePage_ != FailurePage::None) return TRUE;  // the failure page itself: nothing more to show
    FailureInfo failure;
    if (engine->pendingFailure_) {
        failure = *engine->pendingFailure_;
    } else {
        // A load replaced by a newer one is not a failure of the page, nor is
        // a navigation the reader itself turned away.
        if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
            g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
            return FALSE;
        failure.kind = ClassifyLoadError(error);
        // The engine's own words only where ours say nothing precise.
        if (failure.kind == LoadFailure::Other && error && error->message) failure.detail = error->message;
    }
    const std::int32_t status =
        failure.kind == LoadFailure::HttpStatus ? failure.httpStatus : (error ? error->code : 0);
    engine->Notify([uri, status](platform::IWebEngineEvents& events) { events.NavigateError(uri, status); });
    engine->ShowFailure(uri, failure);
    return TRUE;
}

void WebKitEngine::OnHistoryChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    if (!engine->view_) return;
    const bool forward = webkit_web_view_can_go_forward(engine->view_);
    const bool back = webkit_web_view_can_go_back(engine->view_);
    engine->Notify([forward, back](platform::IWebEngineEvents& events) {
        events.CommandStateChange(1, forward);
        events.CommandStateChange(2, back);
    });
}

gboolean WebKitEngine::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->type != GDK_BUTTON_PRESS) return FALSE;
    auto* engine = static_cast<WebKitEngine*>(self);
    // Synchronous on purpose: the view must be the focused control before the
    // engine handles the click.
    engine->platform_.Guarded([engine] { engine->events_.DisplayMouseActivate(); });
    // The mouse's back and forward buttons.
    if (event->button == 8) {
        webkit_web_view_go_back(engine->view_);
        return TRUE;
    }
    if (event->button == 9) {
        webkit_web_view_go_forward(engine->view_);
        return TRUE;
    }
    return FALSE;
}

gboolean WebKitEngine::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
    if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK)) != GDK_CONTROL_MASK) return FALSE;
    auto* engine = static_cast<WebKitEngine*>(self);
    int direction = 0;
    if (event->direction == GDK_SCROLL_UP) direction = 1;
    else if (event->direction == GDK_SCROLL_DOWN) direction = -1;
    else if (event->direction == GDK_SCROLL_SMOOTH) {
        // Touchpads report fractions of a notch: one step per notch.
        engine->zoomScroll_ -= event->delta_y;
        if (std::fabs(engine->zoomScroll_) >= 1.0) {
            direction = engine->zoomScroll_ > 0 ? 1 : -1;
            engine->zoomScroll_ = 0;
        }
    }
    if (direction) engine->Zoom(direction);
    return TRUE;
}

gboolean WebKitEngine::OnWindowKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    return static_cast<WebKitEngine*>(self)->HandleShortcut(event) ? TRUE : FALSE;
}

GtkWidget* WebKitEngine::OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    // The reader has one window: a link meant for a new window opens in the
    // view itself rather than nowhere, or in the desktop's browser when it
    // leads out of the book.
    if (WebKitURIRequest* request = webkit_navigation_action_get_request(action)) {
        const std::string uri = webkit_uri_request_get_uri(request);
        if (engine->IsOtherHost(uri)) {
            if (webkit_navigation_action_is_user_gesture(action)) engine->OpenExternally(uri);
        } else {
            webkit_web_view_load_request(view, request);
        }
    }
    return nullptr;
}

gboolean WebKitEngine::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                      gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        const std::string uri = request ? webkit_uri_request_get_uri(request) : "";
        if (uri == kRetryUri) {
            webkit_policy_decision_ignore(decision);
            engine->platform_.PostCallback(engine->life_.Guard([engine] { engine->Reload(); }));
            return TRUE;
        }
        const WebKitNavigationType kind = webkit_navigation_action_get_navigation_type(action);
        const bool byReader = webkit_navigation_action_is_user_gesture(action) ||
                              kind == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED || kind == WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED;
        if (byReader && engine->IsOtherHost(uri)) {
            webkit_policy_decision_ignore(decision);
            engine->OpenExternally(uri);
            return TRUE;
        }
        return FALSE;
    }
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    auto* responseDecision = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    WebKitURIResponse* response = webkit_response_policy_decision_get_response(responseDecision);
    const bool mainPage = webkit_response_policy_decision_is_main_frame_main_resource(responseDecision);
    FailureInfo failure;
    const guint status = webkit_uri_response_get_status_code(response);
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    const char* disposition = headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
    const char* mime = webkit_uri_response_get_mime_type(response);
    if (mainPage && status >= 400) {
        failure.kind = LoadFailure::HttpStatus;
        failure.httpStatus = static_cast<int>(status);
    } else if ((disposition && IsAttachment(disposition)) ||
               !webkit_response_policy_decision_is_mime_type_supported(responseDecision)) {
        // Nothing a page or a server sends is saved: what cannot be shown is
        // turned away.
        failure.kind = LoadFailure::NotAPage;
        failure.mimeType = mime ? mime : "";
    } else {
        return FALSE;
    }
    if (mainPage) engine->pendingFailure_ = failure;
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

gboolean WebKitEngine::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*,
                                     gpointer) {
    return TrimContextMenu(menu) ? FALSE : TRUE;
}

void WebKitEngine::OnProgress(GObject*, GParamSpec*, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    if (engine->failurePage_ != FailurePage::None) return;
    engine->indicator_->Progress(webkit_web_view_get_estimated_load_progress(engine->view_));
}

void WebKitEngine::OnResponsive(GObject*, GParamSpec*, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    if (webkit_web_view_get_is_web_process_responsive(engine->view_)) {
        if (engine->unresponsiveTimer_) g_source_remove(engine->unresponsiveTimer_);
        engine->unresponsiveTimer_ = 0;
        return;
    }
    if (engine->unresponsiveTimer_) return;
    engine->unresponsiveTimer_ = g_timeout_add(kUnresponsiveGraceMs, +[](gpointer self) -> gboolean {
        auto* engine = static_cast<WebKitEngine*>(self);
        engine->unresponsiveTimer_ = 0;
        if (!webkit_web_view_get_is_web_process_responsive(engine->view_)) {
            if (engine->afterEnd_ == AfterEnd::Nothing) engine->afterEnd_ = AfterEnd::ShowUnresponsive;
            engine->EndStuckProcess();
        }
        return G_SOURCE_REMOVE;
    }, engine);
}

void WebKitEngine::OnProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    const AfterEnd after = reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API ? engine->afterEnd_ : AfterEnd::Nothing;
    engine->afterEnd_ = AfterEnd::Nothing;
    engine->failurePage_ = FailurePage::None;
    std::string uri = engine->requestUri_.empty() ? CurrentUri(view) : engine->requestUri_;
    // Out of the signal: the view is in the middle of losing its process.
    engine->platform_.PostCallback(engine->life_.Guard([engine, after, reason, uri] {
        if (after == AfterEnd::LoadChapter) {
            engine->LoadChapter(uri, engine->chapterBypassCache_, true);
            return;
        }
        FailureInfo failure;
        failure.kind = after == AfterEnd::ShowUnresponsive ? LoadFailure::Unresponsive : LoadFailure::Crashed;
        if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT) failure.detail = "memory limit exceeded";
        engine->ShowFailure(uri, failure);
    }));
}

void WebKitEngine::OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    WebKitWebView* owner = webkit_download_get_web_view(download);
    if (owner && owner != engine->view_) return;
    webkit_download_cancel(download);
}

gboolean WebKitEngine::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
        break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        // Nobody can answer; leaving the page must not get stuck.
        webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
        break;
    default:  // alerts are dropped, prompts answer "cancelled"
        break;
    }
    return TRUE;
}

gboolean WebKitEngine::OnPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
    webkit_permission_request_deny(request);
    return TRUE;
}

gboolean WebKitEngine::OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer) {
    webkit_authentication_request_cancel(request);
    return TRUE;
}

gboolean WebKitEngine::OnFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer) {
    webkit_file_chooser_request_cancel(request);
    return TRUE;
}

}  // namespace velmora::gtk
