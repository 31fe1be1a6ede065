#include "WinApi.h"

#include "Win32WebEngine.h"

#include "ComHolders.h"
#include "TextConversion.h"
#include "Win32Platform.h"

namespace velmora::win32 {

namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}
const CLSID kWebBrowserClass = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
const IID kWebBrowser2Id = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

constexpr DISPID kSilentProperty = 551;
constexpr const wchar_t* kEngineProperty = L"VelmoraWebEngine";

// The engine's own description of a failure where it left one, else the
// system's wording of the code.
platform::EngineResult FailureOf(HRESULT result) {
    platform::EngineResult failure = platform::EngineFailure(static_cast<std::int32_t>(result));
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) == S_OK && info) {
        BStr description;
        if (SUCCEEDED(info->GetDescription(description.Out())) && description)
            failure.description = Narrow(description.Get(), SysStringLen(description.Get()));
    }
    if (failure.description.empty()) failure.description = SystemMessage(static_cast<std::uint32_t>(result));
    return failure;
}

VARIANT Missing() {
    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    return missing;
}

bool IsInside(HWND window, HWND ancestor) { return window && ancestor && (window == ancestor || IsChild(ancestor, window)); }

}  // namespace

std::unique_ptr<Win32WebEngine> Win32WebEngine::Create(Win32Platform& platform,
                                                       const Win32Platform::EngineFactory& factory,
                                                       platform::IWebEngineEvents& events,
                                                       platform::EngineResult& failure) {
    ComPtr<IOleObject> object;
    const HRESULT result = factory(kWebBrowserClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                   IID_IOleObject, reinterpret_cast<void**>(object.GetAddressOf()));
    if (FAILED(result) || !object) {
        failure = FailureOf(FAILED(result) ? result : E_NOINTERFACE);
        return nullptr;
    }
    failure = {};
    return std::unique_ptr<Win32WebEngine>(new Win32WebEngine(platform, events, std::move(object)));
}

Win32WebEngine::Win32WebEngine(Win32Platform& platform, platform::IWebEngineEvents& events,
                               ComPtr<IOleObject> object)
    : NativeWebEngine(platform, events), platform_(platform), object_(std::move(object)) {
    // Both are born with one reference, which becomes ours.
    site_.Attach(new ContainerSite(this));
    sink_.Attach(new BrowserEventSink(this));
}

Win32WebEngine::~Win32WebEngine() {
    Close();
    site_->Detach();
    site_.Reset();
    sink_->Detach();
    sink_.Reset();
}

platform::EngineResult Win32WebEngine::Initialize() {
    if (!object_) return FailureOf(E_UNEXPECTED);
    DWORD status = 0;
    object_->GetMiscStatus(DVASPECT_CONTENT, &status);
    if (status & OLEMISC_SETCLIENTSITEFIRST) {
        const HRESULT result = object_->SetClientSite(static_cast<IOleClientSite*>(site_.Get()));
        if (FAILED(result)) return FailureOf(result);
        siteSet_ = true;
    }
    ComPtr<IPersistStreamInit> persist;
    object_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(persist.GetAddressOf()));
    if (!siteSet_) {
        const HRESULT result = object_->SetClientSite(static_cast<IOleClientSite*>(site_.Get()));
        if (FAILED(result)) return FailureOf(result);
        siteSet_ = true;
    }
    if (persist) {
        const HRESULT result = persist->InitNew();
        persist.Reset();
        if (FAILED(result)) return FailureOf(result);
    }
    ComPtr<IOleControl> control;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(control.GetAddressOf()))) &&
        control) {
        CONTROLINFO info{};
        info.cb = sizeof info;
        control->GetControlInfo(&info);
    }
    object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch_.ReleaseAndGetAddressOf()));
    Advise(IID_IPropertyNotifySink, static_cast<IPropertyNotifySink*>(site_.Get()), propertyCookie_);
    // Without its events the view would never learn the current address.
    if (!Advise(kBrowserEventsId, static_cast<IDispatch*>(sink_.Get()), eventsCookie_))
        return FailureOf(CONNECT_E_CANNOTCONNECT);
    if (control) control->OnAmbientPropertyChange(DISPID_UNKNOWN);
    const HRESULT result = object_->QueryInterface(kWebBrowser2Id, reinterpret_cast<void**>(browser_.ReleaseAndGetAddressOf()));
    if (FAILED(result) || !browser_) return FailureOf(FAILED(result) ? result : E_NOINTERFACE);
    return {};
}

bool Win32WebEngine::Advise(REFIID events, IUnknown* sink, DWORD& cookie) {
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(object_->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(container.GetAddressOf()))) ||
        !container)
        return false;
    ComPtr<IConnectionPoint> point;
    return SUCCEEDED(container->FindConnectionPoint(events, point.GetAddressOf())) && point &&
           SUCCEEDED(point->Advise(sink, &cookie));
}

void Win32WebEngine::Unadvise(REFIID events, DWORD& cookie) {
    if (!cookie || !object_) return;
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(object_->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(container.GetAddressOf()))) &&
        container) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(events, point.GetAddressOf())) && point) point->Unadvise(cookie);
    }
    cookie = 0;
}

platform::EngineResult Win32WebEngine::PutSilent(bool silent) {
    if (!dispatch_) return FailureOf(E_NOINTERFACE);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = silent ? VARIANT_TRUE : VARIANT_FALSE;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = &value;
    params.cArgs = 1;
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
    const HRESULT result = dispatch_->Invoke(kSilentProperty, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                             &params, nullptr, nullptr, nullptr);
    if (FAILED(result)) return FailureOf(result);
    return {};
}

void Win32WebEngine::ActivationTarget(platform::WindowHandle mainWindow, const platform::RectI& bounds) {
    container_ = Win32Platform::ToHwnd(mainWindow);
    bounds_ = RECT{bounds.left, bounds.top, bounds.right, bounds.bottom};
}

bool Win32WebEngine::ActivateDisplay(platform::WindowHandle, const platform::RectI&, platform::WindowHandle& display) {
    if (!object_) return false;
    HRESULT result = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_.Get()), 0,
                                     container_, &bounds_);
    if (FAILED(result)) return false;
    if (FAILED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace_.ReleaseAndGetAddressOf()))) || !inPlace_)
        return false;
    HWND window = nullptr;
    if (SUCCEEDED(inPlace_->GetWindow(&window)) && window) {
        display = Win32Platform::ToHandle(window);
        SubclassDisplay(window);
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(activeObject_.ReleaseAndGetAddressOf()))) &&
            activeObject_)
            platform_.AddKeyboardTarget(window, activeObject_.Get());
    }
    return true;
}

platform::EngineResult Win32WebEngine::Navigate(const std::string& url, std::optional<std::int32_t> flags) {
    if (!browser_) return FailureOf(E_UNEXPECTED);
    const std::wstring wide = Widen(url);
    const BStr address(wide.data(), static_cast<UINT>(wide.size()));
    if (!address) return FailureOf(E_OUTOFMEMORY);
    VARIANT flagsArgument = Missing();
    if (flags) {
        flagsArgument.vt = VT_I4;
        flagsArgument.lVal = static_cast<LONG>(*flags);
    }
    VARIANT frame = Missing(), postData = Missing(), headers = Missing();
    const HRESULT result = browser_->Navigate(address.Get(), &flagsArgument, &frame, &postData, &headers);
    if (FAILED(result)) return FailureOf(result);
    return {};
}

bool Win32WebEngine::GetVisible() {
    if (!browser_) return false;
    VARIANT_BOOL visible = VARIANT_FALSE;
    if (FAILED(browser_->get_Visible(&visible))) return false;
    return visible != VARIANT_FALSE;
}

void Win32WebEngine::PutVisible(bool visible) {
    if (browser_) browser_->put_Visible(visible ? VARIANT_TRUE : VARIANT_FALSE);
}

void Win32WebEngine::DoVerb(platform::EngineVerb verb) {
    if (!object_) return;
    HWND display = Display();
    HWND active = GetActiveWindow();
    HWND focus = GetFocus();
    const LONG id = verb == platform::EngineVerb::Show ? OLEIVERB_SHOW : OLEIVERB_HIDE;
    RECT bounds = ControlBounds();
    object_->DoVerb(id, nullptr, static_cast<IOleClientSite*>(site_.Get()), 0, container_, &bounds);
    // The verbs activate the control and pull the keyboard into it; the
    // window that was active keeps the activation and takes the focus.
    if (active && IsWindow(active) && GetActiveWindow() != active) SetActiveWindow(active);
    HWND now = GetFocus();
    if (verb == platform::EngineVerb::Show) {
        if (IsInside(now, display) && !IsInside(focus, display)) SetFocus(focus && IsWindow(focus) ? focus : active);
    } else if (!now || IsInside(now, display)) {
        if (container_ && IsWindow(container_)) SetFocus(container_);
    }
}

void Win32WebEngine::TakeFocus(platform::EngineFocusEntry) {
    HWND display = Display();
    if (!object_ || !display || !IsWindowVisible(display)) return;
    RECT bounds = ControlBounds();
    object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(site_.Get()), 0, container_, &bounds);
    // The control normally puts the focus into its document window itself.
    if (!IsInside(GetFocus(), display)) SetFocus(display);
}

void Win32WebEngine::ReleaseFocus() {
    HWND display = Display();
    if (!display) return;
    if (IsInside(GetFocus(), display) && container_ && IsWindow(container_)) SetFocus(container_);
    if (inPlace_) inPlace_->UIDeactivate();
}

RECT Win32WebEngine::ControlBounds() {
    // The toolkit moves the display with SetWindowPos on every placement; the
    // display's own rectangle is therefore the control's current place.
    HWND display = Display();
    if (display && IsWindow(display)) {
        RECT rect{};
        HWND parent = GetAncestor(display, GA_PARENT);
        if (parent && GetWindowRect(display, &rect)) {
            MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
            bounds_ = rect;
        }
    }
    return bounds_;
}

void Win32WebEngine::ControlAsksForRect(const RECT& rect) {
    bounds_ = rect;
    if (!inPlace_) return;
    RECT clip{0, 0, 32767, 32767};
    inPlace_->SetObjectRects(&rect, &clip);
}

void Win32WebEngine::CloseEngine() {
    if (!object_) return;
    if (HWND display = Display()) platform_.RemoveKeyboardTarget(display);
    object_->Close(OLECLOSE_NOSAVE);
    Unadvise(IID_IPropertyNotifySink, propertyCookie_);
    Unadvise(kBrowserEventsId, eventsCookie_);
    RestoreDisplayProcedure();
    if (siteSet_) object_->SetClientSite(nullptr);
    siteSet_ = false;
    activeObject_.Reset();
    inPlace_.Reset();
    browser_.Reset();
    dispatch_.Reset();
    object_.Reset();
    container_ = nullptr;
}

// ---------------------------------------------------------------- the display window

void Win32WebEngine::SubclassDisplay(HWND display) {
    if (displayProc_) return;
    SetPropW(display, kEngineProperty, this);
    displayProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(display, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32WebEngine::DisplayProc)));
    if (!displayProc_) RemovePropW(display, kEngineProperty);
}

void Win32WebEngine::RestoreDisplayProcedure() {
    HWND display = Display();
    if (!display || !displayProc_) return;
    if (IsWindow(display)) {
        SetWindowLongPtrW(display, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(displayProc_));
        RemovePropW(display, kEngineProperty);
    }
    displayProc_ = nullptr;
}

LRESULT CALLBACK Win32WebEngine::DisplayProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* engine = static_cast<Win32WebEngine*>(GetPropW(hwnd, kEngineProperty));
    if (!engine || !engine->displayProc_) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const WNDPROC original = engine->displayProc_;
    if (msg == WM_MOUSEACTIVATE) {
        engine->ReportMouseActivate();
    } else if (msg == WM_NCDESTROY) {
        // Destroyed under the engine (its parent went first): hand the window
        // its procedure back while it still exists.
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(hwnd, kEngineProperty);
        engine->displayProc_ = nullptr;
        engine->platform_.RemoveKeyboardTarget(hwnd);
    }
    return CallWindowProcW(original, hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------- notifications

void Win32WebEngine::OnBeforeNavigate2(const std::string& url) { ReportBeforeNavigate(url); }

void Win32WebEngine::OnNavigateComplete2(const std::string& url) { ReportNavigateComplete(url); }

void Win32WebEngine::OnNavigateError(const std::string& url, std::int32_t status) { ReportNavigateError(url, status); }

void Win32WebEngine::OnCommandStateChange(int command, bool enabled) { ReportCommandState(command, enabled); }

}  // namespace velmora::win32
