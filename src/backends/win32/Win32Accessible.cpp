#include "Win32Accessible.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "TextConversion.h"

namespace velmora::win32 {

using platform::AccessibleRole;
using platform::IAccessibleNode;

namespace {

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT ReturnString(const std::string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    const std::wstring wide = Widen(text);
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

long RoleOf(const IAccessibleNode& node, bool isRoot) {
    if (isRoot) return ROLE_SYSTEM_CLIENT;
    switch (node.Role()) {
    case AccessibleRole::PageTabList: return ROLE_SYSTEM_PAGETABLIST;
    case AccessibleRole::PageTab: return ROLE_SYSTEM_PAGETAB;
    case AccessibleRole::Panel: return ROLE_SYSTEM_PROPERTYPAGE;
    case AccessibleRole::PushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::Frame:
    case AccessibleRole::Embedded: return ROLE_SYSTEM_CLIENT;
    case AccessibleRole::None: break;
    }
    return ROLE_SYSTEM_GROUPING;
}

RECT ScreenRect(HWND hwnd, const platform::RectI& r) {
    POINT topLeft{r.left, r.top};
    POINT bottomRight{r.right, r.bottom};
    ClientToScreen(hwnd, &topLeft);
    ClientToScreen(hwnd, &bottomRight);
    return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

long StatesOf(HWND hwnd, const IAccessibleNode& node) {
    const unsigned s = node.States();
    long out = 0;
    if (!(s & platform::AccessibleEnabled)) out |= STATE_SYSTEM_UNAVAILABLE;
    if (s & platform::AccessibleFocusable) out |= STATE_SYSTEM_FOCUSABLE;
    if (s & platform::AccessibleFocused) out |= STATE_SYSTEM_FOCUSED;
    if (s & platform::AccessibleSelectable) out |= STATE_SYSTEM_SELECTABLE;
    if (s & platform::AccessibleSelected) out |= STATE_SYSTEM_SELECTED;
    if (!(s & platform::AccessibleShowing)) {
        out |= STATE_SYSTEM_INVISIBLE;
    } else if (node.Parent()) {
        // Shown, but slid (or laid) out of the window's client area.
        RECT client{};
        GetClientRect(hwnd, &client);
        const platform::RectI r = node.Bounds();
        if (r.right <= client.left || r.left >= client.right || r.bottom <= client.top || r.top >= client.bottom)
            out |= STATE_SYSTEM_OFFSCREEN;
    }
    return out;
}

// What a client shows as the action's name.
std::string ActionTitle(const IAccessibleNode& node, const std::string& action) {
    if (action == "press") return "Press";
    if (action == "click") return node.Role() == AccessibleRole::PageTab ? "Switch" : "Click";
    std::string title = action;
    if (!title.empty() && title[0] >= 'a' && title[0] <= 'z') title[0] = static_cast<char>(title[0] - 'a' + 'A');
    return title;
}

platform::WindowHandle WindowHandleOf(HWND hwnd) {
    return static_cast<platform::WindowHandle>(reinterpret_cast<std::uintptr_t>(hwnd));
}
HWND HwndFrom(platform::WindowHandle window) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }

bool Contains(const platform::RectI& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace

// ---------------------------------------------------------------- one object

class AccessibleObject final : public IAccessible {
public:
    AccessibleObject(Win32Accessibility& owner, IAccessibleNode& node) : owner_(&owner), node_(&node) {}

    // The node or the owner is going away: every later call fails.
    void Disconnect() {
        owner_ = nullptr;
        node_ = nullptr;
    }

    // --- IUnknown ---
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        // MinGW's import library turns IID_IAccessible into a thunk, not the
        // GUID: the compiler's own constant is the one to compare with.
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // --- IDispatch: clients use the vtable; scripting is not offered ---
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // --- IAccessible: the tree ---
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        if (IAccessibleNode* up = node_->Parent()) {
            ComPtr<IDispatch> object = owner_->Dispatch(up);
            *parent = object.Detach();
            return *parent ? S_OK : S_FALSE;
        }
        // The client area's parent is the window with its frame parts,
        // which the system describes.
        return AccessibleObjectFromWindow(Window(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                          reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        *count = static_cast<long>(node_->Children().size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        IAccessibleNode* target = Resolve(child);
        if (!target) return E_INVALIDARG;
        if (target == node_) {
            AddRef();
            *out = this;
            return S_OK;
        }
        ComPtr<IDispatch> object = owner_->Dispatch(target);
        *out = object.Detach();
        return *out ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        if (!end) return E_POINTER;
        VariantInit(end);
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        IAccessibleNode* from = Resolve(start);
        if (!from) return E_INVALIDARG;
        IAccessibleNode* found = nullptr;
        if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
            if (!IsSelf(start)) return E_INVALIDARG;
            const auto children = from->Children();
            if (!children.empty()) found = direction == NAVDIR_FIRSTCHILD ? children.front() : children.back();
        } else if (direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS) {
            IAccessibleNode* parent = from->Parent();
            if (!parent) return S_FALSE;
            const auto siblings = parent->Children();
            auto at = std::find(siblings.begin(), siblings.end(), from);
            if (at != siblings.end()) {
                if (direction == NAVDIR_NEXT && at + 1 != siblings.end()) found = *(at + 1);
                if (direction == NAVDIR_PREVIOUS && at != siblings.begin()) found = *(at - 1);
            }
        } else {
            return DISP_E_MEMBERNOTFOUND;  // spatial directions
        }
        return ReturnNode(found, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        POINT p{x, y};
        ScreenToClient(Window(), &p);
        if (!ShowingAt(*node_, p)) return S_FALSE;
        IAccessibleNode* hit = node_;
        for (bool deeper = true; deeper;) {
            deeper = false;
            for (IAccessibleNode* child : hit->Children())
                if (ShowingAt(*child, p)) {
                    hit = child;
                    deeper = true;
                    break;
                }
        }
        return ReturnNode(hit, out);
    }

    // --- IAccessible: what a node is ---
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return With(child, [&](IAccessibleNode& node) { return ReturnString(node.Name(), name); }, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override { return NotOffered(value); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override { return NotOffered(text); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override { return NotOffered(text); }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override { return NotOffered(text); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (topic) *topic = 0;
        return NotOffered(file);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        VariantInit(role);
        return With(child, [&](IAccessibleNode& node) {
            role->vt = VT_I4;
            role->lVal = RoleOf(node, node.Parent() == nullptr);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        VariantInit(state);
        return With(child, [&](IAccessibleNode& node) {
            state->vt = VT_I4;
            state->lVal = StatesOf(Window(), node);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        return With(child, [&](IAccessibleNode& node) {
            const RECT r = ScreenRect(Window(), node.Bounds());
            *left = r.left;
            *top = r.top;
            *width = r.right - r.left;
            *height = r.bottom - r.top;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        return ReturnNode(FindState(*node_, platform::AccessibleFocused), out);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        // Only one page of a tab control is ever selected.
        for (IAccessibleNode* child : node_->Children())
            if (child->States() & platform::AccessibleSelected) return ReturnNode(child, out);
        return S_OK;  // VT_EMPTY: nothing selected
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return With(
            child,
            [&](IAccessibleNode& node) {
                const auto actions = node.Actions();
                if (actions.empty()) return DISP_E_MEMBERNOTFOUND;
                return ReturnString(ActionTitle(node, actions.front()), action);
            },
            action);
    }

    // --- IAccessible: doing ---
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        // The node queues the action: the client's call returns before a
        // handler (which may run a slide) starts.
        return With(child, [](IAccessibleNode& node) { return node.DoAction(0) ? S_OK : DISP_E_MEMBERNOTFOUND; });
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return With(child, [flags](IAccessibleNode& node) {
            if (flags & (SELFLAG_ADDSELECTION | SELFLAG_REMOVESELECTION | SELFLAG_EXTENDSELECTION))
                return E_INVALIDARG;  // one page at a time
            if ((flags & SELFLAG_TAKESELECTION) &&
                (!(node.States() & platform::AccessibleSelectable) || !node.DoAction(0)))
                return E_INVALIDARG;
            if ((flags & SELFLAG_TAKEFOCUS) && !node.GrabFocus()) return S_FALSE;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~AccessibleObject() = default;

    bool Alive() const { return owner_ && node_ && owner_->HwndOf(node_); }
    HWND Window() const { return owner_->HwndOf(node_); }

    // CHILDID_SELF; a positive number is the place among this node's
    // children, counted from 1 (clients walk so: AccessibleChildren without
    // an enumerator); a negative one is a node's own number negated, as the
    // WinEvents name it.
    IAccessibleNode* Resolve(const VARIANT& child) const {
        if (child.vt != VT_I4) return nullptr;
        if (child.lVal == CHILDID_SELF) return node_;
        if (child.lVal < 0) return owner_->NodeById(WindowHandleOf(Window()), -child.lVal);
        const auto children = node_->Children();
        if (static_cast<std::size_t>(child.lVal) > children.size()) return nullptr;
        return children[static_cast<std::size_t>(child.lVal) - 1];
    }

    template <typename Answer>
    HRESULT With(const VARIANT& child, Answer answer, BSTR* text = nullptr) {
        if (text) *text = nullptr;
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        IAccessibleNode* target = Resolve(child);
        if (!target) return E_INVALIDARG;
        return answer(*target);
    }

    HRESULT NotOffered(BSTR* text) const {
        if (text) *text = nullptr;
        if (!Alive()) return CO_E_OBJNOTCONNECTED;
        return DISP_E_MEMBERNOTFOUND;
    }

    HRESULT ReturnNode(IAccessibleNode* node, VARIANT* out) {
        if (!node) return S_FALSE;
        if (node == node_) {
            out->vt = VT_I4;
            out->lVal = CHILDID_SELF;
            return S_OK;
        }
        ComPtr<IDispatch> object = owner_->Dispatch(node);
        if (!object) return S_FALSE;
        out->vt = VT_DISPATCH;
        out->pdispVal = object.Detach();
        return S_OK;
    }

    bool ShowingAt(const IAccessibleNode& node, POINT p) const {
        return (node.States() & platform::AccessibleShowing) && Contains(node.Bounds(), p);
    }

    static IAccessibleNode* FindState(IAccessibleNode& node, unsigned bit) {
        for (IAccessibleNode* child : node.Children())
            if (IAccessibleNode* found = FindState(*child, bit)) return found;
        return (node.States() & bit) ? &node : nullptr;
    }

    ULONG refs_ = 1;  // the creator's, taken over by ComPtr::Attach
    Win32Accessibility* owner_;
    IAccessibleNode* node_;
};

// ---------------------------------------------------------------- the bridge

Win32Accessibility::~Win32Accessibility() {
    for (auto& [node, object] : objects_)
        if (object.impl) object.impl->Disconnect();
}

void Win32Accessibility::TreeChanged(platform::WindowHandle window) {
    // Whatever a client holds of the old tree is stale now.
    NotifyWinEvent(EVENT_OBJECT_REORDER, HwndFrom(window), OBJID_CLIENT, CHILDID_SELF);
}

LRESULT Win32Accessibility::GetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = false;
    // The object id arrives as a 32-bit value, sign-extended on 64-bit.
    if (static_cast<LONG>(lParam) != OBJID_CLIENT) return 0;
    IAccessibleNode* root = RootOf(WindowHandleOf(hwnd));
    if (!root) return 0;
    Object& object = ObjectOf(*root);
    handled = true;
    return LresultFromObject(__uuidof(IAccessible), wParam, object.object.Get());
}

HWND Win32Accessibility::HwndOf(IAccessibleNode* node) const { return HwndFrom(WindowOf(node)); }

Win32Accessibility::Object& Win32Accessibility::ObjectOf(IAccessibleNode& node) {
    Remember(node);
    Object& object = objects_[&node];
    if (!object.object) {
        object.impl = new AccessibleObject(*this, node);
        object.object.Attach(object.impl);
    }
    return object;
}

ComPtr<IDispatch> Win32Accessibility::Dispatch(IAccessibleNode* node) {
    ComPtr<IDispatch> out;
    if (!node || !HwndOf(node)) return out;
    if (node->Role() == AccessibleRole::Embedded) {
        HWND display = HwndFrom(node->EmbeddedWindow());
        if (display && IsWindow(display))
            AccessibleObjectFromWindow(display, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                       reinterpret_cast<void**>(out.GetAddressOf()));
        return out;
    }
    ObjectOf(*node).object.As(&out);
    return out;
}

void Win32Accessibility::Notify(DWORD event, IAccessibleNode& node) {
    HWND hwnd = HwndOf(&node);
    if (!hwnd) return;
    const LONG child = node.Parent() ? -Remember(node) : CHILDID_SELF;
    NotifyWinEvent(event, hwnd, OBJID_CLIENT, child);
}

void Win32Accessibility::NameChanged(IAccessibleNode& node) { Notify(EVENT_OBJECT_NAMECHANGE, node); }
void Win32Accessibility::BoundsChanged(IAccessibleNode& node) { Notify(EVENT_OBJECT_LOCATIONCHANGE, node); }
void Win32Accessibility::ChildrenChanged(IAccessibleNode& node) { Notify(EVENT_OBJECT_REORDER, node); }

void Win32Accessibility::StatesChanged(IAccessibleNode& node, unsigned before, unsigned now) {
    const unsigned flipped = now ^ before;
    if (flipped & platform::AccessibleShowing)
        Notify(now & platform::AccessibleShowing ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE, node);
    if ((flipped & now) & platform::AccessibleFocused) Notify(EVENT_OBJECT_FOCUS, node);
    if ((flipped & now) & platform::AccessibleSelected) Notify(EVENT_OBJECT_SELECTION, node);
    Notify(EVENT_OBJECT_STATECHANGE, node);
}

void Win32Accessibility::Forgotten(IAccessibleNode& node) {
    auto it = objects_.find(&node);
    if (it == objects_.end()) return;
    if (it->second.impl) it->second.impl->Disconnect();
    objects_.erase(it);
}

}  // namespace velmora::win32
