#include "WBFactoryService.h"

#include <algorithm>

#include "toolkit/controls/BrowserPlacementRegistry.h"
#include "toolkit/controls/TabControl.h"
#include "toolkit/controls/WebBrowser.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/forms/CustomForm.h"

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

bool TWBFactoryService::IsLive(const WebBrowserBinding* binding) const {
    return std::find(bindings_.begin(), bindings_.end(), binding) != bindings_.end();
}

void TWBFactoryService::Unlist(const WebBrowserBinding* binding) { std::erase(bindings_, binding); }

void TWBFactoryService::RealignBrowsers() {
    // A placement may free a view (an event handler runs); walk a copy and
    // skip what is gone by the time its turn comes.
    const std::vector<WebBrowserBinding*> snapshot = bindings_;
    for (WebBrowserBinding* binding : snapshot)
        if (IsLive(binding)) binding->View().UpdateContentFromControl();
}

void TWBFactoryService::FormHandleCreated(TCustomForm& form) {
    std::vector<TWebBrowser*> views;
    for (WebBrowserBinding* binding : bindings_)
        if (binding->View().Root() == &form) views.push_back(&binding->View());
    for (TWebBrowser* view : views) view->RecreateBinding();
}

namespace {

// Activation and scale changes both leave native displays where they were.
void RealignForWindow(TCustomForm&) { TWBFactoryService::Instance().RealignBrowsers(); }

using Observer = void (*)(TCustomForm&);

// Looked up rather than remembered, so that a list cleared by a restart of
// the toolkit gets the observer back, and never gets it twice.
void AddOnce(std::vector<std::function<void(TCustomForm&)>>& observers) {
    const bool present = std::any_of(observers.begin(), observers.end(), [](const auto& observer) {
        const Observer* target = observer.template target<Observer>();
        return target && *target == &RealignForWindow;
    });
    if (!present) observers.push_back(&RealignForWindow);
}

}  // namespace

void RegisterWebBrowserService() {
    AddOnce(TCustomForm::ActivationObservers());
    AddOnce(TCustomForm::ScaleObservers());
    TTabControl::RealignBrowsersHook() = [] { TWBFactoryService::Instance().RealignBrowsers(); };
}

}  // namespace velmora
