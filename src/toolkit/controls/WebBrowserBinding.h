// The link between one web view and its engine object: creates and closes
// the engine, attaches its display to the main window, keeps the display
// over the view, and turns the engine's notifications into the view's events.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/WebEngine.h"

namespace velmora {

class IWindowRoot;
class TWebBrowser;

class WebBrowserBinding : public platform::IWebEngineEvents {
public:
    WebBrowserBinding(TWebBrowser& view, bool caching);
    ~WebBrowserBinding() override;
    WebBrowserBinding(const WebBrowserBinding&) = delete;
    WebBrowserBinding& operator=(const WebBrowserBinding&) = delete;

    TWebBrowser& View() const { return view_; }

    // Creates, initialises and silences the engine object. Raises EOleError
    // with the engine's code when any step fails.
    void CreateEngine();
    platform::IWebEngine* Engine() const { return engine_.get(); }
    // Closes the engine without saving and lets it go; the display with it.
    void Close();

    const std::string& CurrentURL() const { return currentUrl_; }
    bool Caching() const { return caching_; }
    void SetCaching(bool caching) { caching_ = caching; }
    bool CanGoBack() const { return canGoBack_; }
    bool CanGoForward() const { return canGoForward_; }
    platform::WindowHandle Display() const { return display_; }
    IWindowRoot* MainWindow() const { return mainWindow_; }

    // Stores the address as the current one and loads it.
    void Navigate(const std::string& url);
    // Sends the current address to the engine.
    void Load();
    void UpdateContentFromControl();
    // The view took or gave up the window's focus: so does the engine.
    void TakeFocus(platform::EngineFocusEntry entry);
    void ReleaseFocus();

    // platform::IWebEngineEvents
    void BeforeNavigate2(const std::string& url) override;
    void NavigateComplete2(const std::string& url) override;
    void NavigateError(const std::string& url, std::int32_t status) override;
    void CommandStateChange(int command, bool enabled) override;
    void DisplayMouseActivate() override;
    void DisplayFocused() override;
    void DisplayFocusLeaving(bool forward) override;

private:
    void Place();
    void AttachTo(IWindowRoot& form);
    void CreateDisplay(IWindowRoot& form);
    void SetEngineVisible(bool visible);
    void HideDetachedDisplay();

    TWebBrowser& view_;
    std::unique_ptr<platform::IWebEngine> engine_;
    platform::WindowHandle display_ = 0;
    IWindowRoot* mainWindow_ = nullptr;
    std::string currentUrl_;
    bool caching_ = true;
    bool canGoBack_ = false;
    bool canGoForward_ = false;
    bool placing_ = false;
    bool placeAgain_ = false;
};

// Raises EOleError for a failure result of the engine: its description when
// it gave one, else a text naming the code.
[[noreturn]] void RaiseEngineError(const platform::EngineResult& result);

}  // namespace velmora
