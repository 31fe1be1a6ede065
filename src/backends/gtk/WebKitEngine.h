// The web engine on WebKitGTK. The WebKitWebView is created with the engine
// object, so loads can be requested before it has a place in a window; in-place
// activation puts it into the main window's content as a child "display".
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>

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

    // For tests: the view itself (null before Initialize and after Close).
    WebKitWebView* View() const { return view_; }

    // What Navigate hands to WebKit for an address: empty -> about:blank, an
    // absolute local path -> its file URI, a URI with a scheme -> unchanged.
    // Empty result: the address cannot be loaded.
    static std::string ResolveAddress(const std::string& address);

private:
    void EnsureView();
    void Notify(std::function<void(platform::IWebEngineEvents&)> notification);

    static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
    static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error,
                                 gpointer self);
    static void OnHistoryChanged(WebKitBackForwardList* list, WebKitBackForwardListItem* added, gpointer removed,
                                 gpointer self);
    static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
    static gboolean OnScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self);
    static gboolean OnPermission(WebKitWebView* view, WebKitPermissionRequest* request, gpointer self);
    static gboolean OnAuthenticate(WebKitWebView* view, WebKitAuthenticationRequest* request, gpointer self);
    static gboolean OnFileChooser(WebKitWebView* view, WebKitFileChooserRequest* request, gpointer self);

    GtkPlatform& platform_;
    platform::IWebEngineEvents& events_;
    WebKitWebView* view_ = nullptr;
    platform::WindowHandle display_ = 0;
    bool visible_ = true;
    bool silent_ = false;
    gulong silentHandlers_[4] = {0, 0, 0, 0};
    // Notifications go through the queue; they must not reach an engine that
    // has been closed or destroyed meanwhile.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace velmora::gtk
