// Carries the toolkit's accessible nodes to ATK, from where the bridge of the
// accessibility bus serves them to screen readers. A window made by
// NewAccessibleWindow answers for its published tree: its own accessible is
// the frame, and the frame's children are the tree's top nodes. An embedded
// display (the web view) is placed by its own widget's accessible.
#pragma once

#include <gtk/gtk.h>

#include <unordered_map>

#include "platform/Accessibility.h"

namespace velmora::gtk {

class GtkPlatform;

GtkWidget* NewAccessibleWindow();

class AtkBridge : public platform::IAccessibilityEvents {
public:
    static AtkBridge& Instance();

    void Publish(GtkPlatform& platform, GtkWidget* window, platform::IAccessibleNode* root);

    // The ATK object standing for a node (borrowed): the window's own for a
    // root, the display widget's for an embedded node, ours for the rest.
    // nullptr for a node outside every published tree.
    AtkObject* Wrap(platform::IAccessibleNode* node);
    // The ATK children of a node, borrowed, in order.
    std::vector<AtkObject*> ChildrenOf(platform::IAccessibleNode* node);
    // Root of a window's published tree, or nullptr.
    platform::IAccessibleNode* RootOf(GtkWidget* window) const;
    // The drawing area under a node's window, for screen positions.
    GtkWidget* AreaOf(platform::IAccessibleNode* node);

    void Changed(platform::IAccessibleNode& node, platform::AccessibleChange change) override;
    void Removed(platform::IAccessibleNode& node) override;

private:
    struct Published {
        GtkPlatform* platform = nullptr;
        GtkWidget* window = nullptr;
    };
    platform::IAccessibleNode* TopOf(platform::IAccessibleNode* node) const;

    std::unordered_map<platform::IAccessibleNode*, Published> roots_;
    std::unordered_map<platform::IAccessibleNode*, AtkObject*> wrappers_;
};

}  // namespace velmora::gtk
