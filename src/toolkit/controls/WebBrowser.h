// The embedded web view: a control whose content is the system's web engine,
// shown in a native window kept over the control's rectangle.
#pragma once

#include <memory>
#include <string>

#include "toolkit/controls/Control.h"

namespace velmora {

class WebBrowserBinding;

class TWebBrowser : public TControl {
public:
    // Creates the engine binding at once; an engine that cannot be created
    // raises EOleError and the view is not built.
    explicit TWebBrowser(Component* owner);
    ~TWebBrowser() override;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    // The binding's current address while a binding exists, else the last
    // assigned one.
    std::string URL() const;
    // Stores the address and loads it, on every assignment.
    void SetURL(const std::string& url);
    bool EnableCaching() const;
    void SetEnableCaching(bool enable);

    NotifyEvent OnDidStartLoad;
    NotifyEvent OnDidFinishLoad;
    NotifyEvent OnDidFailLoadWithError;
    // Published for descriptions that bind it; this engine never asks.
    NotifyEvent OnShouldStartLoadWithRequest;

    // nullptr only between releasing a binding and creating its successor.
    WebBrowserBinding* Binding() const { return binding_.get(); }
    // The address last assigned through URL.
    const std::string& StoredURL() const { return url_; }
    bool SavedVisible() const { return savedVisible_; }

    // Brings the native display into line with the control.
    void UpdateContentFromControl();
    // Releases the binding and builds a new one that loads the stored address
    // again (the main window got a new native handle).
    void RecreateBinding();

    // How far the engine's display stands inside the view's rectangle, in
    // units: while the view has the focus a frame around the page shows it
    // (the engine marks only a focused link, never the page itself).
    float DisplayInset() const;

    void AbsoluteChanged() override;
    void VisibilityChanged() override;
    void ParentChanged() override;
    void Paint(platform::ICanvas& canvas) override;
    // The engine's display takes the real keyboard focus with the view's, and
    // gives it back to the window when the view loses it.
    void DoEnter() override;
    void DoExit() override;
    void WindowFocusReturned() override;
    // The engine's own accessible document stands in for the view.
    platform::AccessibleRole AccessibleRole() const override;
    platform::WindowHandle AccessibleEmbeddedWindow() const override;

private:
    void EnsureBinding();

    std::string url_;
    bool enableCaching_ = true;
    bool savedVisible_ = true;
    // Set while ParentChanged toggles Visible, so placement runs once.
    bool holdPlacement_ = false;
    std::unique_ptr<WebBrowserBinding> binding_;
};

}  // namespace velmora
