#include "CustomForm.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "toolkit/controls/Theme.h"
#include "toolkit/controls/ToolkitServices.h"
#include "toolkit/core/ComponentRef.h"
#include "base/Exceptions.h"
#include "toolkit/description/FormReader.h"

namespace velmora {

using platform::CurrentPlatform;
using platform::Message;
using platform::MessageKind;

const EnumInfo FormPositionEnum{"TFormPosition",
                                {"Designed", "Default", "DefaultPosOnly", "DefaultSizeOnly", "ScreenCenter",
                                 "DesktopCenter", "MainFormCenter", "OwnerFormCenter"}};
const EnumInfo FormBorderStyleEnum{"TFormBorderStyle", {"None", "Single", "Sizeable", "ToolWindow", "SizeToolWin"}};
const EnumInfo FormStyleEnum{"TFormStyle", {"Normal", "Popup", "StayOnTop"}};
const EnumInfo WindowStateEnum{"TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"}};
const EnumInfo BorderIconEnum{"TBorderIcon", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}};
const EnumInfo CanvasQualityEnum{"TCanvasQuality", {"SystemDefault", "HighPerformance", "HighQuality"}};
const EnumInfo FormFactorDeviceEnum{"TDeviceKind", {"Desktop", "iPhone", "iPad"}};

namespace {

// Sizes convert to pixels by rounding up, so a client area never comes out
// smaller than asked for. The epsilon absorbs float noise such as 368 x 1.25
// landing a hair above 460.
int UnitsToPixels(float units, float scale) {
    double px = static_cast<double>(units) * scale;
    return static_cast<int>(std::ceil(px - 1e-4));
}

int PixelsToWholeUnits(int pixels, float scale) {
    double units = static_cast<double>(pixels) / scale;
    return static_cast<int>(std::ceil(units - 1e-4));
}

}  // namespace

// --- reflection --------------------------------------------------------------

const ClassInfo& TFormFactor::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TFormFactor",
        .parent = &Persistent::StaticClassInfo(),
        .properties = {prop::Integer("Width", &TFormFactor::SetWidth), prop::Integer("Height", &TFormFactor::SetHeight),
                       prop::Set("Devices", FormFactorDeviceEnum, &TFormFactor::SetDevices)}};
    return info;
}

const ClassInfo& TFormBase::StaticClassInfo() {
    static const ClassInfo info{.name = "TFormBase", .parent = &Component::StaticClassInfo(), .isComponent = true};
    return info;
}

// Designer bookkeeping stored with a window: the master style is kept, the
// other designer-only entries are consumed and dropped.
bool ReadFormDefinedProperty(Persistent& object, std::string_view name, IValueReader& reader) {
    auto& form = static_cast<TCustomForm&>(object);
    if (SameText(name, "DesignerMasterStyle")) {
        form.designerMasterStyle_ = static_cast<int>(reader.ReadInteger());
        return true;
    }
    if (name.size() > 8 && SameText(name.substr(0, 8), "Designer")) {
        reader.SkipValue();
        return true;
    }
    return false;
}

const ClassInfo& TCustomForm::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TCustomForm",
        .parent = &TFormBase::StaticClassInfo(),
        .isComponent = true,
        .properties =
            {
                prop::Integer("Left", &TCustomForm::SetLeft),
                prop::Integer("Top", &TCustomForm::SetTop),
                prop::Integer("Width", &TCustomForm::SetWidth),
                prop::Integer("Height", &TCustomForm::SetHeight),
                prop::String("Caption", &TCustomForm::SetCaption),
                prop::Float("ClientHeight", &TCustomForm::SetClientHeight),
                prop::Float("ClientWidth", &TCustomForm::SetClientWidth),
                prop::Object("FormFactor", &TCustomForm::FormFactor),
                prop::Enum("Position", FormPositionEnum, &TCustomForm::SetPosition),
                prop::Enum("BorderStyle", FormBorderStyleEnum, &TCustomForm::SetBorderStyle),
                prop::Set("BorderIcons", BorderIconEnum, &TCustomForm::SetBorderIcons),
                prop::Enum("FormStyle", FormStyleEnum, &TCustomForm::SetFormStyle),
                prop::Enum("WindowState", WindowStateEnum, &TCustomForm::SetWindowState),
                prop::Enum("Quality", CanvasQualityEnum, &TCustomForm::SetQuality),
                prop::Boolean("Visible", &TCustomForm::SetVisible),
            },
        .definedProperties = &ReadFormDefinedProperty};
    return info;
}

const ClassInfo& TForm::StaticClassInfo() {
    static const ClassInfo info{.name = "TForm", .parent = &TCustomForm::StaticClassInfo(), .isComponent = true};
    return info;
}

// --- construction ------------------------------------------------------------

TCustomForm::TCustomForm(Component* owner) : TFormBase(owner), clientArea_(std::make_unique<TWindowClientArea>(*this)) {}

TCustomForm::~TCustomForm() {
    BeginDestruction();
    if (handle_) CurrentPlatform().PublishAccessibleTree(handle_, nullptr);
    // Components go while the form and its client area still exist, so the
    // controls can detach from them.
    DestroyComponents();
    focused_ = captured_ = hovered_ = touchTarget_ = nullptr;
    if (handle_) {
        CurrentPlatform().DestroyNativeWindow(handle_);
        handle_ = 0;
    }
}

void TCustomForm::Create() {
    CreateHandle();
    ReadComponentResources(*this, TFormBase::StaticClassInfo());
    CurrentPlatform().PublishAccessibleTree(handle_, &clientArea_->Accessible());
}

void TCustomForm::CreateHandle() {
    if (handle_) return;
    ApplyPrescan();
    platform::WindowCreateParams params;
    params.kind = platform::WindowKind::Form;
    params.owner = Services().ownerWindow ? Services().ownerWindow() : 0;
    params.title = caption_;
    auto& p = CurrentPlatform();
    handle_ = p.CreateNativeWindow(params, this);
    defaultRect_ = p.GetWindowBounds(handle_);
    platform::SizeI client = p.GetClientSize(handle_);
    clientWidthUnits_ = static_cast<float>(client.width / Scale());
    clientHeightUnits_ = static_cast<float>(client.height / Scale());
    LayoutClientArea();
}

void TCustomForm::ApplyPrescan() {
    static const std::vector<std::string> names{"FormStyle", "BorderStyle", "EnableBorderStyling", "Border.Styling",
                                                "Quality"};
    std::map<std::string, std::string> found =
        PrescanRootProperties(GetClassInfo(), TFormBase::StaticClassInfo(), names);
    for (const auto& [name, value] : found) {
        if (SameText(name, "FormStyle")) {
            if (int v = FormStyleEnum.Find(value); v >= 0) formStyle_ = static_cast<TFormStyle>(v);
        } else if (SameText(name, "BorderStyle")) {
            if (int v = FormBorderStyleEnum.Find(value); v >= 0) borderStyle_ = static_cast<TFormBorderStyle>(v);
        } else if (SameText(name, "Quality")) {
            if (int v = CanvasQualityEnum.Find(value); v >= 0) quality_ = static_cast<TCanvasQuality>(v);
        }
        // Border styling only matters to platforms that draw their own frames.
    }
}

void TCustomForm::Loaded() {
    Component::Loaded();
    LayoutClientArea();
}

// --- bounds ------------------------------------------------------------------

float TCustomForm::Scale() {
    if (scale_ == 0) {
        int dpi = handle_ ? CurrentPlatform().GetWindowDpi(handle_) : 96;
        if (dpi <= 0) dpi = 96;
        scale_ = static_cast<float>(dpi) / 96.0f;
    }
    return scale_;
}

PointF TCustomForm::ToUnits(platform::PointI p) {
    float s = Scale();
    return {static_cast<float>(p.x) / s, static_cast<float>(p.y) / s};
}

float TCustomForm::ClientWidth() const { return clientWidthUnits_; }
float TCustomForm::ClientHeight() const { return clientHeightUnits_; }

void TCustomForm::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (handle_) CurrentPlatform().SetWindowTitle(handle_, caption_);
    if (Services().captionChanged) Services().captionChanged(*this);
    if (clientArea_) clientArea_->AnnounceAccessible(platform::AccessibleChange::Name);
}

void TCustomForm::MarkBoundsChanged(bool location) {
    // Only code that runs after the description and before the first showing
    // counts as an explicit placement.
    if (IsLoading() || !(formState_ & fsWasNotShown)) return;
    (location ? locationChanged_ : sizeChanged_) = true;
}

void TCustomForm::SetLeft(int v) {
    if (left_ == v) return;
    left_ = v;
    MarkBoundsChanged(true);
    if (!IsLoading() && !(formState_ & fsWasNotShown)) ApplyBoundsToWindow();
}

void TCustomForm::SetTop(int v) {
    if (top_ == v) return;
    top_ = v;
    MarkBoundsChanged(true);
    if (!IsLoading() && !(formState_ & fsWasNotShown)) ApplyBoundsToWindow();
}

void TCustomForm::SetWidth(int v) {
    if (width_ == v) return;
    width_ = v;
    MarkBoundsChanged(false);
    if (!IsLoading() && !(formState_ & fsWasNotShown)) ApplyBoundsToWindow();
}

void TCustomForm::SetHeight(int v) {
    if (height_ == v) return;
    height_ = v;
    MarkBoundsChanged(false);
    if (!IsLoading() && !(formState_ & fsWasNotShown)) ApplyBoundsToWindow();
}

void TCustomForm::SetClientWidth(float units) {
    MarkBoundsChanged(false);
    ApplyClientSize(units, clientHeightUnits_);
}

void TCustomForm::SetClientHeight(float units) {
    MarkBoundsChanged(false);
    ApplyClientSize(clientWidthUnits_, units);
}

void TCustomForm::ApplyClientSize(float widthUnits, float heightUnits) {
    if (widthUnits < 0) widthUnits = 0;
    if (heightUnits < 0) heightUnits = 0;
    if (!handle_) {
        clientWidthUnits_ = widthUnits;
        clientHeightUnits_ = heightUnits;
        LayoutClientArea();
        return;
    }
    const float s = Scale();
    platform::SizeI px{UnitsToPixels(widthUnits, s), UnitsToPixels(heightUnits, s)};
    CurrentPlatform().SetClientSize(handle_, px);
    clientWidthUnits_ = static_cast<float>(px.width / static_cast<double>(s));
    clientHeightUnits_ = static_cast<float>(px.height / static_cast<double>(s));
    // The outer size follows from the frame; the position stays what it was
    // (the stored one while loading and before the first showing).
    ReadBoundsBack(!(formState_ & fsWasNotShown));
    LayoutClientArea();
}

void TCustomForm::ApplyBoundsToWindow() {
    if (!handle_) return;
    const float s = Scale();
    CurrentPlatform().SetWindowBounds(
        handle_, {left_, top_, left_ + UnitsToPixels(static_cast<float>(width_), s),
                  top_ + UnitsToPixels(static_cast<float>(height_), s)});
    ReadBoundsBack(true);
    LayoutClientArea();
}

void TCustomForm::ReadBoundsBack(bool withPosition) {
    if (!handle_) return;
    auto& p = CurrentPlatform();
    const float s = Scale();
    platform::RectI r = p.GetWindowBounds(handle_);
    if (withPosition) {
        left_ = r.left;
        top_ = r.top;
    }
    width_ = PixelsToWholeUnits(r.Width(), s);
    height_ = PixelsToWholeUnits(r.Height(), s);
    // Keep the client size in units while the native area still matches it,
    // so repeated read-backs do not drift by rounding.
    platform::SizeI c = p.GetClientSize(handle_);
    if (c.width != UnitsToPixels(clientWidthUnits_, s))
        clientWidthUnits_ = static_cast<float>(c.width / static_cast<double>(s));
    if (c.height != UnitsToPixels(clientHeightUnits_, s))
        clientHeightUnits_ = static_cast<float>(c.height / static_cast<double>(s));
}

void TCustomForm::LayoutClientArea() {
    clientArea_->SetBounds(0, 0, clientWidthUnits_, clientHeightUnits_);
    clientArea_->Realign();
    if (handle_ && !IsDestroying()) CurrentPlatform().InvalidateWindow(handle_);
}

void TCustomForm::ApplyDpi(int dpi) {
    if (dpi <= 0) return;
    const float newScale = static_cast<float>(dpi) / 96.0f;
    if (std::fabs(newScale - Scale()) < 0.0001f) return;
    const float w = clientWidthUnits_, h = clientHeightUnits_;
    scale_ = newScale;
    if (handle_) {
        CurrentPlatform().SetClientSize(handle_, {UnitsToPixels(w, newScale), UnitsToPixels(h, newScale)});
        clientWidthUnits_ = w;
        clientHeightUnits_ = h;
        ReadBoundsBack(true);
    }
    LayoutClientArea();
    NativeViewPlacesChanged(*this);
}

// --- showing and closing -----------------------------------------------------

void TCustomForm::SetVisible(bool visible) {
    if (IsLoading()) {
        // A description may store Visible; the window is shown by its owner
        // once it is complete.
        return;
    }
    if (visible) {
        if (formState_ & fsShowing) return;
        formState_ |= fsShowing;
        struct Clear {
            unsigned& state;
            ~Clear() { state &= ~fsShowing; }
        } clear{formState_};
        if (formState_ & fsWasNotShown) FirstShowing();
        if (handle_) {
            CurrentPlatform().ShowWindow(handle_);
            visible_ = true;
            CurrentPlatform().ActivateWindow(handle_);
        } else {
            visible_ = true;
        }
        formState_ &= ~fsWasNotShown;
    } else {
        if (!visible_) return;
        visible_ = false;
        if (handle_) CurrentPlatform().HideWindow(handle_);
    }
}

void TCustomForm::FirstShowing() {
    TFormPosition mode = position_;
    if (locationChanged_) {
        switch (mode) {
        case TFormPosition::Default: mode = TFormPosition::DefaultSizeOnly; break;
        case TFormPosition::DefaultPosOnly:
        case TFormPosition::ScreenCenter:
        case TFormPosition::DesktopCenter:
        case TFormPosition::MainFormCenter:
        case TFormPosition::OwnerFormCenter: mode = TFormPosition::Designed; break;
        default: break;
        }
    }
    if (sizeChanged_) {
        if (mode == TFormPosition::Default) mode = TFormPosition::DefaultPosOnly;
        else if (mode == TFormPosition::DefaultSizeOnly) mode = TFormPosition::Designed;
    }
    if (!handle_) return;
    const float s = Scale();
    int w = UnitsToPixels(static_cast<float>(width_), s);
    int h = UnitsToPixels(static_cast<float>(height_), s);
    int x = left_, y = top_;
    switch (mode) {
    case TFormPosition::Designed: break;
    case TFormPosition::Default:
        x = defaultRect_.left;
        y = defaultRect_.top;
        w = defaultRect_.Width();
        h = defaultRect_.Height();
        break;
    case TFormPosition::DefaultSizeOnly:
        w = defaultRect_.Width();
        h = defaultRect_.Height();
        break;
    default:
        // DefaultPosOnly, and the centring modes: the platform offers no
        // screen geometry, so the system's own placement is the best centre
        // it can give.
        x = defaultRect_.left;
        y = defaultRect_.top;
        break;
    }
    CurrentPlatform().SetWindowBounds(handle_, {x, y, x + w, y + h});
    ReadBoundsBack(true);
    LayoutClientArea();
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TCustomForm::Close() {
    if (formState_ & fsClosing) return;
    formState_ |= fsClosing;
    struct Clear {
        unsigned& state;
        ~Clear() { state &= ~fsClosing; }
    } clear{formState_};
    if (!CloseQuery()) return;
    TCloseAction action = TCloseAction::caHide;
    DoClose(action);
    if (action == TCloseAction::caNone) return;
    // The main window stays on screen; the application ends around it.
    if (Services().mainFormClosed && Services().mainFormClosed(*this)) return;
    switch (action) {
    case TCloseAction::caHide: SetVisible(false); break;
    case TCloseAction::caFree: {
        // Freed from the queue, never from inside its own message handler.
        // Its owner may free it first; the posted delete then finds nothing.
        ComponentRef<TCustomForm> self(this);
        CurrentPlatform().PostCallback([self] { delete self.Get(); });
        break;
    }
    case TCloseAction::caMinimize: windowState_ = TWindowState::wsMinimized; break;
    default: break;
    }
}

bool TCustomForm::IsActive() const { return handle_ && CurrentPlatform().ActiveWindow() == handle_; }

// --- focus -------------------------------------------------------------------

namespace {

bool IsInside(const TControl* control, const TControl* ancestor) {
    for (const TControl* c = control; c; c = c->ParentControl())
        if (c == ancestor) return true;
    return false;
}

void CollectTabStops(TControl* control, std::vector<TControl*>& out) {
    std::vector<TControl*> children = control->Controls();
    // Negative orders (never set) go after the numbered ones, in child order.
    std::stable_sort(children.begin(), children.end(), [](TControl* a, TControl* b) {
        auto key = [](TControl* c) { return c->TabOrder() < 0 ? INT32_MAX : c->TabOrder(); };
        return key(a) < key(b);
    });
    for (TControl* c : children) {
        if (!c->Visible()) continue;
        if (c->CanFocus() && c->TabStop()) out.push_back(c);
        CollectTabStops(c, out);
    }
}

}  // namespace

std::vector<TControl*> TCustomForm::TabOrderList() {
    std::vector<TControl*> list;
    CollectTabStops(clientArea_.get(), list);
    return list;
}

void TCustomForm::SetFocused(TControl* control) {
    if (control == focused_) return;
    if (control && control->Root() != this) return;
    TControl* old = focused_;
    focused_ = control;
    if (old) {
        old->DoExit();
        old->Repaint();
    }
    if (focused_ == control && control) {
        control->DoEnter();
        control->Repaint();
    }
    AccessibleFocusMayHaveMoved();
}

namespace {
TControl* FindFocusRest(TControl& control) {
    if (!control.Visible() || control.IsDestroying()) return nullptr;
    if (TControl* rest = control.AccessibleFocusRest()) return rest;
    for (TControl* child : control.Controls())
        if (TControl* rest = FindFocusRest(*child)) return rest;
    return nullptr;
}
}  // namespace

TControl* TCustomForm::AccessibleFocus() const {
    if (focused_) return focused_;
    return clientArea_ ? FindFocusRest(*clientArea_) : nullptr;
}

void TCustomForm::AccessibleFocusMayHaveMoved() {
    TControl* now = AccessibleFocus();
    TControl* before = announcedFocus_.Get();
    if (now == before) return;
    announcedFocus_ = now;
    // The loss first: a screen reader speaks the last focus it heard.
    if (before) before->AnnounceAccessible(platform::AccessibleChange::States);
    if (now) now->AnnounceAccessible(platform::AccessibleChange::States);
}

void TCustomForm::SelectNext(bool forward) {
    std::vector<TControl*> list = TabOrderList();
    if (list.empty()) return;
    const int n = static_cast<int>(list.size());
    auto it = std::find(list.begin(), list.end(), focused_);
    int next;
    if (it == list.end()) {
        next = forward ? 0 : n - 1;
    } else {
        int index = static_cast<int>(it - list.begin());
        next = forward ? (index + 1) % n : (index + n - 1) % n;
    }
    TControl* target = list[static_cast<std::size_t>(next)];
    focusMove_ = forward ? TFocusMove::Forward : TFocusMove::Backward;
    struct Reset {
        TFocusMove& move;
        ~Reset() { move = TFocusMove::Direct; }
    } reset{focusMove_};
    // The only tab stop is entered again: a control with stops of its own
    // (the web view's page) starts over at its first or last one.
    if (target == focused_)
        target->DoEnter();
    else
        target->SetFocus();
}

void TCustomForm::ControlRemoved(TControl* control) {
    if (focused_ && IsInside(focused_, control)) SetFocused(nullptr);
    if (captured_ && IsInside(captured_, control)) {
        captured_ = nullptr;
        if (handle_) CurrentPlatform().ReleaseMouseCapture();
    }
    if (hovered_ && IsInside(hovered_, control)) hovered_ = nullptr;
    if (touchTarget_ && IsInside(touchTarget_, control)) touchTarget_ = nullptr;
}

void TCustomForm::ControlHidden(TControl* control) {
    if (focused_ && IsInside(focused_, control)) SetFocused(nullptr);
}

// --- messages ----------------------------------------------------------------

void TCustomForm::OnPaint(platform::ICanvas& canvas) {
    canvas.FillRect({0, 0, clientWidthUnits_, clientHeightUnits_}, theme::FormBackground);
    clientArea_->PaintTree(canvas);
}

void TCustomForm::OnMessage(const Message& message) {
    // The form's own message handling reports its errors itself: a message
    // dispatched from a nested loop (a running page slide waits in one) must
    // not tear down the operation that is waiting there.
    if (!Services().messageFailed) {
        HandleMessage(message);
        return;
    }
    try {
        HandleMessage(message);
    } catch (const Exception&) {
        Services().messageFailed(std::current_exception(), *this);
    }
}

void TCustomForm::HandleMessage(const Message& message) {
    switch (message.kind) {
    case MessageKind::MouseDown:
    case MessageKind::MouseUp:
    case MessageKind::MouseMove:
    case MessageKind::MouseWheel:
    case MessageKind::MouseLeave: RouteMouse(message); break;
    case MessageKind::KeyDown:
    case MessageKind::Char: RouteKey(message); break;
    case MessageKind::TouchBegin:
    case MessageKind::TouchMove:
    case MessageKind::TouchEnd: RouteTouch(message); break;
    case MessageKind::Close: Close(); break;
    case MessageKind::Activate: NativeViewPlacesChanged(*this); break;
    case MessageKind::DpiChanged: ApplyDpi(message.dpi); break;
    case MessageKind::Moved:
        ReadBoundsBack(!(formState_ & fsWasNotShown));
        LayoutClientArea();
        break;
    case MessageKind::FocusIn:
        if (focused_) {
            focused_->Repaint();
            focused_->WindowFocusReturned();
        }
        break;
    case MessageKind::FocusOut:
        if (focused_) focused_->Repaint();
        break;
    default: break;
    }
}

void TCustomForm::RouteMouse(const Message& message) {
    auto& p = CurrentPlatform();
    if (message.kind == MessageKind::MouseLeave) {
        if (!captured_) SetHovered(nullptr);
        return;
    }
    const PointF at = ToUnits(message.point);
    TControl* hit = clientArea_->ObjectAtPoint(at);

    if (message.kind == MessageKind::MouseWheel) {
        bool handled = false;
        for (TControl* c = hit; c && !handled; c = c->ParentControl()) c->MouseWheel(message.shift, message.wheelDelta, handled);
        return;
    }

    // While a control holds the capture it is the only one that hovers.
    SetHovered(captured_ ? (hit == captured_ ? captured_ : nullptr) : hit);

    TControl* target = captured_ ? captured_ : hit;
    if (!target) return;
    const PointF local = target->AbsoluteToLocal(at);
    switch (message.kind) {
    case MessageKind::MouseDown:
        if (!captured_) {
            captured_ = target;
            captureButton_ = message.button;
            if (handle_) p.SetMouseCapture(handle_);
        }
        target->MouseDown(message.button, message.shift, local.x, local.y, message.clickCount);
        break;
    case MessageKind::MouseMove: target->MouseMove(message.shift, local.x, local.y); break;
    case MessageKind::MouseUp:
        if (captured_ && message.button == captureButton_) {
            captured_ = nullptr;
            if (handle_) p.ReleaseMouseCapture();
        }
        target->MouseUp(message.button, message.shift, local.x, local.y);
        // The pointer may have left the control while it held the capture.
        if (!captured_) SetHovered(hit);
        break;
    default: break;
    }
}

void TCustomForm::SetHovered(TControl* control) {
    if (control == hovered_) return;
    TControl* old = hovered_;
    hovered_ = control;
    if (old) old->MouseLeave();
    if (hovered_) hovered_->MouseEnter();
}

void TCustomForm::RouteKey(const Message& message) {
    platform::Key key = message.kind == MessageKind::KeyDown ? message.key : platform::Key::None;
    char32_t character = message.character;
    const unsigned shift = message.shift;
    if (focused_) {
        focused_->KeyDown(key, character, shift);
        if (message.kind == MessageKind::Char) return;
        // The focused control may have gone in its handler; ask the form again.
        for (TControl* c = focused_ ? focused_->ParentControl() : nullptr; c && key != platform::Key::None;
             c = c->ParentControl())
            c->DialogKey(key, shift);
    }
    if (key == platform::Key::Tab && !(shift & (platform::ShiftCtrl | platform::ShiftAlt)))
        SelectNext(!(shift & platform::ShiftShift));
}

void TCustomForm::RouteTouch(const Message& message) {
    const PointF at = ToUnits(message.point);
    switch (message.kind) {
    case MessageKind::TouchBegin:
        touchTarget_ = clientArea_->ObjectAtPoint(at);
        touchStart_ = at;
        touchIsTap_ = true;
        break;
    case MessageKind::TouchMove:
        if (!touchTarget_) break;
        if (std::fabs(at.x - touchStart_.x) > 1.0f || std::fabs(at.y - touchStart_.y) > 1.0f) touchIsTap_ = false;
        touchTarget_->TouchPan(at.x - touchStart_.x, at.y - touchStart_.y);
        break;
    case MessageKind::TouchEnd: {
        TControl* target = touchTarget_;
        touchTarget_ = nullptr;
        if (!target) break;
        if (std::fabs(at.x - touchStart_.x) > 1.0f || std::fabs(at.y - touchStart_.y) > 1.0f) touchIsTap_ = false;
        if (touchIsTap_) {
            PointF local = target->AbsoluteToLocal(at);
            target->Tap(local.x, local.y);
        }
        break;
    }
    default: break;
    }
}

}  // namespace velmora
