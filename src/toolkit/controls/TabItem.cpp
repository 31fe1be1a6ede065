#include "TabItem.h"

#include <algorithm>

#include "toolkit/controls/TabControl.h"
#include "toolkit/controls/TabItemContent.h"
#include "toolkit/controls/TabStrip.h"
#include "toolkit/controls/Theme.h"

namespace velmora {

// ---------------------------------------------------------------------------
// Icon slots

const ClassInfo& TTabIconSlot::StaticClassInfo() {
    static const ClassInfo info{.name = "TTabIconSlot", .parent = &CollectionItem::StaticClassInfo()};
    return info;
}

const ClassInfo& TTabIconSlots::StaticClassInfo() {
    static const ClassInfo info{.name = "TTabIconSlots", .parent = &Collection::StaticClassInfo()};
    return info;
}

bool TTabIconSlots::HasImage() const {
    for (int i = 0; i < Count(); ++i)
        if (static_cast<const TTabIconSlot&>(Item(i)).HasImage()) return true;
    return false;
}

std::unique_ptr<CollectionItem> TTabIconSlots::CreateItem() { return std::make_unique<TTabIconSlot>(*this); }

// ---------------------------------------------------------------------------
// Stored names that are not published properties of a page.

bool ReadTabItemDefinedProperty(Persistent& object, std::string_view name, IValueReader& reader) {
    auto& page = static_cast<TTabItem&>(object);
    if (SameText(name, "ExplicitSize.cx")) {
        page.SetExplicitWidth(static_cast<float>(reader.ReadFloat()));
        return true;
    }
    if (SameText(name, "ExplicitSize.cy")) {
        page.SetExplicitHeight(static_cast<float>(reader.ReadFloat()));
        return true;
    }
    // Designer placement of a header: the strip places headers itself. A
    // stored Position.X/Y normally reaches the published Position; this only
    // answers when the name arrives whole.
    if (SameText(name, "Position.X") || SameText(name, "Position.Y")) {
        (void)reader.ReadFloat();
        return true;
    }
    return false;
}

const ClassInfo& TTabItem::StaticClassInfo() {
    static const ClassInfo info{
        .name = "TTabItem",
        .parent = &TControl::StaticClassInfo(),
        .factory = [](Component* owner) -> Component* { return new TTabItem(owner); },
        .isComponent = true,
        .properties =
            {
                prop::String("Text", &TTabItem::SetText),
                prop::Boolean("IsSelected", &TTabItem::SetIsSelected),
                prop::Object("CustomIcon", &TTabItem::CustomIcon),
                prop::String("StyleLookup", &TTabItem::SetStyleLookup),
                prop::Boolean("AutoSize", &TTabItem::SetAutoSize),
            },
        .definedProperties = &ReadTabItemDefinedProperty,
    };
    return info;
}

TTabItem::TTabItem(Component* owner) : TControl(owner), content_(std::make_unique<TTabItemContent>(*this)) {
    SetCanFocus(true);
    // Headers take the focus by a press or from the page keys; Tab and
    // Shift+Tab stay inside the active page.
    SetTabStop(false);
    // The tab control shows the content when the page becomes active.
    content_->SetVisible(false);
    platform::SizeF size = HeaderSize();
    SetBounds(0, 0, size.width, size.height);
}

TTabItem::~TTabItem() {
    // Leave the strip while this is still a page, so the tab control hears of it.
    SetParent(nullptr);
    DetachContent();
    content_.reset();
}

TTabControl* TTabItem::TabControl() const {
    auto* strip = dynamic_cast<TTabStrip*>(ParentControl());
    return strip ? &strip->TabControl() : nullptr;
}

int TTabItem::Index() const {
    TTabControl* tabControl = TabControl();
    return tabControl ? tabControl->IndexOf(this) : -1;
}

void TTabItem::SetText(const std::string& text) {
    if (text_ == text) return;
    text_ = text;
    HeaderChanged();
    AnnounceAccessible(platform::AccessibleChange::Name);
}

void TTabItem::SetIsSelected(bool selected) {
    TTabControl* tabControl = TabControl();
    if (selected && tabControl && tabControl->ActiveTab() != this) {
        tabControl->SetActiveTab(this);
        // The tab control selects the page it makes active; an index it
        // refused still leaves the stored flag as read.
        if (!isSelected_) SetSelectedLook(true);
        return;
    }
    SetSelectedLook(selected);
}

void TTabItem::SetSelectedLook(bool selected) {
    if (isSelected_ == selected) return;
    isSelected_ = selected;
    Repaint();
    AnnounceAccessible(platform::AccessibleChange::States);
}

void TTabItem::SetStyleLookup(const std::string& style) {
    styleLookup_ = style;
    Repaint();
}

void TTabItem::SetAutoSize(bool autoSize) {
    if (autoSize_ == autoSize) return;
    autoSize_ = autoSize;
    HeaderChanged();
}

void TTabItem::SetExplicitWidth(float cx) {
    explicitWidth_ = cx;
    hasExplicitWidth_ = true;
    if (!autoSize_) HeaderChanged();
}

void TTabItem::SetExplicitHeight(float cy) {
    explicitHeight_ = cy;
    hasExplicitHeight_ = true;
    if (!autoSize_) HeaderChanged();
}

platform::SizeF TTabItem::HeaderSize() const {
    if (autoSize_) return theme::HeaderSizeFor(text_);
    return {hasExplicitWidth_ ? explicitWidth_ : Width(), hasExplicitHeight_ ? explicitHeight_ : Height()};
}

void TTabItem::HeaderChanged() {
    if (TTabControl* tabControl = TabControl()) tabControl->HeaderChanged();
    Repaint();
}

// --- attachment --------------------------------------------------------------

TControl* TTabItem::ContainerFor(TControl* child) {
    if (child == content_.get()) return this;
    return content_.get();
}

void TTabItem::ParentChanged() {
    TControl::ParentChanged();
    TTabControl* tabControl = TabControl();
    if (tabControl == attachedTo_) return;
    DetachContent();
    if (tabControl) AttachContent();
}

void TTabItem::AttachContent() {
    TTabControl* tabControl = TabControl();
    if (IsLoading()) content_->SetLoading();
    attachedTo_ = tabControl;
    content_->SetParent(tabControl);
    tabControl->PageAttached(*this);
}

void TTabItem::DetachContent() {
    TTabControl* tabControl = attachedTo_;
    if (!tabControl) return;
    attachedTo_ = nullptr;
    content_->AbandonMovement();
    content_->SetParent(nullptr);
    tabControl->PageDetached(*this);
}

void TTabItem::VisibilityChanged() {
    TControl::VisibilityChanged();
    if (Visible() == lastVisible_) return;
    lastVisible_ = Visible();
    HeaderChanged();
}

void TTabItem::Loaded() {
    TControl::Loaded();
    content_->Loaded();
    if (TTabControl* tabControl = TabControl()) SetSelectedLook(Index() == tabControl->TabIndex());
    if (!hasExplicitWidth_) {
        explicitWidth_ = Width();
        hasExplicitWidth_ = true;
    }
    if (!hasExplicitHeight_) {
        explicitHeight_ = Height();
        hasExplicitHeight_ = true;
    }
}

// --- input -----------------------------------------------------------------

void TTabItem::MouseDown(platform::MouseButton button, unsigned shift, float x, float y, int clickCount) {
    TControl::MouseDown(button, shift, x, y, clickCount);
    if (button != platform::MouseButton::Left) return;
    if (TTabControl* tabControl = TabControl()) tabControl->HeaderPressed(*this);
}

void TTabItem::Tap(float x, float y) {
    TControl::Tap(x, y);
    if (TTabControl* tabControl = TabControl()) tabControl->HeaderPressed(*this);
}

void TTabItem::TouchPan(float dx, float dy) {
    if (TTabControl* tabControl = TabControl()) tabControl->Strip().TouchPan(dx, dy);
}

void TTabItem::KeyDown(platform::Key& key, char32_t& character, unsigned shift) {
    TControl::KeyDown(key, character, shift);
    if (TTabControl* tabControl = TabControl()) tabControl->HeaderKey(*this, key, shift);
}

void TTabItem::MouseEnter() {
    hovered_ = true;
    Repaint();
}

void TTabItem::MouseLeave() {
    hovered_ = false;
    Repaint();
}

void TTabItem::DoEnter() { Repaint(); }

void TTabItem::DoExit() { Repaint(); }

// --- painting --------------------------------------------------------------

void TTabItem::Paint(platform::ICanvas& canvas) {
    const RectF rect = LocalRect();
    const platform::Color face = isSelected_ ? theme::TabHeaderFaceSelected
                                 : hovered_  ? theme::TabHeaderFaceHover
                                             : theme::TabHeaderFace;
    canvas.FillRect(rect, face);

    TTabControl* tabControl = TabControl();
    const bool stripAtBottom = tabControl && tabControl->EffectiveTabPosition() == TTabPosition::Bottom;
    if (isSelected_) {
        const float mark = theme::TabSelectedMarkHeight;
        RectF bar = stripAtBottom ? RectF{rect.left, rect.top, rect.right, rect.top + mark}
                                  : RectF{rect.left, rect.bottom - mark, rect.right, rect.bottom};
        canvas.FillRect(bar, theme::Accent);
    } else {
        float y = stripAtBottom ? rect.top + 0.5f : rect.bottom - 0.5f;
        canvas.DrawLine(rect.left, y, rect.right, y, theme::Separator, 1);
    }

    RectF textRect = rect;
    if (ShowsIcon()) {
        // The icon sits left of the caption; the slots' images are drawn by
        // the platform's image support, the toolkit keeps their room.
        const float iconSize = 16;
        RectF icon{rect.left + theme::TabHeaderPaddingX / 2, rect.top + (rect.Height() - iconSize) / 2, 0, 0};
        icon.right = icon.left + iconSize;
        icon.bottom = icon.top + iconSize;
        canvas.StrokeRect(icon, theme::Separator, 1, 2);
        textRect.left = icon.right;
    }
    if (!text_.empty()) {
        canvas.Save();
        canvas.ClipRect(rect);
        canvas.DrawText(textRect, text_, theme::UiFont(),
                        isSelected_ ? theme::TabHeaderTextSelected : theme::TabHeaderText,
                        platform::TextHCenter | platform::TextVCenter);
        canvas.Restore();
    }
    if (IsFocused()) theme::DrawFocusRing(canvas, rect, 2);
}

// ---------------------------------------------------------------- accessibility

platform::AccessibleRole TTabItem::AccessibleRole() const { return platform::AccessibleRole::PageTab; }
std::string TTabItem::AccessibleName() const { return Text(); }
unsigned TTabItem::AccessibleStates() const {
    unsigned states = TControl::AccessibleStates() | platform::AccessibleSelectable;
    if (IsSelected()) states |= platform::AccessibleSelected;
    return states;
}
std::vector<std::string> TTabItem::AccessibleActions() const { return {"click"}; }
void TTabItem::DoAccessibleAction(int index) {
    if (index != 0) return;
    // Exactly what a left press on the header does.
    if (TTabControl* tabControl = TabControl()) tabControl->HeaderPressed(*this);
}
std::vector<TControl*> TTabItem::AccessibleChildren() const { return {content_.get()}; }

}  // namespace velmora
