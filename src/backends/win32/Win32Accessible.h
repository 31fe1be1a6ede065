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
#pragma once

#include "WinApi.h"

#include <oleacc.h>

#include <cstdint>
#include <map>
#include <unordered_map>

#include "ComHolders.h"
#include "platform/Accessibility.h"

namespace velmora::win32 {

class AccessibleObject;

class Win32Accessibility final : public platform::IAccessibilityEvents {
public:
    Win32Accessibility() = default;
    ~Win32Accessibility() override;
    Win32Accessibility(const Win32Accessibility&) = delete;
    Win32Accessibility& operator=(const Win32Accessibility&) = delete;

    // root nullptr withdraws the window's tree.
    void Publish(HWND hwnd, platform::IAccessibleNode* root);
    // The window is being destroyed: its tree goes with it.
    void Forget(HWND hwnd);
    // WM_GETOBJECT: handled is false when the window has no tree for the
    // asked object (the default window procedure answers then).
    LRESULT GetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, bool& handled);

    void Changed(platform::IAccessibleNode& node, platform::AccessibleChange change) override;
    void Removed(platform::IAccessibleNode& node) override;

    // --- for the objects ---
    // The window whose published tree holds node, or nullptr.
    HWND WindowOf(platform::IAccessibleNode* node) const;
    platform::IAccessibleNode* RootOf(HWND hwnd) const;
    // The object standing for a node (new reference): ours, or for an
    // embedded node the display window's own. nullptr when there is none.
    ComPtr<IDispatch> Dispatch(platform::IAccessibleNode* node);
    // The node numbered id inside the tree of hwnd, or nullptr.
    platform::IAccessibleNode* NodeById(HWND hwnd, long id) const;
    long IdOf(platform::IAccessibleNode* node);

private:
    struct Known {
        long id = 0;
        unsigned states = 0;
        ComPtr<IAccessible> object;
        AccessibleObject* impl = nullptr;  // the same object, to disconnect it
    };
    Known& Remember(platform::IAccessibleNode* node);
    void Notify(DWORD event, platform::IAccessibleNode& node);

    std::map<HWND, platform::IAccessibleNode*> roots_;
    std::unordered_map<platform::IAccessibleNode*, Known> known_;
    std::unordered_map<long, platform::IAccessibleNode*> byId_;
    long nextId_ = 1;
};

}  // namespace velmora::win32
