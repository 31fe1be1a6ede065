#include "WBFactoryService.h"

#include <algorithm>

#include "toolkit/controls/BrowserPlacementRegistry.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/controls/WebBrowser.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/controls/WindowRoot.h"
#include "toolkit/core/ComponentRef.h"

namespace velmora {

TWBFactoryService& TWBFactoryService::Instance() {
    static TWBFactoryService service;
    return service;
}

std::unique_ptr<WebBrowserBinding> TWBFactoryService::CreateBinding(TWebBrowser& view, bool caching) {
    auto binding = std::make_unique<WebBrowserBinding>(view, caching);
    binding->CreateEngine();
    bindings_.push_back(binding.get());
    return binding;
}

void TWBFactoryService::ReleaseBinding(std::unique_ptr<WebBrowserBinding>& binding) {
    if (!binding) return;
    Unlist(binding.get());
    BrowserPlacementRegistry::RemoveEverywhere(binding->View());
    binding->Close();
    binding.reset();
}

void TWBFactoryService::Unlist(const WebBrowserBinding* binding) { std::erase(bindings_, binding); }

void TWBFactoryService::RealignBrowsers() {
    // A placement may free a view or release its binding (an event handler
    // runs); walk a copy and skip what is gone by the time its turn comes.
    struct Entry {
        ComponentRef<TWebBrowser> view;
        const WebBrowserBinding* binding;
    };
    std::vector<Entry> snapshot;
    for (WebBrowserBinding* binding : bindings_) snapshot.push_back({&binding->View(), binding});
    for (const Entry& entry : snapshot)
        if (TWebBrowser* view = entry.view.Get(); view && view->Binding() == entry.binding)
            view->UpdateContentFromControl();
}

void TWBFactoryService::FormHandleCreated(IWindowRoot& form) {
    std::vector<TWebBrowser*> views;
    for (WebBrowserBinding* binding : bindings_)
        if (binding->View().Root() == &form) views.push_back(&binding->View());
    for (TWebBrowser* view : views) view->RecreateBinding();
}

void RegisterWebBrowserService() {
    TWBFactoryService& service = TWBFactoryService::Instance();
    if (service.placesObserved_) return;
    // Every view, whichever window the notice names: the walk is short and
    // keeps the order the views were made in.
    service.placesObserved_ =
        ObserveNativeViewPlaces([](IWindowRoot&) { TWBFactoryService::Instance().RealignBrowsers(); });
}

}  // namespace velmora
