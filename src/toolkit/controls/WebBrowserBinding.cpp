#include "WebBrowserBinding.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/Platform.h"
#include "toolkit/controls/BrowserPlacementRegistry.h"
#include "toolkit/controls/WBFactoryService.h"
#include "toolkit/controls/WebBrowser.h"
#include "base/Exceptions.h"
#include "toolkit/controls/WindowRoot.h"

namespace velmora {

namespace {

constexpr std::string_view FileScheme = "file://";

int RoundHalfToEven(double value) {
    double whole = std::floor(value);
    double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return static_cast<int>(whole);
}

// A control's rectangle in the main window's device pixels, less an inset
// (units) on every side.
platform::RectI DeviceRectOf(const TControl& control, float scale, float inset = 0) {
    RectF r = control.AbsoluteRect();
    r = {r.left + inset, r.top + inset, std::max(r.left + inset, r.right - inset),
         std::max(r.top + inset, r.bottom - inset)};
    double s = scale;
    return {RoundHalfToEven(r.left * s), RoundHalfToEven(r.top * s), RoundHalfToEven(r.right * s),
            RoundHalfToEven(r.bottom * s)};
}

bool Destroying(const Component* component) { return component && component->IsDestroying(); }

}  // namespace

void RaiseEngineError(const platform::EngineResult& result) {
    std::int32_t code = result.code != 0 ? result.code : platform::EngineUnspecifiedFailure;
    if (!result.description.empty()) throw EOleError(result.description, code);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    throw EOleError(FormatMessage("The web engine failed with error code %s", {std::string("0x") + hex}), code);
}

WebBrowserBinding::WebBrowserBinding(TWebBrowser& view, bool caching) : view_(view), caching_(caching) {}

WebBrowserBinding::~WebBrowserBinding() {
    // Normally released through the service already; this keeps a binding
    // that is dropped another way from lingering in the list or registry.
    TWBFactoryService::Instance().Unlist(this);
    BrowserPlacementRegistry::RemoveEverywhere(view_);
    Close();
}

void WebBrowserBinding::CreateEngine() {
    platform::EngineResult failure;
    std::unique_ptr<platform::IWebEngine> engine = platform::CurrentPlatform().CreateWebEngine(*this, failure);
    if (!engine) {
        failure.ok = false;
        RaiseEngineError(failure);
    }
    platform::EngineResult result = engine->Initialize();
    if (!result.ok) RaiseEngineError(result);
    // The engine must never open dialog boxes of its own over the reader.
    result = engine->PutSilent(true);
    if (!result.ok) RaiseEngineError(result);
    engine_ = std::move(engine);
}

void WebBrowserBinding::Close() {
    if (engine_) {
        std::unique_ptr<platform::IWebEngine> engine = std::move(engine_);
        engine->Close();
    }
    display_ = 0;
    mainWindow_ = nullptr;
}

void WebBrowserBinding::Navigate(const std::string& url) {
    if (url != currentUrl_) currentUrl_ = url;
    Load();
}

void WebBrowserBinding::Load() {
    if (!engine_) CreateEngine();
    std::int32_t flags = caching_ ? 0 : (platform::NavNoReadFromCache | platform::NavNoWriteToCache);
    std::string address = currentUrl_;
    if (address.starts_with(FileScheme)) {
        std::string path = address.substr(FileScheme.size());
        std::error_code error;
        std::u8string utf8(path.begin(), path.end());
        if (!std::filesystem::exists(std::filesystem::path(utf8), error))
            throw EFileNotFound("The specified file was not found");
        address = path;
    }
    platform::EngineResult result = engine_->Navigate(address, flags);
    if (!result.ok) RaiseEngineError(result);
}

void WebBrowserBinding::UpdateContentFromControl() {
    // A placement can make the engine or the window system call back into the
    // toolkit (activation realigns every view); such a nested request is
    // folded into one more pass of the outer placement.
    if (placing_) {
        placeAgain_ = true;
        return;
    }
    placing_ = true;
    try {
        int passes = 0;
        do {
            placeAgain_ = false;
            Place();
        } while (placeAgain_ && ++passes < 2);
    } catch (...) {
        placing_ = false;
        throw;
    }
    placing_ = false;
}

void WebBrowserBinding::Place() {
    if (Destroying(&view_)) return;
    // Out of any main window's tree (no parent, or a subtree not attached to
    // a window) there is nowhere to show the engine; a display left from an
    // earlier window must not stay up there.
    IWindowRoot* form = view_.ParentControl() ? view_.Root() : nullptr;
    if (!form) {
        HideDetachedDisplay();
        return;
    }
    if (Destroying(&form->WindowComponent())) return;
    if (!engine_) CreateEngine();
    AttachTo(*form);
    if (display_ == 0 || mainWindow_ != form) return;

    const bool visibleInTree = view_.IsVisibleInTree();
    SetEngineVisible(visibleInTree);

    auto& platform = platform::CurrentPlatform();
    auto& registry = BrowserPlacementRegistry::For(*form);
    const float scale = form->Scale();

    const TControl* host = registry.AncestorWithDisplay(view_);
    const platform::WindowHandle parentWindow = host ? registry.DisplayOf(*host) : form->Handle();
    if (platform.GetParentWindow(display_) != parentWindow)
        platform.SetParentWindow(display_, parentWindow, !registry.HasDisplayBefore(view_));

    const bool shown = std::fabs(view_.Width()) > 0.0001f && std::fabs(view_.Height()) > 0.0001f && visibleInTree;
    if (shown) {
        platform::RectI rect = DeviceRectOf(view_, scale, view_.DisplayInset());
        if (host) {
            platform::RectI origin = DeviceRectOf(*host, scale);
            rect = {rect.left - origin.left, rect.top - origin.top, rect.right - origin.left,
                    rect.bottom - origin.top};
        }
        platform.SetWindowPos(display_, rect, platform::PosMoveSize);
    }
    platform.SetWindowPos(display_, {}, shown ? platform::PosShow : platform::PosHide);
}

void WebBrowserBinding::AttachTo(IWindowRoot& form) {
    if (display_ == 0) {
        CreateDisplay(form);
        return;
    }
    if (mainWindow_ == &form) return;
    // The display moves with the view; the stacking step re-parents it.
    BrowserPlacementRegistry::RemoveEverywhere(view_);
    mainWindow_ = &form;
    BrowserPlacementRegistry::For(form).Add(view_, display_);
}

void WebBrowserBinding::CreateDisplay(IWindowRoot& form) {
    if (form.Handle() == 0) return;
    if (!engine_->InPlaceActivate(form.Handle(), DeviceRectOf(view_, form.Scale())))
        throw EOleError("OLE control activation failed", platform::EngineUnspecifiedFailure);
    platform::WindowHandle display = engine_->DisplayWindow();
    if (display == 0) throw EOleError("Could not obtain OLE control window handle", platform::EngineUnspecifiedFailure);
    display_ = display;
    mainWindow_ = &form;
    BrowserPlacementRegistry::For(form).Add(view_, display_);
    platform::EngineResult result = engine_->Navigate("", std::nullopt);
    if (!result.ok) RaiseEngineError(result);
}

void WebBrowserBinding::SetEngineVisible(bool visible) {
    if (engine_->GetVisible() == visible) return;
    auto& platform = platform::CurrentPlatform();
    // Showing the engine through its verb would otherwise take the activation
    // (and with it the keyboard focus) away from the window that had it.
    const platform::WindowHandle active = platform.ActiveWindow();
    engine_->PutVisible(visible);
    engine_->DoVerb(visible ? platform::EngineVerb::Show : platform::EngineVerb::Hide);
    if (active != 0 && platform.ActiveWindow() != active) platform.ActivateWindow(active);
}

void WebBrowserBinding::HideDetachedDisplay() {
    if (!engine_ || display_ == 0) return;
    SetEngineVisible(false);
    platform::CurrentPlatform().SetWindowPos(display_, {}, platform::PosHide);
}

void WebBrowserBinding::BeforeNavigate2(const std::string& url) {
    currentUrl_ = url;
    if (view_.OnDidStartLoad) view_.OnDidStartLoad(&view_);
}

void WebBrowserBinding::NavigateComplete2(const std::string& url) {
    currentUrl_ = url;
    if (view_.OnDidFinishLoad) view_.OnDidFinishLoad(&view_);
}

void WebBrowserBinding::NavigateError(const std::string&, std::int32_t) {
    if (view_.OnDidFailLoadWithError) view_.OnDidFailLoadWithError(&view_);
}

void WebBrowserBinding::CommandStateChange(int command, bool enabled) {
    if (command == platform::CommandNavigateForward)
        canGoForward_ = enabled;
    else if (command == platform::CommandNavigateBack)
        canGoBack_ = enabled;
}

void WebBrowserBinding::DisplayMouseActivate() {
    if (IWindowRoot* form = view_.Root()) form->SetFocused(&view_);
}

void WebBrowserBinding::TakeFocus(platform::EngineFocusEntry entry) {
    if (engine_ && display_ != 0) engine_->TakeFocus(entry);
}

void WebBrowserBinding::ReleaseFocus() {
    if (engine_ && display_ != 0) engine_->ReleaseFocus();
}

void WebBrowserBinding::DisplayFocused() {
    IWindowRoot* form = view_.Root();
    if (form && form->Focused() != &view_) view_.SetFocus();
}

void WebBrowserBinding::DisplayFocusLeaving(bool forward) {
    // A late notice, after the focus went elsewhere by other means, moves
    // nothing.
    IWindowRoot* form = view_.Root();
    if (form && (form->Focused() == &view_ || form->Focused() == nullptr)) form->SelectNext(forward);
}

}  // namespace velmora
