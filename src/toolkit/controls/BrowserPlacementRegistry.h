// Which web views of one main window own a native display, and which window
// that display is. Native windows sit above everything the toolkit draws, so
// stacking and placement decisions need to see all of them at once.
#pragma once

#include <utility>
#include <vector>

#include "platform/PlatformTypes.h"

namespace velmora {

class TControl;
class IWindowRoot;

class BrowserPlacementRegistry {
public:
    // The registry of a main window, created on first use.
    static BrowserPlacementRegistry& For(const IWindowRoot& form);
    // The registry of a main window if it has any entry, else nullptr.
    static BrowserPlacementRegistry* Find(const IWindowRoot& form);
    // Removes the view from every main window's registry.
    static void RemoveEverywhere(const TControl& view);

    // Enters the view or replaces its display.
    void Add(const TControl& view, platform::WindowHandle display);
    void Remove(const TControl& view);
    // The view's display, or 0.
    platform::WindowHandle DisplayOf(const TControl& view) const;
    bool Empty() const { return entries_.empty(); }
    const std::vector<std::pair<const TControl*, platform::WindowHandle>>& Entries() const { return entries_; }

    // The nearest ancestor of the view that has a display, or nullptr.
    const TControl* AncestorWithDisplay(const TControl& view) const;
    // Whether a control before the view in the tree's depth-first order has a
    // display of its own.
    bool HasDisplayBefore(const TControl& view) const;

private:
    std::vector<std::pair<const TControl*, platform::WindowHandle>> entries_;
};

}  // namespace velmora
