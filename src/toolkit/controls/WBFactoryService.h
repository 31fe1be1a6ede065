// The process's web view service: creates and releases engine bindings,
// keeps the live ones in creation order and re-places them all on request.
#pragma once

#include <memory>
#include <vector>

#include "toolkit/core/Observers.h"

namespace velmora {

class IWindowRoot;
class TWebBrowser;
class WebBrowserBinding;

class TWBFactoryService {
public:
    static TWBFactoryService& Instance();

    // A binding for the view with its engine object already created; raises
    // the engine's error when it cannot be created.
    std::unique_ptr<WebBrowserBinding> CreateBinding(TWebBrowser& view, bool caching);
    // Takes the binding off the list and the placement registry, then closes
    // its engine.
    void ReleaseBinding(std::unique_ptr<WebBrowserBinding>& binding);

    const std::vector<WebBrowserBinding*>& Bindings() const { return bindings_; }

    // Places every live web view over its control, in creation order.
    void RealignBrowsers();
    // The main window got a new native handle: its views rebuild their bindings.
    void FormHandleCreated(IWindowRoot& form);

private:
    friend class WebBrowserBinding;
    friend void RegisterWebBrowserService();
    TWBFactoryService() = default;
    void Unlist(const WebBrowserBinding* binding);
    std::vector<WebBrowserBinding*> bindings_;
    Subscription placesObserved_;
};

// Has the service re-place every view whenever native view places may have
// changed (window activation, a scale change, every step of a page slide).
// Called at start-up; calling it again adds nothing.
void RegisterWebBrowserService();

}  // namespace velmora
