// Objects with published properties, components with an owner and a name,
// and collections of items.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ClassInfo.h"

namespace velmora {

// Anything the form reader can set properties on.
class Persistent {
public:
    virtual ~Persistent() = default;
    virtual const ClassInfo& GetClassInfo() const = 0;
    static const ClassInfo& StaticClassInfo();
};

enum ComponentStateFlag : unsigned {
    csLoading = 1,
    csReading = 2,
    csDestroying = 4,
    csInline = 8,
};

class Component : public Persistent {
public:
    explicit Component(Component* owner);
    ~Component() override;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    Component* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    // Validates the name, checks it is unique among the owner's components
    // (letter case ignored) and stores the component in the owner's field of
    // that name, if the owner's class declares one.
    void SetName(const std::string& name);

    const std::vector<Component*>& Components() const { return components_; }
    Component* FindComponent(std::string_view name) const;

    unsigned ComponentState() const { return state_; }
    bool IsLoading() const { return (state_ & csLoading) != 0; }
    bool IsReading() const { return (state_ & csReading) != 0; }
    bool IsDestroying() const { return (state_ & csDestroying) != 0; }
    void SetLoading() { state_ |= csLoading; }
    void SetReading(bool reading) { reading ? state_ |= csReading : state_ &= ~csReading; }
    void SetInline() { state_ |= csInline; }

    // Called once after the whole description has been read.
    virtual void Loaded();

    // The reader makes the enclosing object the parent. Components without a
    // parent notion ignore it.
    virtual void SetParentComponent(Component* parent);
    virtual Component* GetParentComponent() const { return nullptr; }
    // Moves the component to a position among its parent's children.
    virtual void SetChildOrder(int order);

    void InsertComponent(Component* component);
    void RemoveComponent(Component* component);
    // Frees every owned component, last first.
    void DestroyComponents();

    static bool IsValidIdent(std::string_view name);

    // Shared flag that turns false when destruction begins; ComponentRef reads it.
    std::shared_ptr<const bool> Liveness() const;

protected:
    // Marks destroying, so setters and notifications can hold back, and
    // turns every ComponentRef to this component null.
    void BeginDestruction();

private:
    void AssignOwnerField(Component* value);

    Component* owner_ = nullptr;
    std::string name_;
    std::vector<Component*> components_;
    unsigned state_ = 0;
    mutable std::shared_ptr<bool> alive_;
};

class Collection;

class CollectionItem : public Persistent {
public:
    explicit CollectionItem(Collection& collection) : collection_(collection) {}
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();
    Collection& GetCollection() const { return collection_; }

private:
    Collection& collection_;
};

class Collection : public Persistent {
public:
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
    static const ClassInfo& StaticClassInfo();

    int Count() const { return static_cast<int>(items_.size()); }
    CollectionItem& Item(int index) const { return *items_[static_cast<std::size_t>(index)]; }
    virtual CollectionItem& Add();
    void Clear();
    // Change notifications are held back between BeginUpdate and EndUpdate.
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

protected:
    virtual std::unique_ptr<CollectionItem> CreateItem();
    virtual void Changed() {}

private:
    std::vector<std::unique_ptr<CollectionItem>> items_;
    int updateCount_ = 0;
    bool changedWhileUpdating_ = false;
    void NotifyChanged();
};

}  // namespace velmora
