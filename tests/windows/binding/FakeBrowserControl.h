// A stand-in for the system's browser control, hosted the same way: an
// in-process COM object with the interfaces the binding uses. It writes every
// call it receives, with its arguments, to the test's call log, and fails the
// call named in `failures` with the HRESULT given there (leaving an error
// description behind, as the real control does). Everything the binding never
// calls answers E_NOTIMPL.
#pragma once

#include "backends/win32/WinApi.h"

#include <exdisp.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "backends/win32/BrowserEventSink.h"
#include "backends/win32/TextConversion.h"

namespace velmora::binding_test {

using CallLog = std::vector<std::string>;

inline std::string RectText(const RECT& r) {
    return "{" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + "}";
}

inline std::string VariantText(const VARIANT* v) {
    if (!v) return "null";
    if (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND) return "missing";
    if (v->vt == VT_I4) return "I4 " + std::to_string(v->lVal);
    if (v->vt == VT_BOOL) return v->boolVal == VARIANT_TRUE ? "true" : "false";
    return "vt " + std::to_string(v->vt);
}

// What a failing engine leaves for its caller to describe the failure.
inline std::string RefusalText(const std::string& step) { return step + " refused by the engine"; }
inline void LeaveErrorDescription(const std::string& step) {
    ICreateErrorInfo* created = nullptr;
    if (FAILED(CreateErrorInfo(&created))) return;
    std::wstring text = win32::Widen(RefusalText(step));
    created->SetDescription(text.data());
    IErrorInfo* info = nullptr;
    created->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    if (info) info->Release();
    created->Release();
}

// One connection point; it keeps the one sink the binding connects.
class FakeConnectionPoint : public IConnectionPoint {
public:
    FakeConnectionPoint(IConnectionPointContainer* owner, REFIID iid, const char* name, CallLog& log)
        : owner_(owner), iid_(iid), name_(name), log_(log) {}
    ~FakeConnectionPoint() {
        if (sink) sink->Release();
    }
    IUnknown* sink = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    // Lives exactly as long as its control.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override { return *iid = iid_, S_OK; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** c) override {
        owner_->AddRef();
        return *c = owner_, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* s, DWORD* cookie) override {
        log_.push_back(std::string("Advise(") + name_ + ")");
        if (sink || !s) return CONNECT_E_ADVISELIMIT;
        s->QueryInterface(iid_, reinterpret_cast<void**>(&sink));
        if (!sink) return CONNECT_E_CANNOTCONNECT;
        return *cookie = cookie_ = 7, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        if (cookie != cookie_ || !sink) return CONNECT_E_NOCONNECTION;
        log_.push_back(std::string("Unadvise(") + name_ + ")");
        sink->Release();
        sink = nullptr;
        cookie_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    IConnectionPointContainer* owner_;
    IID iid_;
    const char* name_;
    CallLog& log_;
    DWORD cookie_ = 0;
};

// The part of IWebBrowser2 the binding never calls.
#define VELMORA_NOTIMPL(name, params) \
    HRESULT STDMETHODCALLTYPE name params override { return E_NOTIMPL; }
class UnusedWebBrowser2 : public IWebBrowser2 {
public:
    VELMORA_NOTIMPL(GoBack, ()) VELMORA_NOTIMPL(GoForward, ()) VELMORA_NOTIMPL(GoHome, ())
    VELMORA_NOTIMPL(GoSearch, ()) VELMORA_NOTIMPL(Refresh, ()) VELMORA_NOTIMPL(Refresh2, (VARIANT*)) VELMORA_NOTIMPL(Stop, ())
    VELMORA_NOTIMPL(get_Application, (IDispatch**)) VELMORA_NOTIMPL(get_Parent, (IDispatch**))
    VELMORA_NOTIMPL(get_Container, (IDispatch**)) VELMORA_NOTIMPL(get_Document, (IDispatch**))
    VELMORA_NOTIMPL(get_TopLevelContainer, (VARIANT_BOOL*)) VELMORA_NOTIMPL(get_Type, (BSTR*))
    VELMORA_NOTIMPL(get_Left, (LONG*)) VELMORA_NOTIMPL(put_Left, (LONG)) VELMORA_NOTIMPL(get_Top, (LONG*))
    VELMORA_NOTIMPL(put_Top, (LONG)) VELMORA_NOTIMPL(get_Width, (LONG*)) VELMORA_NOTIMPL(put_Width, (LONG))
    VELMORA_NOTIMPL(get_Height, (LONG*)) VELMORA_NOTIMPL(put_Height, (LONG))
    VELMORA_NOTIMPL(get_LocationName, (BSTR*)) VELMORA_NOTIMPL(get_LocationURL, (BSTR*))
    VELMORA_NOTIMPL(get_Busy, (VARIANT_BOOL*)) VELMORA_NOTIMPL(Quit, ()) VELMORA_NOTIMPL(ClientToWindow, (int*, int*))
    VELMORA_NOTIMPL(PutProperty, (BSTR, VARIANT)) VELMORA_NOTIMPL(GetProperty, (BSTR, VARIANT*))
    VELMORA_NOTIMPL(get_Name, (BSTR*)) VELMORA_NOTIMPL(get_HWND, (SHANDLE_PTR*)) VELMORA_NOTIMPL(get_FullName, (BSTR*))
    VELMORA_NOTIMPL(get_Path, (BSTR*)) VELMORA_NOTIMPL(get_StatusBar, (VARIANT_BOOL*))
    VELMORA_NOTIMPL(put_StatusBar, (VARIANT_BOOL)) VELMORA_NOTIMPL(get_StatusText, (BSTR*))
    VELMORA_NOTIMPL(put_StatusText, (BSTR)) VELMORA_NOTIMPL(get_ToolBar, (int*)) VELMORA_NOTIMPL(put_ToolBar, (int))
    VELMORA_NOTIMPL(get_MenuBar, (VARIANT_BOOL*)) VELMORA_NOTIMPL(put_MenuBar, (VARIANT_BOOL))
    VELMORA_NOTIMPL(get_FullScreen, (VARIANT_BOOL*)) VELMORA_NOTIMPL(put_FullScreen, (VARIANT_BOOL))
    VELMORA_NOTIMPL(Navigate2, (VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
    VELMORA_NOTIMPL(QueryStatusWB, (OLECMDID, OLECMDF*))
    VELMORA_NOTIMPL(ExecWB, (OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*))
    VELMORA_NOTIMPL(ShowBrowserBar, (VARIANT*, VARIANT*, VARIANT*)) VELMORA_NOTIMPL(get_ReadyState, (READYSTATE*))
    VELMORA_NOTIMPL(get_Offline, (VARIANT_BOOL*)) VELMORA_NOTIMPL(put_Offline, (VARIANT_BOOL))
    VELMORA_NOTIMPL(get_Silent, (VARIANT_BOOL*)) VELMORA_NOTIMPL(put_Silent, (VARIANT_BOOL))
    VELMORA_NOTIMPL(get_RegisterAsBrowser, (VARIANT_BOOL*)) VELMORA_NOTIMPL(put_RegisterAsBrowser, (VARIANT_BOOL))
    VELMORA_NOTIMPL(get_RegisterAsDropTarget, (VARIANT_BOOL*))
    VELMORA_NOTIMPL(put_RegisterAsDropTarget, (VARIANT_BOOL)) VELMORA_NOTIMPL(get_TheaterMode, (VARIANT_BOOL*))
    VELMORA_NOTIMPL(put_TheaterMode, (VARIANT_BOOL)) VELMORA_NOTIMPL(get_AddressBar, (VARIANT_BOOL*))
    VELMORA_NOTIMPL(put_AddressBar, (VARIANT_BOOL)) VELMORA_NOTIMPL(get_Resizable, (VARIANT_BOOL*))
    VELMORA_NOTIMPL(put_Resizable, (VARIANT_BOOL))
    VELMORA_NOTIMPL(GetTypeInfoCount, (UINT*)) VELMORA_NOTIMPL(GetTypeInfo, (UINT, LCID, ITypeInfo**))
    VELMORA_NOTIMPL(GetIDsOfNames, (REFIID, LPOLESTR*, UINT, LCID, DISPID*))
};

class FakeBrowserControl final : public IOleObject,
                           public IOleInPlaceObject,
                           public IOleInPlaceActiveObject,
                           public IPersistStreamInit,
                           public IOleControl,
                           public IConnectionPointContainer,
                           public UnusedWebBrowser2 {
public:
    // Step names of `failures`: the method's name ("InitNew", "GetWindow", ...),
    // "DoVerb(-5)" for the in-place activation, "IOleInPlaceObject" for a
    // control that gives no in-place object, "Navigate" for a chapter's load
    // and "Navigate(\"\")" for the empty one.
    FakeBrowserControl(CallLog& log, std::map<std::string, HRESULT> failures)
        : log_(log), failures_(std::move(failures)) {}

    HWND Display() const { return display_; }

    // The control asks its container for another rectangle, as the real one
    // may at any time.
    void AskToMove(const RECT& rect) {
        IOleInPlaceSite* site = nullptr;
        if (site_) site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site));
        if (!site) return;
        log_.push_back("engine asks: OnPosRectChange(" + RectText(rect) + ")");
        site->OnPosRectChange(&rect);
        site->Release();
    }

    // ---- IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject)) *out = static_cast<IOleObject*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceObject) || IsEqualIID(riid, IID_IOleWindow)) {
            if (failures_.count("IOleInPlaceObject")) return E_NOINTERFACE;
            *out = static_cast<IOleInPlaceObject*>(this);
        } else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject)) *out = static_cast<IOleInPlaceActiveObject*>(this);
        else if (IsEqualIID(riid, IID_IPersistStreamInit)) *out = static_cast<IPersistStreamInit*>(this);
        else if (IsEqualIID(riid, IID_IOleControl)) *out = static_cast<IOleControl*>(this);
        else if (IsEqualIID(riid, IID_IConnectionPointContainer)) *out = static_cast<IConnectionPointContainer*>(this);
        else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, __uuidof(IWebBrowser2)))
            *out = static_cast<IWebBrowser2*>(this);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--references_ > 0) return references_;
        log_.push_back("released");
        delete this;
        return 0;
    }

    // ---- IOleObject
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override {
        log_.push_back("GetMiscStatus(" + std::to_string(aspect) + ")");
        return *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE, S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        log_.push_back(site ? "SetClientSite(site)" : "SetClientSite(null)");
        if (HRESULT failed = Refused("SetClientSite")) return failed;
        if (site) site->AddRef();
        if (site_) site_->Release();
        site_ = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
        if (site_) site_->AddRef();
        return *site = site_, S_OK;
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                                     LPCRECT rect) override {
        wchar_t parentClass[64] = L"";
        if (parent) GetClassNameW(parent, parentClass, 64);
        log_.push_back("DoVerb(" + std::to_string(verb) + ", " + (msg ? "message" : "no message") + ", " +
                       (site && site == site_ ? "client site" : "other site") + ", " + std::to_string(index) + ", " +
                       win32::Narrow(std::wstring(parentClass)) + ", " + (rect ? RectText(*rect) : "null") + ")");
        if (HRESULT failed = Refused("DoVerb(" + std::to_string(verb) + ")")) return failed;
        if (verb == OLEIVERB_INPLACEACTIVATE && !display_) {
            display_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_CLIPSIBLINGS, rect->left, rect->top,
                                       rect->right - rect->left, rect->bottom - rect->top, parent, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
            WatchDisplayFocus();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(DWORD save) override {
        log_.push_back("Close(" + std::to_string(save) + ")");
        if (display_) DestroyWindow(display_);
        display_ = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // ---- IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        log_.push_back("GetWindow()");
        *window = nullptr;
        if (HRESULT failed = Refused("GetWindow")) return failed;
        return *window = display_, S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override {
        log_.push_back("SetObjectRects(" + RectText(*position) + ", " + RectText(*clip) + ")");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override {
        log_.push_back("UIDeactivate()");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

    // ---- IOleInPlaceActiveObject: a page with no stop left for Tab, as the
    // control answers past a page's last link.
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override {
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) log_.push_back("TranslateAccelerator(Tab)");
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    // ---- IPersistStreamInit
    HRESULT STDMETHODCALLTYPE InitNew() override {
        log_.push_back("InitNew()");
        return Refused("InitNew");
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

    // ---- IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO*) override {
        log_.push_back("GetControlInfo()");
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override {
        log_.push_back("OnAmbientPropertyChange(" + std::to_string(id) + ")");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL) override { return E_NOTIMPL; }

    // ---- IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        *point = IsEqualIID(riid, IID_IPropertyNotifySink) ? &propertySink_
                 : IsEqualIID(riid, win32::kBrowserEventsId) ? &browserEvents_
                                                              : nullptr;
        return *point ? S_OK : CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }

    // ---- IDispatch, IWebBrowser2
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        const bool put = flags == DISPATCH_PROPERTYPUT && params && params->cArgs == 1 && params->cNamedArgs == 1 &&
                         params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        log_.push_back("Invoke(" + std::to_string(id) + ", " +
                       (put ? "property put " + VariantText(params->rgvarg) : "flags " + std::to_string(flags)) + ")");
        return Refused("Invoke");
    }
    HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT* navFlags, VARIANT* frame, VARIANT* postData,
                                       VARIANT* headers) override {
        const std::string address = url ? win32::Narrow(url, SysStringLen(url)) : std::string();
        log_.push_back("Navigate(\"" + address + "\", " + VariantText(navFlags) + ", " + VariantText(frame) + ", " +
                       VariantText(postData) + ", " + VariantText(headers) + ")");
        return Refused(address.empty() ? "Navigate(\"\")" : "Navigate");
    }
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* visible) override { return *visible = visible_, S_OK; }
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL visible) override {
        log_.push_back(std::string("put_Visible(") + (visible ? "true" : "false") + ")");
        visible_ = visible;
        return S_OK;
    }

private:
    ~FakeBrowserControl() {
        if (site_) site_->Release();
        if (display_) {
            RemovePropW(display_, kFakeControlProperty);
            DestroyWindow(display_);
        }
    }

    // The display writes where the keyboard focus comes and goes.
    void WatchDisplayFocus() {
        if (!display_) return;
        SetPropW(display_, kFakeControlProperty, this);
        displayProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(display_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FakeBrowserControl::DisplayProc)));
    }
    static LRESULT CALLBACK DisplayProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<FakeBrowserControl*>(GetPropW(hwnd, kFakeControlProperty));
        if (!self || !self->displayProc_) return DefWindowProcW(hwnd, msg, wParam, lParam);
        const WNDPROC original = self->displayProc_;
        if (msg == WM_SETFOCUS) self->log_.push_back("display: focus in");
        if (msg == WM_KILLFOCUS) self->log_.push_back("display: focus out");
        if (msg == WM_NCDESTROY) RemovePropW(hwnd, kFakeControlProperty);
        return CallWindowProcW(original, hwnd, msg, wParam, lParam);
    }
    static constexpr const wchar_t* kFakeControlProperty = L"VelmoraFakeControl";

    // The failure planned for this step, with its description left for the
    // caller; S_OK when the step goes through.
    HRESULT Refused(const std::string& step) {
        auto planned = failures_.find(step);
        if (planned == failures_.end()) return S_OK;
        LeaveErrorDescription(step);
        return planned->second;
    }

    CallLog& log_;
    std::map<std::string, HRESULT> failures_;
    ULONG references_ = 1;
    IOleClientSite* site_ = nullptr;
    HWND display_ = nullptr;
    WNDPROC displayProc_ = nullptr;
    VARIANT_BOOL visible_ = VARIANT_FALSE;
    FakeConnectionPoint propertySink_{this, IID_IPropertyNotifySink, "IPropertyNotifySink", log_};
    FakeConnectionPoint browserEvents_{this, win32::kBrowserEventsId, "DWebBrowserEvents2", log_};
};
#undef VELMORA_NOTIMPL

}  // namespace velmora::binding_test
