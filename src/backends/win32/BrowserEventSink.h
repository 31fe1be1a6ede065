// Receives the engine's DWebBrowserEvents2 notifications (a dispatch
// interface) and hands the four the view cares about to its listener.
#pragma once

#include "WinApi.h"

#include <cstdint>
#include <string>

namespace velmora::win32 {

// {34A715A0-6587-11D0-924A-0020AFC7AC4D}
extern const IID kBrowserEventsId;

class BrowserEventListener {
public:
    virtual ~BrowserEventListener() = default;
    virtual void OnBeforeNavigate2(const std::string& url) = 0;
    virtual void OnNavigateComplete2(const std::string& url) = 0;
    virtual void OnNavigateError(const std::string& url, std::int32_t status) = 0;
    virtual void OnCommandStateChange(int command, bool enabled) = 0;
};

class BrowserEventSink : public IDispatch {
public:
    explicit BrowserEventSink(BrowserEventListener* listener) : listener_(listener) {}
    BrowserEventSink(const BrowserEventSink&) = delete;
    BrowserEventSink& operator=(const BrowserEventSink&) = delete;

    void Detach() { listener_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // The text of an event argument (by reference or by value); empty when
    // it holds none.
    static std::string ArgumentText(const VARIANT& argument);
    static std::int32_t ArgumentInteger(const VARIANT& argument);

private:
    virtual ~BrowserEventSink() = default;

    LONG references_ = 1;
    BrowserEventListener* listener_;
};

}  // namespace velmora::win32
