// The web engine on WebKitGTK. The WebKitWebView is created with the engine
// object, so loads can be requested before it has a place in a window; in-place
// activation puts it into the main window's content as a child "display".
//
// The reader's own side of the engine lives here too: failures shown as pages
// in the reader's language, a loading line, pages kept from printing,
// downloading or hanging the view, links to other hosts handed to the
// desktop's browser, and back/forward, zoom, reload and print for the reader.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ErrorPage.h"
#include "LoadIndicator.h"
#include "PageFocus.h"
#include "ScreenReaderSwitch.h"
#include "backends/native/Lifetime.h"
#include "platform/WebEngine.h"

namespace velmora::gtk {

class GtkPlatform;

class WebKitEngine : public platform::IWebEngine {
public:
    WebKitEngine(GtkPlatform& platform, platform::IWebEngineEvents& events);
    ~WebKitEngine() override;
    WebKitEngine(const WebKitEngine&) = delete;
    WebKitEngine& operator=(const WebKitEngine&) = delete;

    platform::EngineResult Initialize() override;
    platform::EngineResult PutSilent(bool silent) override;
    bool InPlaceActivate(platform::WindowHandle mainWindow, const platform::RectI& bounds) override;
    platform::WindowHandle DisplayWindow() override { return display_; }
    platform::EngineResult Navigate(const std::string& url, std::optional<std::int32_t> flags) override;
    bool GetVisible() override { return visible_; }
    void PutVisible(bool visible) override { visible_ = visible; }
    void DoVerb(platform::EngineVerb verb) override;
    void Close() override;
    void TakeFocus(platform::EngineFocusEntry entry) override { focus_.Take(entry); }
    void ReleaseFocus() override { focus_.Release(); }

    // Loads the shown chapter again (F5, Ctrl+R, the failure page's button).
    void Reload();
    // How long a chapter may take to start arriving before the wait is given up.
    void SetLoadTimeout(guint milliseconds) { loadTimeoutMs_ = milliseconds; }

    // For tests: the view itself (null before Initialize and after Close).
    WebKitWebView* View() const { return view_; }
    const LoadIndicator* Indicator() const { return indicator_.get(); }
    // True while a failure page stands in place of the chapter.
    bool ShowsFailure() const { return failureShown_; }

    // What Navigate hands to WebKit for an address: empty -> about:blank, an
    // absolute local path -> its file URI, a URI with a scheme -> unchanged.
    // Empty result: the address cannot be loaded.
    static std::string ResolveAddress(const std::string& address);
    // Takes out of the engine's context menu what a reader must not offer
    // (new windows, downloads, the inspector). False when nothing is left.
    static bool TrimContextMenu(WebKitContextMenu* menu);
    // The zoom level one step in or out from the given one.
    static double ZoomStep(double level, int direction);

private:
    void EnsureView();
    void Notify(std::function<void(platform::IWebEngineEvents&)> notification);
    // processChecked: the page's process was just replaced, no need to ask.
    void LoadChapter(const std::string& uri, bool bypassCache, bool processChecked = false);
    bool WaitForFirstFrame();
    void StopWaitingForFirstFrame();
    static gboolean OnWindowMapped(GtkWidget* window, GdkEvent* event, gpointer self);
    static gboolean OnFirstFrameShown(gpointer self);
    void ShowFailure(const std::string& uri, FailureInfo failure);
    void ArmWatchdog();
    void StopTimers();
    void EndStuckProcess();
    bool IsOtherHost(const std::string& uri) const;
    void OpenExternally(const std::string& uri);
    bool HandleShortcut(const GdkEventKey* event);
    void Zoom(int direction);
    void PrintChapter();

    static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
    static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error,
                                 gpointer self);
    static void OnHistoryChanged(WebKitBackForwardList* list, WebKitBackForwardListItem* added, gpointer removed,
                                 gpointer self);
    static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
    static gboolean OnWindowKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
    static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self);
    static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                  WebKitHitTestResult* hit, gpointer self);
    static void OnProgress(GObject* view, GParamSpec* property, gpointer self);
    static void OnResponsive(GObject* view, GParamSpec* property, gpointer self);
    static void OnProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self);
    static void OnDownloadStarted(WebKitWebContext* context, WebKitDownload* download, gpointer self);
    static gboolean OnScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self);
    static gboolean OnPermission(WebKitWebView* view, WebKitPermissionRequest* request, gpointer self);
    static gboolean OnAuthenticate(WebKitWebView* view, WebKitAuthenticationRequest* request, gpointer self);
    static gboolean OnFileChooser(WebKitWebView* view, WebKitFileChooserRequest* request, gpointer self);

    GtkPlatform& platform_;
    platform::IWebEngineEvents& events_;
    // The display: the view under the loading line and cover.
    GtkWidget* root_ = nullptr;
    WebKitWebView* view_ = nullptr;
    std::unique_ptr<LoadIndicator> indicator_;
    WebKitWebContext* context_ = nullptr;
    GtkWidget* toplevel_ = nullptr;  // weak: the window whose keys we watch
    platform::WindowHandle display_ = 0;
    bool visible_ = true;
    bool silent_ = false;
    gulong silentHandlers_[4] = {0, 0, 0, 0};

    // The chapter the reader chose last and its host (links to other hosts
    // leave the reader).
    std::string chapter_;
    bool chapterBypassCache_ = false;
    // A failure decided before the engine reports the load as failed (a
    // refused response, our own timeout); shown when it does.
    std::optional<FailureInfo> pendingFailure_;
    // The load cycle of our failure page: no notifications for it. The failed
    // load's own end arrives after the page was requested; only the page's
    // own start counts.
    enum class FailurePage { None, Requested, Started } failurePage_ = FailurePage::None;
    bool failureShown_ = false;
    std::string failureUri_;
    // What the reader asked to load last (a chapter, a reload).
    std::string requestUri_;
    // The page answered the watchdog's script probe.
    bool probeAnswered_ = false;
    platform::Lifetime probeLife_;
    double zoomScroll_ = 0;
    // The web process is ended on purpose: what to do when it is gone.
    enum class AfterEnd { Nothing, LoadChapter, ShowUnresponsive } afterEnd_ = AfterEnd::Nothing;
    bool startedSinceRequest_ = false;
    guint watchdog_ = 0;
    guint loadTimer_ = 0;
    guint unresponsiveTimer_ = 0;
    guint loadTimeoutMs_ = 20000;
    // The first blank page waiting for the window to be on screen: first
    // for its mapping, then for the idle moment after its first drawing.
    gulong mapHandler_ = 0;
    guint blankIdle_ = 0;
    // What this engine posts to the queue is guarded by it.
    platform::Lifetime life_;
    // The keyboard between the window and the page.
    PageFocus focus_{platform_, events_};
    // The page reads by its caret while the desktop's screen reader is on.
    std::unique_ptr<ScreenReaderSwitch> screenReader_;
};

}  // namespace velmora::gtk
