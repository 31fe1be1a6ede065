// Top-level windows. A form owns one native window and the root of a control
// tree that fills its client area; its layout comes from its description.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "toolkit/controls/Control.h"
#include "toolkit/controls/WindowClientArea.h"
#include "toolkit/controls/WindowRoot.h"
#include "toolkit/core/Component.h"
#include "toolkit/core/ComponentRef.h"

namespace velmora {

enum class TFormPosition { Designed, Default, DefaultPosOnly, DefaultSizeOnly, ScreenCenter, DesktopCenter, MainFormCenter, OwnerFormCenter };
enum class TFormBorderStyle { None, Single, Sizeable, ToolWindow, SizeToolWin };
enum class TFormStyle { Normal, Popup, StayOnTop };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TCanvasQuality { SystemDefault, HighPerformance, HighQuality };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };

extern const EnumInfo FormPositionEnum;
extern const EnumInfo FormBorderStyleEnum;
extern const EnumInfo FormStyleEnum;
extern const EnumInfo WindowStateEnum;
extern const EnumInfo BorderIconEnum;
extern const EnumInfo CanvasQualityEnum;
extern const EnumInfo FormFactorDeviceEnum;

enum FormStateFlag : unsigned {
    fsWasNotShown = 1,
    fsShowing = 2,
    fsClosing = 4,
};

// Form-factor record: kept, never acted on.
class TFormFactor : public Persistent {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
    void SetWidth(int v) { width_ = v; }
    void SetHeight(int v) { height_ = v; }
    void SetDevices(unsigned v) { devices_ = v; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    unsigned Devices() const { return devices_; }

private:
    int width_ = 0, height_ = 0;
    unsigned devices_ = 0x7;  // Desktop, iPhone, iPad
};

// The toolkit's base of every window class. Descriptions are looked up for
// the classes below it, so it marks where that search stops.
class TFormBase : public Component {
public:
    using Component::Component;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
};

// The form's constructor does only what C++ allows before the most derived
// class exists; Create() then runs the construction steps that need the real
// class (its description, fields and handlers). Application::CreateForm calls
// both.
class TCustomForm : public TFormBase, public platform::IWindowEvents, public IWindowRoot {
public:
    explicit TCustomForm(Component* owner);
    ~TCustomForm() override;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    // Pre-scan, native window (hidden, system default position), description.
    void Create();

    platform::WindowHandle Handle() const override { return handle_; }
    TWindowClientArea& ClientArea() override { return *clientArea_; }

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    float ClientWidth() const;
    float ClientHeight() const;
    void SetClientWidth(float units);
    void SetClientHeight(float units);
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v);
    void SetTop(int v);
    void SetWidth(int v);
    void SetHeight(int v);
    // Device pixels per logical unit.
    float Scale() override;

    TFormPosition Position() const { return position_; }
    void SetPosition(TFormPosition p) { position_ = p; }
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle s) { borderStyle_ = s; }
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle s) { formStyle_ = s; }
    TWindowState WindowState() const { return windowState_; }
    void SetWindowState(TWindowState s) { windowState_ = s; }
    unsigned BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(unsigned icons) { borderIcons_ = icons; }
    TCanvasQuality Quality() const { return quality_; }
    void SetQuality(TCanvasQuality q) { quality_ = q; }
    int DesignerMasterStyle() const { return designerMasterStyle_; }
    TFormFactor& FormFactor() { return formFactor_; }
    unsigned FormState() const { return formState_; }
    // Location and Size bound-change flags (set by code after loading, before the first showing).
    bool LocationChanged() const { return locationChanged_; }
    bool SizeChanged() const { return sizeChanged_; }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Hide() { SetVisible(false); }
    void Show() { SetVisible(true); }
    void Close();
    bool CloseQuery();
    std::function<void(Component* sender, bool& canClose)> OnCloseQuery;
    std::function<void(Component* sender, TCloseAction& action)> OnClose;

    // Keyboard focus inside the form.
    TControl* Focused() const override { return focused_; }
    void SetFocused(TControl* control) override;
    // Moves focus to the next (or previous) control in tab order.
    void SelectNext(bool forward) override;
    TFocusMove FocusMove() const override { return focusMove_; }
    TControl* AccessibleFocus() const override;
    void AccessibleFocusMayHaveMoved() override;
    bool IsActive() const;

    // platform::IWindowEvents
    void OnMessage(const platform::Message& message) override;
    void OnPaint(platform::ICanvas& canvas) override;

    // The control tree tells the form when a control goes away or is hidden,
    // so that focus, capture and hover never point at it.
    void ControlRemoved(TControl* control) override;
    void ControlHidden(TControl* control) override;
    Component& WindowComponent() override { return *this; }
    const Component& WindowComponent() const override { return *this; }
    std::string WindowCaption() const override { return caption_; }
    bool WindowShown() const override { return visible_; }
    bool WindowActive() const override { return IsActive(); }
    // Focusable, visible tab stops in keyboard order.
    std::vector<TControl*> TabOrderList();

    void Loaded() override;

protected:
    // The steps of Create() before the description is read: pre-scan, native
    // window, default rectangle, client area. Create() calls it first.
    void CreateHandle();
    virtual void DoClose(TCloseAction& action);
    void ApplyDpi(int dpi);

private:
    void ReadBoundsBack(bool withPosition);
    void FirstShowing();
    void ApplyPrescan();
    void ApplyClientSize(float widthUnits, float heightUnits);
    void ApplyBoundsToWindow();
    void LayoutClientArea();
    void MarkBoundsChanged(bool location);
    void HandleMessage(const platform::Message& message);
    void RouteMouse(const platform::Message& message);
    // Moves the hover to another control (or none): leave, then enter.
    void SetHovered(TControl* control);
    void RouteKey(const platform::Message& message);
    void RouteTouch(const platform::Message& message);
    PointF ToUnits(platform::PointI p);

    platform::WindowHandle handle_ = 0;
    std::unique_ptr<TWindowClientArea> clientArea_;
    std::string caption_;
    int left_ = 0, top_ = 0, width_ = 640, height_ = 480;
    float clientWidthUnits_ = 0, clientHeightUnits_ = 0;
    float scale_ = 0;  // 0: not fetched yet
    TFormPosition position_ = TFormPosition::DefaultPosOnly;
    TFormBorderStyle borderStyle_ = TFormBorderStyle::Sizeable;
    TFormStyle formStyle_ = TFormStyle::Normal;
    TFormFactor formFactor_;
    unsigned formState_ = fsWasNotShown;
    bool locationChanged_ = false;
    bool sizeChanged_ = false;
    bool visible_ = false;
    platform::RectI defaultRect_;
    TControl* focused_ = nullptr;
    // The control last announced as focused, to tell it that it lost it.
    ComponentRef<TControl> announcedFocus_;
    TFocusMove focusMove_ = TFocusMove::Direct;
    TControl* captured_ = nullptr;
    TControl* hovered_ = nullptr;
    platform::MouseButton captureButton_ = platform::MouseButton::Left;
    TControl* touchTarget_ = nullptr;
    PointF touchStart_;
    bool touchIsTap_ = false;
    TWindowState windowState_ = TWindowState::wsNormal;
    unsigned borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TCanvasQuality quality_ = TCanvasQuality::SystemDefault;
    int designerMasterStyle_ = 0;
    friend bool ReadFormDefinedProperty(Persistent&, std::string_view, IValueReader&);
};

class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
};

}  // namespace velmora
