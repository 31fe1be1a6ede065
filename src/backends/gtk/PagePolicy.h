// What a page may do in the reader, decided for WebKit: where a navigation
// may go (links to other hosts leave for the desktop's browser), which
// responses are shown (an error status or a file is a failure, nothing is
// saved), where a link for a new window opens (in the view), what the context
// menu offers, and, while silent, the answers to a page's dialogs and
// requests that nobody may be asked. Printing from a page's script is refused
// always; the reader prints with its own key.
#pragma once

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

#include "platform/EnginePages.h"

namespace velmora::gtk {

class PagePolicy {
public:
    // What a decision needs of the engine.
    class Owner {
    public:
        virtual ~Owner() = default;
        // The chapter the reader chose last: its host is the book's.
        virtual const std::string& ChapterUri() const = 0;
        // The failure page's button was pressed.
        virtual void RetryRequested() = 0;
        // The main page's response was turned away; the load fails next.
        virtual void MainPageRefused(const platform::LoadFailureInfo& failure) = 0;
    };

    explicit PagePolicy(Owner& owner) : owner_(owner) {}
    ~PagePolicy() { Detach(); }
    PagePolicy(const PagePolicy&) = delete;
    PagePolicy& operator=(const PagePolicy&) = delete;

    void Attach(WebKitWebView* view, WebKitWebContext* context);
    void Detach();
    // Silent: the page's dialogs and requests are answered here, none shown.
    void SetSilent(bool silent);

    // --- the decisions, without the engine ---
    enum class Navigation { Allow, Retry, OpenOutside };
    // byReader: the reader clicked or submitted (a page's own redirects stay).
    static Navigation DecideNavigation(const std::string& uri, bool byReader, const std::string& chapterUri);
    // What a response is turned away as; none: it is shown. disposition and
    // mimeType may be null.
    static std::optional<platform::LoadFailureInfo> DecideResponse(bool mainPage, unsigned status,
                                                                   const char* disposition, bool mimeSupported,
                                                                   const char* mimeType);
    // An http(s) address on a host other than the chapter's.
    static bool IsOtherHost(const std::string& uri, const std::string& chapterUri);
    // Takes out of the engine's context menu what a reader must not offer
    // (new windows, downloads, the inspector). False when nothing is left.
    static bool TrimContextMenu(WebKitContextMenu* menu);

private:
    void OpenExternally(const std::string& uri);

    static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self);
    gboolean DecideNavigationPolicy(WebKitNavigationPolicyDecision* decision);
    gboolean DecideResponsePolicy(WebKitResponsePolicyDecision* decision);
    static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
    static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                  WebKitHitTestResult* hit, gpointer self);
    static void OnDownloadStarted(WebKitWebContext* context, WebKitDownload* download, gpointer self);
    static gboolean OnScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self);
    static gboolean OnPermission(WebKitWebView* view, WebKitPermissionRequest* request, gpointer self);
    static gboolean OnAuthenticate(WebKitWebView* view, WebKitAuthenticationRequest* request, gpointer self);
    static gboolean OnFileChooser(WebKitWebView* view, WebKitFileChooserRequest* request, gpointer self);

    Owner& owner_;
    WebKitWebView* view_ = nullptr;        // borrowed from the engine
    WebKitWebContext* context_ = nullptr;  // the process's default context
    bool silent_ = false;
    gulong silentHandlers_[4] = {0, 0, 0, 0};
};

}  // namespace velmora::gtk
