// What assistive technology (screen readers, switch access, test robots) is
// told about the controls the toolkit draws itself. The core describes each
// control as a node; the backend carries the nodes to the system's
// accessibility service and announces the changes the core reports.
#pragma once

#include <string>
#include <vector>

#include "PlatformTypes.h"

namespace velmora::platform {

enum class AccessibleRole {
    None,         // not a node of its own: its children take its place
    Frame,        // a top-level window
    PageTabList,  // the header strip of a tab control
    PageTab,      // one page header
    Panel,        // a container, e.g. a page's content area
    PushButton,
    Embedded,     // a native display (the web engine) with an accessible tree of its own
};

enum AccessibleState : unsigned {
    AccessibleStateNone = 0,
    AccessibleEnabled = 1,      // can be used (also "sensitive")
    AccessibleFocusable = 2,
    AccessibleFocused = 4,
    AccessibleSelectable = 8,
    AccessibleSelected = 16,
    AccessibleVisible = 32,     // its own visibility flag
    AccessibleShowing = 64,     // it and all its ancestors are visible
};

// What the core reports as changed; the backend turns it into its events.
enum class AccessibleChange {
    Name,
    States,    // focus, selection, visibility: the backend compares old and new
    Bounds,
    Children,
};

class IAccessibleNode {
public:
    virtual ~IAccessibleNode() = default;
    virtual AccessibleRole Role() const = 0;
    virtual std::string Name() const = 0;
    virtual unsigned States() const = 0;
    // Client pixels of the node's top-level window.
    virtual RectI Bounds() const = 0;
    // Names of the actions, e.g. "press"; DoAction takes an index into it.
    virtual std::vector<std::string> Actions() const = 0;
    // Queues the action on the UI thread and returns at once (the caller may
    // be the accessibility service's request, which must not wait for a
    // handler); false for an index without an action.
    virtual bool DoAction(int index) = 0;
    // Asks for the keyboard focus; false when the node cannot take it.
    virtual bool GrabFocus() = 0;
    // nullptr for the root of a window's tree.
    virtual IAccessibleNode* Parent() const = 0;
    virtual std::vector<IAccessibleNode*> Children() const = 0;
    // Role Embedded: the native display whose own tree stands in for this
    // node; 0 while there is none.
    virtual WindowHandle EmbeddedWindow() const { return 0; }
};

// Implemented by a backend that serves an accessibility service.
class IAccessibilityEvents {
public:
    virtual ~IAccessibilityEvents() = default;
    virtual void Changed(IAccessibleNode& node, AccessibleChange change) = 0;
    // The node is about to be destroyed; it must not be asked anything after.
    virtual void Removed(IAccessibleNode& node) = 0;
};

}  // namespace velmora::platform
