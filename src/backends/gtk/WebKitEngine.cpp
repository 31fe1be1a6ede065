#include "WebKitEngine.h"

#include <libsoup/soup.h>

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

}  // namespace

WebKitEngine::WebKitEngine(GtkPlatform& platform, platform::IWebEngineEvents& events)
    : platform_(platform), events_(events) {}

WebKitEngine::~WebKitEngine() { Close(); }

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
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new());
    g_object_ref_sink(view_);
    g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
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
    if (display_) {
        // Already in place: activation moves it into the given window.
        platform_.SetParentWindow(display_, mainWindow, false);
        platform_.SetWindowPos(display_, bounds, platform::PosMoveSize);
        return platform_.GetParentWindow(display_) == mainWindow;
    }
    display_ = platform_.AttachDisplay(GTK_WIDGET(view_), mainWindow, bounds);
    if (display_ && !visible_) platform_.HideDisplayWidget(GTK_WIDGET(view_));
    return display_ != 0;
}

platform::EngineResult WebKitEngine::Navigate(const std::string& url, std::optional<std::int32_t> flags) {
    EnsureView();
    const std::string uri = ResolveAddress(url);
    if (uri.empty()) return Failure(kInvalidArgument, "The address is not a valid URI");
    const bool bypassCache =
        flags && (*flags & (platform::NavNoReadFromCache | platform::NavNoWriteToCache)) != 0;
    if (!bypassCache) {
        webkit_web_view_load_uri(view_, uri.c_str());
        return {};
    }
    WebKitURIRequest* request = webkit_uri_request_new(uri.c_str());
    // Non-HTTP addresses have no headers; they are not cached either.
    if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request)) {
        soup_message_headers_replace(headers, "Cache-Control", "no-cache");
        soup_message_headers_replace(headers, "Pragma", "no-cache");
    }
    webkit_web_view_load_request(view_, request);
    g_object_unref(request);
    return {};
}

void WebKitEngine::DoVerb(platform::EngineVerb verb) {
    if (!view_) return;
    // Showing a widget never takes the focus in GTK, so the active window and
    // its focus stay where they are.
    if (verb == platform::EngineVerb::Show) gtk_widget_show(GTK_WIDGET(view_));
    else platform_.HideDisplayWidget(GTK_WIDGET(view_));
}

void WebKitEngine::Close() {
    alive_ = std::make_shared<bool>(true);  // queued notifications of the old life are dropped
    if (!view_) return;
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_), this);
    g_signal_handlers_disconnect_by_data(view_, this);
    for (gulong& id : silentHandlers_) id = 0;
    silent_ = false;
    webkit_web_view_stop_loading(view_);
    if (display_) platform_.DetachDisplay(display_);
    display_ = 0;
    gtk_widget_destroy(GTK_WIDGET(view_));
    g_object_unref(view_);
    view_ = nullptr;
}

void WebKitEngine::Notify(std::function<void(platform::IWebEngineEvents&)> notification) {
    // Through the queue: the toolkit's handlers then run from DispatchMessage,
    // where their errors reach the error policy, and never inside WebKit.
    std::weak_ptr<bool> alive = alive_;
    platform::IWebEngineEvents* events = &events_;
    platform_.PostCallback([alive, events, notification = std::move(notification)] {
        if (alive.lock()) notification(*events);
    });
}

void WebKitEngine::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    const std::string uri = CurrentUri(view);
#ifdef VELMORA_BENCH_TRACE
    VELMORA_BENCH_TRACE_POINT("load", event, 0);
#endif
    switch (event) {
    case WEBKIT_LOAD_STARTED:
    case WEBKIT_LOAD_REDIRECTED:  // a redirect is a new navigation to the new address
        engine->Notify([uri](platform::IWebEngineEvents& events) { events.BeforeNavigate2(uri); });
        break;
    case WEBKIT_LOAD_COMMITTED:
        // The document has started to arrive: the navigation is complete.
        // (FINISHED would report the same navigation a second time.)
        engine->Notify([uri](platform::IWebEngineEvents& events) { events.NavigateComplete2(uri); });
        break;
    case WEBKIT_LOAD_FINISHED:
        break;
    }
}

gboolean WebKitEngine::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error,
                                    gpointer self) {
    // A load replaced by a newer one is not a failure of the page.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) return FALSE;
    auto* engine = static_cast<WebKitEngine*>(self);
    const std::string uri = failingUri ? failingUri : "";
    const std::int32_t status = error ? error->code : 0;
    engine->Notify([uri, status](platform::IWebEngineEvents& events) { events.NavigateError(uri, status); });
    return FALSE;  // WebKit shows its own failure page
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
    return FALSE;
}

GtkWidget* WebKitEngine::OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer) {
    // The reader has one window: a link meant for a new window opens in the
    // view itself rather than nowhere.
    if (WebKitURIRequest* request = webkit_navigation_action_get_request(action))
        webkit_web_view_load_request(view, request);
    return nullptr;
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
