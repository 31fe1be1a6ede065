#include "WebBrowser.h"

#include "toolkit/controls/Theme.h"
#include "toolkit/controls/WBFactoryService.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/controls/WindowRoot.h"

namespace velmora {

const ClassInfo& TWebBrowser::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TWebBrowser",
        .parent = &TControl::StaticClassInfo(),
        .factory = [](Component* owner) -> Component* { return new TWebBrowser(owner); },
        .isComponent = true,
        .properties =
            {
                prop::String("URL", &TWebBrowser::SetURL),
                prop::Boolean("EnableCaching", &TWebBrowser::SetEnableCaching),
                prop::Event("OnDidStartLoad", &TWebBrowser::OnDidStartLoad),
                prop::Event("OnDidFinishLoad", &TWebBrowser::OnDidFinishLoad),
                prop::Event("OnDidFailLoadWithError", &TWebBrowser::OnDidFailLoadWithError),
                prop::Event("OnShouldStartLoadWithRequest", &TWebBrowser::OnShouldStartLoadWithRequest),
            },
    };
    return info;
}

TWebBrowser::TWebBrowser(Component* owner) : TControl(owner) {
    SetCanFocus(true);
    binding_ = TWBFactoryService::Instance().CreateBinding(*this, enableCaching_);
}

TWebBrowser::~TWebBrowser() {
    BeginDestruction();
    TWBFactoryService::Instance().ReleaseBinding(binding_);
}

std::string TWebBrowser::URL() const { return binding_ ? binding_->CurrentURL() : url_; }

void TWebBrowser::SetURL(const std::string& url) {
    if (url != url_) url_ = url;
    // Every assignment loads, the same address included: choosing a page
    // again is how the reader reloads it.
    EnsureBinding();
    binding_->Navigate(url);
}

bool TWebBrowser::EnableCaching() const { return binding_ ? binding_->Caching() : enableCaching_; }

void TWebBrowser::SetEnableCaching(bool enable) {
    if (enable == enableCaching_) return;
    enableCaching_ = enable;
    if (binding_) binding_->SetCaching(enable);
}

void TWebBrowser::UpdateContentFromControl() {
    if (holdPlacement_ || IsDestroying()) return;
    EnsureBinding();
    binding_->UpdateContentFromControl();
}

void TWebBrowser::EnsureBinding() {
    // Only a failed re-creation leaves the view without one; the next use
    // tries again rather than silently dropping a load.
    if (!binding_) binding_ = TWBFactoryService::Instance().CreateBinding(*this, enableCaching_);
}

void TWebBrowser::RecreateBinding() {
    auto& service = TWBFactoryService::Instance();
    service.ReleaseBinding(binding_);
    binding_ = service.CreateBinding(*this, enableCaching_);
    UpdateContentFromControl();
    binding_->Navigate(url_);
}

void TWebBrowser::AbsoluteChanged() {
    TControl::AbsoluteChanged();
    UpdateContentFromControl();
}

void TWebBrowser::VisibilityChanged() {
    TControl::VisibilityChanged();
    UpdateContentFromControl();
}

void TWebBrowser::ParentChanged() {
    TControl::ParentChanged();
    // While the window is being built the tree is still incomplete; the
    // reader's parent assignments are not moves.
    const IWindowRoot* form = Root();
    if (IsLoading() || IsDestroying() || (form && form->WindowComponent().IsLoading())) return;
    holdPlacement_ = true;
    try {
        if (ParentControl()) {
            SetVisible(savedVisible_);
        } else {
            savedVisible_ = Visible();
            SetVisible(false);
        }
    } catch (...) {
        holdPlacement_ = false;
        throw;
    }
    holdPlacement_ = false;
    UpdateContentFromControl();
}

// ---------------------------------------------------------------- focus

float TWebBrowser::DisplayInset() const { return IsFocused() ? theme::FocusFrameWidth : 0; }

void TWebBrowser::Paint(platform::ICanvas& canvas) {
    if (IsFocused()) theme::DrawFocusFrame(canvas, LocalRect());
}

void TWebBrowser::DoEnter() {
    TControl::DoEnter();
    if (IsDestroying()) return;
    // The frame first: the display moves inside it before it takes the keys.
    UpdateContentFromControl();
    const IWindowRoot* window = Root();
    const TFocusMove move = window ? window->FocusMove() : TFocusMove::Direct;
    if (binding_)
        binding_->TakeFocus(move == TFocusMove::Forward    ? platform::EngineFocusEntry::First
                            : move == TFocusMove::Backward ? platform::EngineFocusEntry::Last
                                                           : platform::EngineFocusEntry::Keep);
}

void TWebBrowser::DoExit() {
    TControl::DoExit();
    if (IsDestroying()) return;
    if (binding_) binding_->ReleaseFocus();
    UpdateContentFromControl();
}

void TWebBrowser::WindowFocusReturned() {
    if (binding_ && !IsDestroying()) binding_->TakeFocus(platform::EngineFocusEntry::Keep);
}

// ---------------------------------------------------------------- accessibility

platform::AccessibleRole TWebBrowser::AccessibleRole() const { return platform::AccessibleRole::Embedded; }
platform::WindowHandle TWebBrowser::AccessibleEmbeddedWindow() const {
    return binding_ ? binding_->Display() : 0;
}

}  // namespace velmora
