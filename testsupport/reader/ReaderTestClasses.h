// Small component classes with their own reflection tables, so the reader
// tests do not depend on the real controls.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "toolkit/core/ClassInfo.h"
#include "toolkit/core/Component.h"
#include "base/Exceptions.h"

namespace readertest {

using namespace velmora;

enum class TestAlign { None, Top, Client };
inline const EnumInfo TestAlignEnum{"TTestAlign", {"None", "Top", "Client"}};
inline const EnumInfo TestStyleEnum{"TTestStyle", {"Bold", "Italic", "Underline"}};
// Named constants an integer property accepts as identifiers.
inline const EnumInfo TestColorConstants{"TTestColor", {"clBlack", "clMaroon", "clGreen"}};

// Every Loaded() call, in order, by component name.
inline std::vector<std::string>& LoadedLog() {
    static std::vector<std::string> log;
    return log;
}

class TTestSize : public Persistent {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info{
            .name = "TTestSize",
            .parent = &Persistent::StaticClassInfo(),
            .properties = {prop::Float("Width", &TTestSize::SetWidth), prop::Float("Height", &TTestSize::SetHeight),
                           prop::Boolean("PlatformDefault", &TTestSize::SetPlatformDefault)}};
        return info;
    }
    void SetWidth(float v) { width = v; }
    void SetHeight(float v) { height = v; }
    void SetPlatformDefault(bool v) { platformDefault = v; }
    float width = 0, height = 0;
    bool platformDefault = true;
};

class TTestItem : public CollectionItem {
public:
    using CollectionItem::CollectionItem;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info{.name = "TTestItem",
                                    .parent = &CollectionItem::StaticClassInfo(),
                                    .properties = {prop::String("Caption", &TTestItem::SetCaption)}};
        return info;
    }
    void SetCaption(const std::string& v) { caption = v; }
    std::string caption = "default";
};

class TTestItems : public Collection {
public:
    int changes = 0;

protected:
    std::unique_ptr<CollectionItem> CreateItem() override { return std::make_unique<TTestItem>(*this); }
    void Changed() override { ++changes; }
};

class TTestControl : public Component {
public:
    explicit TTestControl(Component* owner) : Component(owner) { ++Live(); }
    ~TTestControl() override {
        BeginDestruction();
        for (TTestControl* child : children) child->parent = nullptr;
        if (parent) std::erase(parent->children, this);
        --Live();
    }
    static int& Live() {
        static int live = 0;
        return live;
    }

    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info = [] {
            ClassInfo c{.name = "TTestControl", .parent = &Component::StaticClassInfo(), .isComponent = true};
            c.factory = [](Component* owner) -> Component* { return new TTestControl(owner); };
            c.properties = {
                prop::Enum("Align", TestAlignEnum, &TTestControl::SetAlign),
                prop::Object("Size", &TTestControl::Size),
                prop::Integer("Tag", &TTestControl::SetTag),
                prop::Float("Ratio", &TTestControl::SetRatio),
                prop::String("Text", &TTestControl::SetText),
                prop::Boolean("Visible", &TTestControl::SetVisible),
                prop::Set("Styles", TestStyleEnum, &TTestControl::SetStyles),
                prop::Object("Items", &TTestControl::Items),
                prop::Event("OnClick", &TTestControl::OnClick),
                PropertyInfo{.name = "ReadOnlyValue", .kind = PropertyKind::Integer},
            };
            PropertyInfo big{.name = "Big", .kind = PropertyKind::Int64};
            big.setOrdinal = [](Persistent& o, std::int64_t v) { static_cast<TTestControl&>(o).big = v; };
            c.properties.push_back(big);
            PropertyInfo color = prop::Integer("Color", &TTestControl::SetTag);
            color.enumInfo = &TestColorConstants;
            c.properties.push_back(color);
            PropertyInfo buddy{.name = "Buddy", .kind = PropertyKind::Component};
            buddy.setComponent = [](Persistent& o, Component* v) { static_cast<TTestControl&>(o).buddy = v; };
            c.properties.push_back(buddy);
            c.definedProperties = &ReadDefined;
            return c;
        }();
        return info;
    }

    // "ExplicitSize.cx"/"cy": one float; "Pair": a list of exactly two singles.
    static bool ReadDefined(Persistent& object, std::string_view name, IValueReader& reader) {
        auto& self = static_cast<TTestControl&>(object);
        if (SameText(name, "ExplicitSize.cx")) {
            self.explicitCx = reader.ReadFloat();
            return true;
        }
        if (SameText(name, "ExplicitSize.cy")) {
            self.explicitCy = reader.ReadFloat();
            return true;
        }
        if (SameText(name, "Pair")) {
            reader.ReadListBegin();
            self.pair.push_back(reader.ReadSingle());
            self.pair.push_back(reader.ReadSingle());
            reader.ReadListEnd();
            return true;
        }
        if (SameText(name, "Sizes")) {
            reader.ReadListBegin();
            while (!reader.EndOfList()) self.pair.push_back(reader.ReadSingle());
            return true;
        }
        return false;
    }

    void SetAlign(TestAlign a) { align = a; }
    TTestSize& Size() { return size; }
    TTestItems& Items() { return items; }
    void SetTag(int v) {
        tag = v;
        parentWhenTagSet = parent;
    }
    void SetRatio(double v) { ratio = v; }
    void SetText(const std::string& v) { text = v; }
    void SetVisible(bool v) { visible = v; }
    void SetStyles(unsigned v) { styles = v; }

    void Loaded() override {
        LoadedLog().push_back(Name());
        Component::Loaded();
    }
    void SetParentComponent(Component* p) override {
        if (parent) std::erase(parent->children, this);
        parent = dynamic_cast<TTestControl*>(p);
        if (parent) parent->children.push_back(this);
    }
    Component* GetParentComponent() const override { return parent; }
    void SetChildOrder(int order) override { childOrder = order; }

    TestAlign align = TestAlign::None;
    TTestSize size;
    TTestItems items;
    int tag = 0;
    std::int64_t big = 0;
    double ratio = 0;
    std::string text;
    bool visible = true;
    unsigned styles = 0;
    Component* buddy = nullptr;
    NotifyEvent OnClick;
    double explicitCx = 0, explicitCy = 0;
    std::vector<float> pair;
    TTestControl* parent = nullptr;
    TTestControl* parentWhenTagSet = nullptr;
    std::vector<TTestControl*> children;
    int childOrder = -1;
};

// A container class known only through the root's fields.
class TTestPanel : public TTestControl {
public:
    explicit TTestPanel(Component* owner) : TTestControl(owner) {}
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info{
            .name = "TTestPanel",
            .parent = &TTestControl::StaticClassInfo(),
            .factory = [](Component* owner) -> Component* { return new TTestPanel(owner); },
            .isComponent = true};
        return info;
    }
};

// Known only through the class registry.
class TTestLabel : public TTestControl {
public:
    explicit TTestLabel(Component* owner) : TTestControl(owner) {}
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info{
            .name = "TTestLabel",
            .parent = &TTestControl::StaticClassInfo(),
            .factory = [](Component* owner) -> Component* { return new TTestLabel(owner); },
            .isComponent = true};
        return info;
    }
};

// Registered, creatable, but not a component class.
inline const ClassInfo& NotAComponentClass() {
    static const ClassInfo info{.name = "TTestNotComponent",
                                .parent = &Persistent::StaticClassInfo(),
                                .factory = [](Component*) -> Component* { return nullptr; }};
    return info;
}

class TTestRoot : public Component {
public:
    explicit TTestRoot(Component* owner) : Component(owner) {}
    ~TTestRoot() override { BeginDestruction(); }
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info = [] {
            ClassInfo c{.name = "TTestRoot", .parent = &Component::StaticClassInfo(), .isComponent = true};
            c.properties = {prop::String("Caption", &TTestRoot::SetCaption),
                            prop::Integer("Left", &TTestRoot::SetLeft)};
            c.fields = {prop::Field("Panel1", TTestPanel::StaticClassInfo(), &TTestRoot::Panel1),
                        prop::Field("Button1", TTestControl::StaticClassInfo(), &TTestRoot::Button1)};
            c.methods = {prop::Method("Button1Click", &TTestRoot::Button1Click)};
            c.definedProperties = [](Persistent& o, std::string_view name, IValueReader& r) {
                if (!SameText(name, "DesignerMasterStyle")) return false;
                static_cast<TTestRoot&>(o).designerMasterStyle = static_cast<int>(r.ReadInteger());
                return true;
            };
            return c;
        }();
        return info;
    }
    void Loaded() override {
        LoadedLog().push_back(Name());
        Component::Loaded();
    }
    void SetCaption(const std::string& v) { caption = v; }
    void SetLeft(int v) { left = v; }
    void Button1Click(Component* sender) { clicks.push_back(sender); }

    TTestPanel* Panel1 = nullptr;
    TTestControl* Button1 = nullptr;
    std::string caption;
    int left = 0;
    int designerMasterStyle = -1;
    std::vector<Component*> clicks;
};

// A class below TTestRoot, for descriptions found along a class chain.
class TTestRootDerived : public TTestRoot {
public:
    using TTestRoot::TTestRoot;
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo() {
        static const ClassInfo info{.name = "TTestRootDerived", .parent = &TTestRoot::StaticClassInfo(), .isComponent = true};
        return info;
    }
};

inline void RegisterTestClasses() {
    ClassRegistry::Register(TTestLabel::StaticClassInfo());
    ClassRegistry::Register(NotAComponentClass());
}

}  // namespace readertest
