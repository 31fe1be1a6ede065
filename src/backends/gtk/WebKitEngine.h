// The web engine on WebKitGTK. The WebKitWebView is created with the engine
// object, so loads can be requested before it has a place in a window; in-place
// activation puts it into the main window's content as a child "display".
//
// This is the binding alone: it wires the view's signals to three parts of
// the reader's own side, each in its own file: the load supervisor (how a
// chapter load goes, its time-outs, the failure pages), the page policy (what
// a page may do) and the reader keys (history, zoom, print, reload). The
// words of the failure and loading pages come from the platform's engine
// pages; without them the engine's own handling stands.
#pragma once

#include <webkit2/webkit2.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "GLibHolders.h"
#include "LoadIndicator.h"
#include "LoadSupervisor.h"
#include "PageFocus.h"
#include "PagePolicy.h"
#include "ReaderKeys.h"
#include "ScreenReaderSwitch.h"
#include "backends/native/Lifetime.h"
#include "backends/native/NativeWebEngine.h"

namespace velmora::gtk {

class GtkPlatform;

class WebKitEngine final : public platform::NativeWebEngine,
                           private LoadSupervisor::Hooks,
                           private PagePolicy::Owner {
public:
    WebKitEngine(GtkPlatform& platform, platform::IWebEngineEvents& events,
                 std::shared_ptr<const platform::IEnginePages> pages);
    ~WebKitEngine() override;
    WebKitEngine(const WebKitEngine&) = delete;
    WebKitEngine& operator=(const WebKitEngine&) = delete;

    platform::EngineResult Initialize() override;
    platform::EngineResult PutSilent(bool silent) override;
    platform::EngineResult Navigate(const std::string& url, std::optional<std::int32_t> flags) override;
    bool GetVisible() override { return visible_; }
    void PutVisible(bool visible) override { visible_ = visible; }
    void DoVerb(platform::EngineVerb verb) override;
    void TakeFocus(platform::EngineFocusEntry entry) override { focus_.Take(entry); }
    void ReleaseFocus() override { focus_.Release(); }

    // Loads the shown chapter again (F5, Ctrl+R, the failure page's button).
    void Reload();
    // How long a chapter may take to start arriving before the wait is given up.
    void SetLoadTimeout(guint milliseconds) { supervisor_.SetLoadTimeout(milliseconds); }

    // For tests: the view itself (null before Initialize and after Close).
    WebKitWebView* View() const { return view_.get(); }
    const LoadIndicator* Indicator() const { return indicator_.get(); }
    // True while a failure page stands in place of the chapter.
    bool ShowsFailure() const { return supervisor_.ShowsFailure(); }
    LoadState State() const { return supervisor_.State(); }

    // What Navigate hands to WebKit for an address: empty -> about:blank, an
    // absolute local path -> its file URI, a URI with a scheme -> unchanged.
    // Empty result: the address cannot be loaded.
    static std::string ResolveAddress(const std::string& address);

private:
    // NativeWebEngine
    void ActivationTarget(platform::WindowHandle mainWindow, const platform::RectI& bounds) override;
    bool ActivateDisplay(platform::WindowHandle mainWindow, const platform::RectI& bounds,
                         platform::WindowHandle& display) override;
    void CloseEngine() override;

    // LoadSupervisor::Hooks
    void StartLoad(const std::string& uri, bool bypassCache) override;
    void StopLoad() override;
    bool IsLoading() override;
    bool IsResponsive() override;
    void EndProcess() override;
    void SendProbe(unsigned probe) override;
    bool ShowFailurePage(const std::string& uri, const platform::LoadFailureInfo& failure) override;
    std::string CurrentUri() override;
    void RunLater(std::function<void()> f) override { Defer(std::move(f)); }
    void StartTimer(LoadTimer timer, unsigned milliseconds) override;
    void StopTimer(LoadTimer timer) override { TimerSource(timer).Reset(); }
    bool TimerRunning(LoadTimer timer) override { return static_cast<bool>(TimerSource(timer)); }
    void IndicatorBegin() override { indicator_->Begin(); }
    void IndicatorProgress(double fraction) override { indicator_->Progress(fraction); }
    void IndicatorArrived() override { indicator_->Arrived(); }
    void IndicatorEnd() override { indicator_->End(); }
    bool IndicatorShown() override { return indicator_->LineShown(); }
    void NotifyStarted(const std::string& uri) override { ReportBeforeNavigate(uri); }
    void NotifyArrived(const std::string& uri) override { ReportNavigateComplete(uri); }
    void NotifyFailed(const std::string& uri, std::int32_t status) override { ReportNavigateError(uri, status); }

    // PagePolicy::Owner
    const std::string& ChapterUri() const override { return chapter_; }
    void RetryRequested() override;
    void MainPageRefused(const platform::LoadFailureInfo& failure) override { supervisor_.MainPageRefused(failure); }

    void EnsureView();
    SourceId& TimerSource(LoadTimer timer) { return timers_[static_cast<std::size_t>(timer)]; }
    template <LoadTimer timer>
    static gboolean OnTimer(gpointer self);
    // The first blank page waits for the window to be on screen.
    bool WaitForFirstFrame();
    void StopWaitingForFirstFrame();
    static gboolean OnWindowMapped(GtkWidget* window, GdkEvent* event, gpointer self);
    static gboolean OnFirstFrameShown(gpointer self);

    static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
    static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error,
                                 gpointer self);
    static void OnHistoryChanged(WebKitBackForwardList* list, WebKitBackForwardListItem* added, gpointer removed,
                                 gpointer self);
    static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static void OnProgress(GObject* view, GParamSpec* property, gpointer self);
    static void OnResponsive(GObject* view, GParamSpec* property, gpointer self);
    static void OnProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self);

    GtkPlatform& platform_;
    const std::shared_ptr<const platform::IEnginePages> pages_;
    // The display: the view under the loading line and cover.
    GObjectPtr<GtkWidget> root_;
    GObjectPtr<WebKitWebView> view_;
    std::unique_ptr<LoadIndicator> indicator_;
    WebKitWebContext* context_ = nullptr;  // the process's default context
    WeakRef<GtkWidget> toplevel_{this};    // the window the display lives in
    bool visible_ = true;
    // The chapter the reader chose last (links to other hosts leave the reader).
    std::string chapter_;

    LoadSupervisor supervisor_{static_cast<LoadSupervisor::Hooks&>(*this)};
    PagePolicy policy_{static_cast<PagePolicy::Owner&>(*this)};
    ReaderKeys keys_{[this] { Reload(); }};
    std::array<SourceId, 3> timers_;
    // A probe's answer arrives late; it must not reach a closed engine.
    platform::Lifetime probeLife_;
    // The first blank page waiting for the window to be on screen: first
    // for its mapping, then for the idle moment after its first drawing.
    gulong mapHandler_ = 0;
    SourceId blankIdle_;
    // The keyboard between the window and the page.
    PageFocus focus_;
    // The page reads by its caret while the desktop's screen reader is on.
    std::unique_ptr<ScreenReaderSwitch> screenReader_;
};

}  // namespace velmora::gtk
