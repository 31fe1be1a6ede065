#include "WinApi.h"

#include "BrowserEventSink.h"

#include "TextConversion.h"

namespace velmora::win32 {

const IID kBrowserEventsId = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

namespace {

constexpr DISPID kBeforeNavigate2 = 250;
constexpr DISPID kNavigateComplete2 = 252;
constexpr DISPID kNavigateError = 271;
constexpr DISPID kCommandStateChange = 105;

// Arguments arrive last first: index i of an event with n arguments is
// rgvarg[n - 1 - i].
const VARIANT* Argument(const DISPPARAMS* params, UINT index) {
    if (!params || !params->rgvarg || index >= params->cArgs) return nullptr;
    return &params->rgvarg[params->cArgs - 1 - index];
}

const VARIANT& Dereferenced(const VARIANT& argument) {
    if (argument.vt == (VT_BYREF | VT_VARIANT) && argument.pvarVal) return *argument.pvarVal;
    return argument;
}

}  // namespace

HRESULT BrowserEventSink::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kBrowserEventsId)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG BrowserEventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG BrowserEventSink::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT BrowserEventSink::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT BrowserEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT BrowserEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }

std::string BrowserEventSink::ArgumentText(const VARIANT& argument) {
    const VARIANT& value = Dereferenced(argument);
    if (value.vt == VT_BSTR) return value.bstrVal ? Narrow(value.bstrVal, SysStringLen(value.bstrVal)) : std::string();
    if (value.vt == (VT_BYREF | VT_BSTR) && value.pbstrVal && *value.pbstrVal)
        return Narrow(*value.pbstrVal, SysStringLen(*value.pbstrVal));
    VARIANT converted;
    VariantInit(&converted);
    std::string text;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, VT_BSTR)) && converted.bstrVal)
        text = Narrow(converted.bstrVal, SysStringLen(converted.bstrVal));
    VariantClear(&converted);
    return text;
}

std::int32_t BrowserEventSink::ArgumentInteger(const VARIANT& argument) {
    const VARIANT& value = Dereferenced(argument);
    if (value.vt == VT_I4) return static_cast<std::int32_t>(value.lVal);
    if (value.vt == (VT_BYREF | VT_I4) && value.plVal) return static_cast<std::int32_t>(*value.plVal);
    if (value.vt == VT_BOOL) return value.boolVal != VARIANT_FALSE ? 1 : 0;
    VARIANT converted;
    VariantInit(&converted);
    std::int32_t number = 0;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, VT_I4)))
        number = static_cast<std::int32_t>(converted.lVal);
    VariantClear(&converted);
    return number;
}

HRESULT BrowserEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    if (!listener_) return S_OK;
    switch (id) {
    case kBeforeNavigate2: {
        // (window, URL, flags, target frame, post data, headers, cancel):
        // cancel is left alone, so every navigation goes ahead.
        const VARIANT* url = Argument(params, 1);
        listener_->OnBeforeNavigate2(url ? ArgumentText(*url) : std::string());
        break;
    }
    case kNavigateComplete2: {
        const VARIANT* url = Argument(params, 1);
        listener_->OnNavigateComplete2(url ? ArgumentText(*url) : std::string());
        break;
    }
    case kNavigateError: {
        // (window, URL, frame, status code, cancel)
        const VARIANT* url = Argument(params, 1);
        const VARIANT* status = Argument(params, 3);
        listener_->OnNavigateError(url ? ArgumentText(*url) : std::string(), status ? ArgumentInteger(*status) : 0);
        break;
    }
    case kCommandStateChange: {
        const VARIANT* command = Argument(params, 0);
        const VARIANT* enabled = Argument(params, 1);
        if (command && enabled)
            listener_->OnCommandStateChange(ArgumentInteger(*command), ArgumentInteger(*enabled) != 0);
        break;
    }
    default: break;  // every other engine event is of no interest
    }
    return S_OK;
}

}  // namespace velmora::win32
