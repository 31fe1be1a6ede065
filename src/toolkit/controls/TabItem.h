// A page of a tab control. The page itself is its header in the tab
// control's header strip; its children go into its content area, which the
// tab control shows in the page area below the strip.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "toolkit/controls/Control.h"
#include "toolkit/core/Component.h"

namespace velmora {

class TTabControl;
class TTabItemContent;
class TTabStrip;

// One image slot of a header's custom icon set.
class TTabIconSlot : public CollectionItem {
public:
    using CollectionItem::CollectionItem;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    bool HasImage() const { return !image_.empty(); }
    const std::vector<std::uint8_t>& Image() const { return image_; }
    void SetImage(std::vector<std::uint8_t> image) { image_ = std::move(image); }

private:
    std::vector<std::uint8_t> image_;
};

// The custom icon set of a header.
class TTabIconSlots : public Collection {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
    // A header shows an icon only when some slot holds an image.
    bool HasImage() const;

protected:
    std::unique_ptr<CollectionItem> CreateItem() override;
};

class TTabItem : public TControl {
public:
    explicit TTabItem(Component* owner);
    ~TTabItem() override;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    // The tab control whose header strip holds this page, if any.
    TTabControl* TabControl() const;
    // Index among the tab control's pages, or -1.
    int Index() const;
    TTabItemContent& Content() const { return *content_; }

    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool IsSelected() const { return isSelected_; }
    // Selecting a page makes it the active page of its tab control at once.
    void SetIsSelected(bool selected);
    // Only the selected look, without touching the tab control.
    void SetSelectedLook(bool selected);
    const std::string& StyleLookup() const { return styleLookup_; }
    void SetStyleLookup(const std::string& style);
    TTabIconSlots& CustomIcon() { return customIcon_; }
    bool ShowsIcon() const { return customIcon_.HasImage(); }

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    // Header size used when auto-sizing is off.
    float ExplicitWidth() const { return explicitWidth_; }
    float ExplicitHeight() const { return explicitHeight_; }
    bool HasExplicitSize() const { return hasExplicitWidth_ && hasExplicitHeight_; }
    void SetExplicitWidth(float cx);
    void SetExplicitHeight(float cy);
    // The header's size as the strip lays it out.
    platform::SizeF HeaderSize() const;

    void Paint(platform::ICanvas& canvas) override;
    void MouseDown(platform::MouseButton button, unsigned shift, float x, float y, int clickCount) override;
    void Tap(float x, float y) override;
    void TouchPan(float dx, float dy) override;
    void KeyDown(platform::Key& key, char32_t& character, unsigned shift) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void DoEnter() override;
    void DoExit() override;
    TControl* ContainerFor(TControl* child) override;
    void ParentChanged() override;
    void VisibilityChanged() override;
    void Loaded() override;

    platform::AccessibleRole AccessibleRole() const override;
    std::string AccessibleName() const override;
    unsigned AccessibleStates() const override;
    std::vector<std::string> AccessibleActions() const override;
    void DoAccessibleAction(int index) override;
    std::vector<TControl*> AccessibleChildren() const override;

private:
    void HeaderChanged();
    void AttachContent();
    void DetachContent();

    std::unique_ptr<TTabItemContent> content_;
    TTabControl* attachedTo_ = nullptr;
    std::string text_;
    std::string styleLookup_;
    bool isSelected_ = false;
    bool hovered_ = false;
    bool lastVisible_ = true;
    bool autoSize_ = true;
    float explicitWidth_ = 0;
    float explicitHeight_ = 0;
    bool hasExplicitWidth_ = false;
    bool hasExplicitHeight_ = false;
    TTabIconSlots customIcon_;

    friend bool ReadTabItemDefinedProperty(Persistent&, std::string_view, IValueReader&);
};

}  // namespace velmora
