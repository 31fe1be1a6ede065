#include "Component.h"

#include <algorithm>

#include "base/Exceptions.h"

namespace velmora {

const ClassInfo& Persistent::StaticClassInfo() {
    static const ClassInfo info{.name = "TPersistent"};
    return info;
}

const ClassInfo& Component::StaticClassInfo() {
    static const ClassInfo info{.name = "TComponent", .parent = &Persistent::StaticClassInfo(), .isComponent = true};
    return info;
}

Component::Component(Component* owner) {
    if (owner) owner->InsertComponent(this);
}

Component::~Component() {
    BeginDestruction();
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

void Component::BeginDestruction() {
    state_ |= csDestroying;
    if (alive_) *alive_ = false;
}

std::shared_ptr<const bool> Component::Liveness() const {
    if (!alive_) alive_ = std::make_shared<bool>(!IsDestroying());
    return alive_;
}

void Component::InsertComponent(Component* component) {
    component->owner_ = this;
    components_.push_back(component);
}

void Component::RemoveComponent(Component* component) {
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) return;
    component->AssignOwnerField(nullptr);
    components_.erase(it);
    component->owner_ = nullptr;
}

void Component::DestroyComponents() {
    while (!components_.empty()) {
        Component* last = components_.back();
        RemoveComponent(last);
        delete last;
    }
}

bool Component::IsValidIdent(std::string_view name) {
    if (name.empty()) return false;
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (!alpha(name[0])) return false;
    for (char c : name)
        if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

Component* Component::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (Component* c : components_)
        if (SameText(c->name_, name)) return c;
    return nullptr;
}

void Component::AssignOwnerField(Component* value) {
    if (!owner_ || name_.empty()) return;
    if (const FieldInfo* field = owner_->GetClassInfo().FindField(name_)) {
        if (value == nullptr && field->get(*owner_) != this) return;
        // A description may give a component the name of a field of another
        // class; storing it there would make the window's code use it as
        // something it is not.
        if (value && field->fieldClass && !value->GetClassInfo().InheritsFrom(*field->fieldClass))
            throw EComponentError(FormatMessage("Field %s cannot hold a component of class %s",
                                                {name_, std::string(value->GetClassInfo().name)}));
        field->assign(*owner_, value);
    }
}

void Component::SetName(const std::string& name) {
    if (SameText(name, name_) && name == name_) return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError(FormatMessage("''%s'' is not a valid component name", {name}));
    if (owner_ && !name.empty()) {
        Component* other = owner_->FindComponent(name);
        if (other && other != this)
            throw EComponentError(FormatMessage("A component named %s already exists", {name}));
    }
    AssignOwnerField(nullptr);
    name_ = name;
    AssignOwnerField(this);
}

void Component::Loaded() { state_ &= ~csLoading; }

void Component::SetParentComponent(Component*) {}

void Component::SetChildOrder(int) {}

const ClassInfo& CollectionItem::StaticClassInfo() {
    static const ClassInfo info{.name = "TCollectionItem", .parent = &Persistent::StaticClassInfo()};
    return info;
}

const ClassInfo& Collection::StaticClassInfo() {
    static const ClassInfo info{.name = "TCollection", .parent = &Persistent::StaticClassInfo()};
    return info;
}

CollectionItem& Collection::Add() {
    items_.push_back(CreateItem());
    NotifyChanged();
    return *items_.back();
}

void Collection::Clear() {
    if (items_.empty()) return;
    items_.clear();
    NotifyChanged();
}

std::unique_ptr<CollectionItem> Collection::CreateItem() { return std::make_unique<CollectionItem>(*this); }

void Collection::NotifyChanged() {
    if (updateCount_ > 0) {
        changedWhileUpdating_ = true;
        return;
    }
    Changed();
}

void Collection::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && changedWhileUpdating_) {
        changedWhileUpdating_ = false;
        Changed();
    }
}

}  // namespace velmora
