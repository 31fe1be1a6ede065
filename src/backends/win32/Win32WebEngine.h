// The system's WebBrowser control, hosted in-process as an OLE control inside
// the main window. This object is the view's engine binding on Windows: it
// owns the control, the container site and the event sink, and the control's
// display window once it is in place.
#pragma once

#include "WinApi.h"

#include <exdisp.h>

#include <memory>
#include <string>

#include "BrowserEventSink.h"
#include "ComHolders.h"
#include "ContainerSite.h"
#include "Win32Platform.h"
#include "backends/native/NativeWebEngine.h"

namespace velmora::win32 {

class Win32WebEngine : public platform::NativeWebEngine, private SiteOwner, private BrowserEventListener {
public:
    // Creates the control through factory (the system's CoCreateInstance or
    // a stand-in); nullptr (and the reason in failure) when it cannot.
    static std::unique_ptr<Win32WebEngine> Create(Win32Platform& platform, const Win32Platform::EngineFactory& factory,
                                                  platform::IWebEngineEvents& events, platform::EngineResult& failure);
    ~Win32WebEngine() override;
    Win32WebEngine(const Win32WebEngine&) = delete;
    Win32WebEngine& operator=(const Win32WebEngine&) = delete;

    platform::EngineResult Initialize() override;
    platform::EngineResult PutSilent(bool silent) override;
    platform::EngineResult Navigate(const std::string& url, std::optional<std::int32_t> flags) override;
    bool GetVisible() override;
    void PutVisible(bool visible) override;
    void DoVerb(platform::EngineVerb verb) override;
    // The control is UI-activated and its window takes the focus; the page
    // itself decides where inside it the keys land (the entry is not told).
    void TakeFocus(platform::EngineFocusEntry entry) override;
    // The main window takes the focus back and the control's UI is deactivated.
    void ReleaseFocus() override;

private:
    Win32WebEngine(Win32Platform& platform, platform::IWebEngineEvents& events, ComPtr<IOleObject> object);

    // NativeWebEngine
    void ActivationTarget(platform::WindowHandle mainWindow, const platform::RectI& bounds) override;
    bool ActivateDisplay(platform::WindowHandle mainWindow, const platform::RectI& bounds,
                         platform::WindowHandle& display) override;
    void CloseEngine() override;
    HWND Display() { return Win32Platform::ToHwnd(DisplayWindow()); }

    // SiteOwner
    HWND ContainerWindow() override { return container_; }
    RECT ControlBounds() override;
    void ControlAsksForRect(const RECT& rect) override;

    // BrowserEventListener
    void OnBeforeNavigate2(const std::string& url) override;
    void OnNavigateComplete2(const std::string& url) override;
    void OnNavigateError(const std::string& url, std::int32_t status) override;
    void OnCommandStateChange(int command, bool enabled) override;

    bool Advise(REFIID events, IUnknown* sink, DWORD& cookie);
    void Unadvise(REFIID events, DWORD& cookie);
    void SubclassDisplay(HWND display);
    void RestoreDisplayProcedure();
    static LRESULT CALLBACK DisplayProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    Win32Platform& platform_;
    // Released in Close, the interfaces taken from the object before the
    // object itself; the site and the sink go last, in the destructor.
    ComPtr<IOleObject> object_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IOleInPlaceActiveObject> activeObject_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IDispatch> dispatch_;
    ComPtr<ContainerSite> site_;
    ComPtr<BrowserEventSink> sink_;
    DWORD propertyCookie_ = 0;
    DWORD eventsCookie_ = 0;
    bool siteSet_ = false;
    HWND container_ = nullptr;
    WNDPROC displayProc_ = nullptr;
    RECT bounds_{0, 0, 0, 0};
};

}  // namespace velmora::win32
