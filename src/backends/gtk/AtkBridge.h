// Carries the toolkit's accessible nodes to ATK, from where the bridge of the
// accessibility bus serves them to screen readers. A window made by
// NewAccessibleWindow answers for its published tree: its own accessible is
// the frame, and the frame's children are the tree's top nodes. An embedded
// display (the web view) is placed by its own widget's accessible.
//
// The platform owns the bridge. The frame finds it through its window, and
// every node object through the bridge that made it; the bridge cuts them
// loose when it goes. The rules of what is told live in AccessibilityTracker.
#pragma once

#include <gtk/gtk.h>

#include <unordered_map>
#include <vector>

#include "GLibHolders.h"
#include "backends/native/AccessibilityTracker.h"

namespace velmora::gtk {

class GtkPlatform;

GtkWidget* NewAccessibleWindow();

class AtkBridge final : public platform::AccessibilityTracker {
public:
    explicit AtkBridge(GtkPlatform& platform) : platform_(platform) {}
    ~AtkBridge() override;

    // The ATK object standing for a node (borrowed): the window's own for a
    // root, the display widget's for an embedded node, ours for the rest.
    // nullptr for a node outside every published tree.
    AtkObject* Wrap(platform::IAccessibleNode* node);
    // The ATK children of a node, borrowed, in order.
    std::vector<AtkObject*> ChildrenOf(platform::IAccessibleNode* node);
    // The drawing area under a node's window, for screen positions.
    GtkWidget* AreaOf(platform::IAccessibleNode* node);

    // The bridge serving a window made by NewAccessibleWindow, and the root
    // it published there; nullptr for none.
    static AtkBridge* OfWindow(GtkWidget* window);
    platform::IAccessibleNode* RootOfWidget(GtkWidget* window);

protected:
    void TreeChanging(platform::WindowHandle window) override;
    void TreeChanged(platform::WindowHandle window) override;
    void NameChanged(platform::IAccessibleNode& node) override;
    void BoundsChanged(platform::IAccessibleNode& node) override;
    void ChildrenChanged(platform::IAccessibleNode& node) override;
    void StatesChanged(platform::IAccessibleNode& node, unsigned before, unsigned now) override;
    void Forgotten(platform::IAccessibleNode& node) override;

private:
    // Our object for a node, and the children a client was last told of.
    // Both hold references: a "remove" never names a freed object, and a
    // new child never shares an address with one still listed.
    struct Wrapper {
        GObjectPtr<AtkObject> object;
        std::vector<GObjectPtr<AtkObject>> lastChildren;
    };
    GtkWidget* WindowWidget(platform::WindowHandle window);

    GtkPlatform& platform_;
    std::unordered_map<platform::IAccessibleNode*, Wrapper> wrappers_;
    // The frame's children while its root changes.
    std::vector<GObjectPtr<AtkObject>> frameBefore_;
};

}  // namespace velmora::gtk
