// Carries the toolkit's accessible nodes to Active Accessibility: a form's
// window answers WM_GETOBJECT (OBJID_CLIENT) with an IAccessible for its
// published tree, and the core's announcements become WinEvents.
//
// Addressing. A positive child number is, as clients expect, the place of a
// child among its parent's children, counted from 1. Every node that a
// client has seen or that an event named also gets a number of its own,
// unique in the process and never reused; events name it negated, and the
// client object of a window resolves any negative number of its tree in
// get_accChild, so a client that heard (hwnd, OBJID_CLIENT, -number) finds
// the node through AccessibleObjectFromEvent. Children are always full
// objects, never bare numbers, so a client can walk down without asking the
// parent each time.
//
// The web view's node stands for the engine's display window: its place in
// the tree is taken by that window's own accessible object, which the
// system (and the engine inside it) serves.
//
// Lifetime. A client may hold an object long after its control is gone (or
// hold it across the process boundary through COM's proxy). The object then
// answers CO_E_OBJNOTCONNECTED to everything but IUnknown.
// The platform owns the bridge; every object holds the bridge that made it
// and is cut loose when the node or the bridge goes. The rules of what is
// announced live in AccessibilityTracker.
#pragma once

#include "WinApi.h"

#include <oleacc.h>

#include <unordered_map>

#include "ComHolders.h"
#include "backends/native/AccessibilityTracker.h"

namespace velmora::win32 {

class AccessibleObject;

class Win32Accessibility final : public platform::AccessibilityTracker {
public:
    Win32Accessibility() = default;
    ~Win32Accessibility() override;

    // WM_GETOBJECT: handled is false when the window has no tree for the
    // asked object (the default window procedure answers then).
    LRESULT GetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, bool& handled);

    // --- for the objects ---
    // The window whose published tree holds node, or nullptr.
    HWND HwndOf(platform::IAccessibleNode* node) const;
    // The object standing for a node (new reference): ours, or for an
    // embedded node the display window's own. nullptr when there is none.
    ComPtr<IDispatch> Dispatch(platform::IAccessibleNode* node);

protected:
    // Focus, selection, showing: one WinEvent each, then the state change.
    void StatesChanged(platform::IAccessibleNode& node, unsigned before, unsigned now) override;
    // A client re-reads the whole tree of the window on a reorder.
    void TreeChanging(platform::WindowHandle) override {}
    void TreeChanged(platform::WindowHandle window) override;
    void ChildrenChanged(platform::IAccessibleNode& node) override;
    void NameChanged(platform::IAccessibleNode& node) override;
    void BoundsChanged(platform::IAccessibleNode& node) override;
    // Its object answers "not connected" from now on.
    void Forgotten(platform::IAccessibleNode& node) override;

private:
    struct Object {
        ComPtr<IAccessible> object;
        AccessibleObject* impl = nullptr;  // the same object, to disconnect it
    };
    Object& ObjectOf(platform::IAccessibleNode& node);
    void Notify(DWORD event, platform::IAccessibleNode& node);

    std::unordered_map<platform::IAccessibleNode*, Object> objects_;
};

}  // namespace velmora::win32
