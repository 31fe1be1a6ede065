#include "BrowserPlacementRegistry.h"

#include <algorithm>
#include <map>
#include <memory>

#include "toolkit/controls/Control.h"

namespace velmora {

namespace {

// Keyed by the main window. A registry is dropped as soon as it holds no
// entry, so a destroyed window never leaves a stale one behind for a later
// window that happens to reuse its address.
std::map<const IWindowRoot*, std::unique_ptr<BrowserPlacementRegistry>>& Registries() {
    static std::map<const IWindowRoot*, std::unique_ptr<BrowserPlacementRegistry>> registries;
    return registries;
}

// Depth-first walk that stops at target; true if visit said so first.
template <class Visit>
bool WalkUntil(const TControl& node, const TControl& target, Visit& visit, bool& reached) {
    if (&node == &target) {
        reached = true;
        return false;
    }
    if (visit(node)) return true;
    for (const TControl* child : node.Controls()) {
        if (WalkUntil(*child, target, visit, reached)) return true;
        if (reached) return false;
    }
    return false;
}

}  // namespace

BrowserPlacementRegistry& BrowserPlacementRegistry::For(const IWindowRoot& form) {
    auto& slot = Registries()[&form];
    if (!slot) slot = std::make_unique<BrowserPlacementRegistry>();
    return *slot;
}

BrowserPlacementRegistry* BrowserPlacementRegistry::Find(const IWindowRoot& form) {
    auto& all = Registries();
    auto it = all.find(&form);
    return it == all.end() ? nullptr : it->second.get();
}

void BrowserPlacementRegistry::RemoveEverywhere(const TControl& view) {
    auto& all = Registries();
    for (auto it = all.begin(); it != all.end();) {
        it->second->Remove(view);
        it = it->second->Empty() ? all.erase(it) : std::next(it);
    }
}

void BrowserPlacementRegistry::Add(const TControl& view, platform::WindowHandle display) {
    for (auto& entry : entries_) {
        if (entry.first == &view) {
            entry.second = display;
            return;
        }
    }
    entries_.emplace_back(&view, display);
}

void BrowserPlacementRegistry::Remove(const TControl& view) {
    std::erase_if(entries_, [&](const auto& entry) { return entry.first == &view; });
}

platform::WindowHandle BrowserPlacementRegistry::DisplayOf(const TControl& view) const {
    for (const auto& entry : entries_)
        if (entry.first == &view) return entry.second;
    return 0;
}

const TControl* BrowserPlacementRegistry::AncestorWithDisplay(const TControl& view) const {
    for (const TControl* c = view.ParentControl(); c; c = c->ParentControl())
        if (DisplayOf(*c) != 0) return c;
    return nullptr;
}

bool BrowserPlacementRegistry::HasDisplayBefore(const TControl& view) const {
    const TControl* top = &view;
    while (top->ParentControl()) top = top->ParentControl();
    auto hasDisplay = [this](const TControl& c) { return DisplayOf(c) != 0; };
    bool reached = false;
    return WalkUntil(*top, view, hasDisplay, reached);
}

}  // namespace velmora
