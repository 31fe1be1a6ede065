#include "ToolkitServices.h"

#include <algorithm>
#include <vector>

namespace velmora {

namespace {

// Installed objects, oldest first.
std::vector<const ToolkitServices*>& Installed() {
    static std::vector<const ToolkitServices*> installed;
    return installed;
}

ObserverList<IWindowRoot&>& PlaceObservers() {
    static ObserverList<IWindowRoot&> observers;
    return observers;
}

}  // namespace

const ToolkitServices& Services() {
    static const ToolkitServices none;
    const auto& installed = Installed();
    return installed.empty() ? none : *installed.back();
}

ScopedServices::ScopedServices(ToolkitServices services) : services_(std::move(services)) {
    Installed().push_back(&services_);
}

ScopedServices::~ScopedServices() {
    auto& installed = Installed();
    // The newest first: removal is nearly always in reverse order.
    auto mine = std::find(installed.rbegin(), installed.rend(), &services_);
    if (mine != installed.rend()) installed.erase(std::next(mine).base());
}

Subscription ObserveNativeViewPlaces(std::function<void(IWindowRoot&)> observer) {
    return PlaceObservers().Subscribe(std::move(observer));
}

void NativeViewPlacesChanged(IWindowRoot& window) { PlaceObservers().Notify(window); }

}  // namespace velmora
