#include "WinApi.h"

#include "ContainerSite.h"

namespace velmora::win32 {

namespace {

// Ambient property ids (the standard OLE control set).
constexpr DISPID kAmbientDisplayName = -702;
constexpr DISPID kAmbientLocaleId = -705;
constexpr DISPID kAmbientMessageReflect = -706;
constexpr DISPID kAmbientUserMode = -709;
constexpr DISPID kAmbientUiDead = -710;
constexpr DISPID kAmbientShowGrabHandles = -711;
constexpr DISPID kAmbientShowHatching = -712;
constexpr DISPID kAmbientSupportsMnemonics = -714;
constexpr DISPID kAmbientAutoClip = -715;

void SetBool(VARIANT& value, bool flag) {
    value.vt = VT_BOOL;
    value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

// ---------------------------------------------------------------- IUnknown

HRESULT ContainerSite::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame))
        *object = static_cast<IOleInPlaceFrame*>(this);
    else if (IsEqualIID(riid, IID_IOleControlSite))
        *object = static_cast<IOleControlSite*>(this);
    else if (IsEqualIID(riid, IID_ISimpleFrameSite))
        *object = static_cast<ISimpleFrameSite*>(this);
    else if (IsEqualIID(riid, IID_IPropertyNotifySink))
        *object = static_cast<IPropertyNotifySink*>(this);
    else if (IsEqualIID(riid, IID_IServiceProvider))
        *object = static_cast<IServiceProvider*>(this);
    else if (IsEqualIID(riid, IID_IDispatch))
        *object = static_cast<IDispatch*>(this);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG ContainerSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG ContainerSite::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// ---------------------------------------------------------------- IOleClientSite

HRESULT ContainerSite::SaveObject() { return E_NOTIMPL; }

HRESULT ContainerSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT ContainerSite::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT ContainerSite::ShowObject() { return S_OK; }
HRESULT ContainerSite::OnShowWindow(BOOL) { return S_OK; }
HRESULT ContainerSite::RequestNewObjectLayout() { return E_NOTIMPL; }

// ---------------------------------------------------------------- IOleWindow

HRESULT ContainerSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = owner_ ? owner_->ContainerWindow() : nullptr;
    return *window ? S_OK : E_FAIL;
}

HRESULT ContainerSite::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// ---------------------------------------------------------------- IOleInPlaceSite

HRESULT ContainerSite::CanInPlaceActivate() { return owner_ ? S_OK : S_FALSE; }
HRESULT ContainerSite::OnInPlaceActivate() { return S_OK; }
HRESULT ContainerSite::OnUIActivate() { return S_OK; }

HRESULT ContainerSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                        LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    *position = owner_ ? owner_->ControlBounds() : RECT{0, 0, 0, 0};
    *clip = RECT{0, 0, 32767, 32767};
    info->cb = sizeof(OLEINPLACEFRAMEINFO);
    info->fMDIApp = FALSE;
    info->hwndFrame = owner_ ? owner_->ContainerWindow() : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT ContainerSite::Scroll(SIZE) { return E_NOTIMPL; }
HRESULT ContainerSite::OnUIDeactivate(BOOL) { return S_OK; }
HRESULT ContainerSite::OnInPlaceDeactivate() { return S_OK; }
HRESULT ContainerSite::DiscardUndoState() { return E_NOTIMPL; }
HRESULT ContainerSite::DeactivateAndUndo() { return E_NOTIMPL; }

HRESULT ContainerSite::OnPosRectChange(LPCRECT position) {
    if (!position) return E_POINTER;
    if (owner_) owner_->ControlAsksForRect(*position);
    return S_OK;
}

// ---------------------------------------------------------------- IOleInPlaceFrame

HRESULT ContainerSite::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
HRESULT ContainerSite::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
HRESULT ContainerSite::SetBorderSpace(LPCBORDERWIDTHS) { return E_NOTIMPL; }
HRESULT ContainerSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) { return S_OK; }
HRESULT ContainerSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }
HRESULT ContainerSite::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
HRESULT ContainerSite::RemoveMenus(HMENU) { return E_NOTIMPL; }
HRESULT ContainerSite::SetStatusText(LPCOLESTR) { return S_OK; }
HRESULT ContainerSite::EnableModeless(BOOL) { return S_OK; }
HRESULT ContainerSite::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

// ---------------------------------------------------------------- IOleControlSite

HRESULT ContainerSite::OnControlInfoChanged() { return S_OK; }
HRESULT ContainerSite::LockInPlaceActive(BOOL) { return S_OK; }

HRESULT ContainerSite::GetExtendedControl(IDispatch** control) {
    if (control) *control = nullptr;
    return E_NOTIMPL;
}

HRESULT ContainerSite::TransformCoords(POINTL*, POINTF*, DWORD) { return E_NOTIMPL; }
HRESULT ContainerSite::TranslateAccelerator(LPMSG, DWORD) { return S_FALSE; }
HRESULT ContainerSite::OnFocus(BOOL) { return S_OK; }
HRESULT ContainerSite::ShowPropertyFrame() { return E_NOTIMPL; }

// ---------------------------------------------------------------- ISimpleFrameSite

HRESULT ContainerSite::PreMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD*) { return S_OK; }
HRESULT ContainerSite::PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD) { return S_OK; }

// ---------------------------------------------------------------- IPropertyNotifySink

HRESULT ContainerSite::OnChanged(DISPID) { return S_OK; }
HRESULT ContainerSite::OnRequestEdit(DISPID) { return S_OK; }

// ---------------------------------------------------------------- IServiceProvider

HRESULT ContainerSite::QueryService(REFGUID, REFIID, void** object) {
    if (object) *object = nullptr;
    return E_NOTIMPL;
}

// ---------------------------------------------------------------- IDispatch

HRESULT ContainerSite::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT ContainerSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT ContainerSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

bool ContainerSite::AmbientProperty(DISPID id, VARIANT& value) {
    VariantInit(&value);
    switch (id) {
    case kAmbientUserMode: SetBool(value, true); return true;
    case kAmbientUiDead: SetBool(value, false); return true;
    case kAmbientMessageReflect: SetBool(value, true); return true;
    case kAmbientSupportsMnemonics: SetBool(value, true); return true;
    case kAmbientAutoClip: SetBool(value, true); return true;
    case kAmbientShowHatching: SetBool(value, false); return true;
    case kAmbientShowGrabHandles: SetBool(value, false); return true;
    case kAmbientLocaleId:
        value.vt = VT_I4;
        value.lVal = static_cast<LONG>(GetUserDefaultLCID());
        return true;
    case kAmbientDisplayName:
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"");
        return true;
    default:
        // Everything else (the engine's download-control and user-agent
        // properties among them) is absent: the engine keeps its defaults.
        return false;
    }
}

HRESULT ContainerSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                              UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    VARIANT value;
    if (!AmbientProperty(id, value)) return DISP_E_MEMBERNOTFOUND;
    if (result) {
        *result = value;
    } else {
        VariantClear(&value);
    }
    return S_OK;
}

}  // namespace velmora::win32
