#include "PagePolicy.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <iterator>

#include "EngineEnvironment.h"
#include "GLibHolders.h"

namespace velmora::gtk {

namespace {

std::string HostOf(const std::string& uri) {
    std::string host;
    const GUriPtr parsed(g_uri_parse(uri.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr));
    if (!parsed) return host;
    if (const char* h = g_uri_get_host(parsed.get())) host = h;
    for (char& c : host) c = static_cast<char>(g_ascii_tolower(c));
    return host;
}

bool IsWebScheme(const std::string& uri) {
    const GCharPtr scheme(g_uri_parse_scheme(uri.c_str()));
    return scheme &&
           (g_ascii_strcasecmp(scheme.get(), "http") == 0 || g_ascii_strcasecmp(scheme.get(), "https") == 0);
}

bool IsAttachment(const char* disposition) {
    while (g_ascii_isspace(*disposition)) ++disposition;
    return g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
}

}  // namespace

void PagePolicy::Attach(WebKitWebView* view, WebKitWebContext* context) {
    view_ = view;
    context_ = context;
    g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
    // Printing only when the reader asks (Ctrl+P), never from a page's script.
    g_signal_connect(view_, "print", G_CALLBACK(+[](WebKitWebView*, WebKitPrintOperation*, gpointer) -> gboolean {
                         return TRUE;
                     }), this);
    g_signal_connect(context_, "download-started", G_CALLBACK(OnDownloadStarted), this);
}

void PagePolicy::Detach() {
    if (context_) g_signal_handlers_disconnect_by_data(context_, this);
    if (view_) g_signal_handlers_disconnect_by_data(view_, this);
    for (gulong& id : silentHandlers_) id = 0;
    silent_ = false;
    view_ = nullptr;
    context_ = nullptr;
}

void PagePolicy::SetSilent(bool silent) {
    if (silent == silent_ || !view_) return;
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
}

bool PagePolicy::IsOtherHost(const std::string& uri, const std::string& chapterUri) {
    return IsWebScheme(uri) && HostOf(uri) != HostOf(chapterUri);
}

PagePolicy::Navigation PagePolicy::DecideNavigation(const std::string& uri, bool byReader,
                                                    const std::string& chapterUri) {
    if (uri == platform::RetryLink) return Navigation::Retry;
    if (byReader && IsOtherHost(uri, chapterUri)) return Navigation::OpenOutside;
    return Navigation::Allow;
}

std::optional<platform::LoadFailureInfo> PagePolicy::DecideResponse(bool mainPage, unsigned status,
                                                                    const char* disposition, bool mimeSupported,
                                                                    const char* mimeType) {
    platform::LoadFailureInfo failure;
    if (mainPage && status >= 400) {
        failure.kind = platform::LoadFailure::HttpStatus;
        failure.httpStatus = static_cast<int>(status);
        return failure;
    }
    if ((disposition && IsAttachment(disposition)) || !mimeSupported) {
        // Nothing a page or a server sends is saved: what cannot be shown is
        // turned away.
        failure.kind = platform::LoadFailure::NotAPage;
        failure.mimeType = mimeType ? mimeType : "";
        return failure;
    }
    return std::nullopt;
}

bool PagePolicy::TrimContextMenu(WebKitContextMenu* menu) {
    static constexpr WebKitContextMenuAction kRemoved[] = {
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW,  WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK,
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK,
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW,
        WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_VIDEO_TO_DISK,
        WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_AUDIO_TO_DISK,   WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT,
    };
    {
        const GListPtr items(g_list_copy(webkit_context_menu_get_items(menu)));
        for (GList* l = items.get(); l; l = l->next) {
            auto* item = WEBKIT_CONTEXT_MENU_ITEM(l->data);
            const WebKitContextMenuAction action = webkit_context_menu_item_get_stock_action(item);
            if (std::find(std::begin(kRemoved), std::end(kRemoved), action) != std::end(kRemoved))
                webkit_context_menu_remove(menu, item);
        }
    }
    // Separators that now lead, trail or follow each other go as well.
    {
        const GListPtr items(g_list_copy(webkit_context_menu_get_items(menu)));
        bool previousSeparator = true;
        for (GList* l = items.get(); l; l = l->next) {
            auto* item = WEBKIT_CONTEXT_MENU_ITEM(l->data);
            const bool separator = webkit_context_menu_item_is_separator(item);
            if (separator && (previousSeparator || !l->next)) webkit_context_menu_remove(menu, item);
            else previousSeparator = separator;
        }
    }
    GList* left = webkit_context_menu_get_items(menu);
    if (left && webkit_context_menu_item_is_separator(WEBKIT_CONTEXT_MENU_ITEM(g_list_last(left)->data)))
        webkit_context_menu_remove(menu, WEBKIT_CONTEXT_MENU_ITEM(g_list_last(left)->data));
    return webkit_context_menu_get_n_items(menu) > 0;
}

void PagePolicy::OpenExternally(const std::string& uri) {
    GObjectPtr<GdkAppLaunchContext> launch(
        gdk_display_get_app_launch_context(gtk_widget_get_display(GTK_WIDGET(view_))));
    LeaveOutEngineEnvironment(G_APP_LAUNCH_CONTEXT(launch.get()));
    GError* failed = nullptr;
    if (!g_app_info_launch_default_for_uri(uri.c_str(), G_APP_LAUNCH_CONTEXT(launch.get()), &failed)) {
        const GErrorPtr error(failed);
        g_message("No program opens %s: %s", uri.c_str(), error ? error->message : "");
    }
}

gboolean PagePolicy::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                    gpointer self) {
    auto* policy = static_cast<PagePolicy*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION)
        return policy->DecideNavigationPolicy(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
        return policy->DecideResponsePolicy(WEBKIT_RESPONSE_POLICY_DECISION(decision));
    return FALSE;
}

gboolean PagePolicy::DecideNavigationPolicy(WebKitNavigationPolicyDecision* decision) {
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(decision);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const std::string uri = request ? webkit_uri_request_get_uri(request) : "";
    const WebKitNavigationType kind = webkit_navigation_action_get_navigation_type(action);
    const bool byReader = webkit_navigation_action_is_user_gesture(action) ||
                          kind == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED || kind == WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED;
    switch (DecideNavigation(uri, byReader, owner_.ChapterUri())) {
    case Navigation::Allow:
        return FALSE;
    case Navigation::Retry:
        webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
        owner_.RetryRequested();
        return TRUE;
    case Navigation::OpenOutside:
        webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
        OpenExternally(uri);
        return TRUE;
    }
    return FALSE;
}

gboolean PagePolicy::DecideResponsePolicy(WebKitResponsePolicyDecision* decision) {
    WebKitURIResponse* response = webkit_response_policy_decision_get_response(decision);
    const bool mainPage = webkit_response_policy_decision_is_main_frame_main_resource(decision);
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    const std::optional<platform::LoadFailureInfo> refused = DecideResponse(
        mainPage, webkit_uri_response_get_status_code(response),
        headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr,
        webkit_response_policy_decision_is_mime_type_supported(decision), webkit_uri_response_get_mime_type(response));
    if (!refused) return FALSE;
    if (mainPage) owner_.MainPageRefused(*refused);
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    return TRUE;
}

GtkWidget* PagePolicy::OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
    auto* policy = static_cast<PagePolicy*>(self);
    // The reader has one window: a link meant for a new window opens in the
    // view itself rather than nowhere, or in the desktop's browser when it
    // leads out of the book.
    if (WebKitURIRequest* request = webkit_navigation_action_get_request(action)) {
        const std::string uri = webkit_uri_request_get_uri(request);
        if (IsOtherHost(uri, policy->owner_.ChapterUri())) {
            if (webkit_navigation_action_is_user_gesture(action)) policy->OpenExternally(uri);
        } else {
            webkit_web_view_load_request(view, request);
        }
    }
    return nullptr;
}

gboolean PagePolicy::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*,
                                   gpointer) {
    return TrimContextMenu(menu) ? FALSE : TRUE;
}

void PagePolicy::OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
    auto* policy = static_cast<PagePolicy*>(self);
    WebKitWebView* owner = webkit_download_get_web_view(download);
    if (owner && owner != policy->view_) return;
    webkit_download_cancel(download);
}

gboolean PagePolicy::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
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

gboolean PagePolicy::OnPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
    webkit_permission_request_deny(request);
    return TRUE;
}

gboolean PagePolicy::OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer) {
    webkit_authentication_request_cancel(request);
    return TRUE;
}

gboolean PagePolicy::OnFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer) {
    webkit_file_chooser_request_cancel(request);
    return TRUE;
}

}  // namespace velmora::gtk
