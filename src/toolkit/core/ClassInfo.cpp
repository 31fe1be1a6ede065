#include "ClassInfo.h"

#include <algorithm>
#include <cmath>

#include "base/Exceptions.h"

namespace velmora {

const EnumInfo BooleanEnum{"Boolean", {"False", "True"}};

double CheckedFloatProperty(double value) {
    if (!std::isfinite(value) || std::fabs(value) > kLargestFloatPropertyValue)
        throw EReadError("Invalid property value");
    return value;
}

std::int64_t CheckedIntegerProperty(std::int64_t value, std::int64_t lowest, std::int64_t highest) {
    if (value < lowest || value > highest) throw EReadError("Invalid property value");
    return value;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int EnumInfo::Find(std::string_view name) const {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (SameText(names[i], name)) return static_cast<int>(i);
    return -1;
}

bool PropertyInfo::HasSetter() const {
    switch (kind) {
    case PropertyKind::Integer:
    case PropertyKind::Int64:
    case PropertyKind::Enum:
    case PropertyKind::Set: return static_cast<bool>(setOrdinal);
    case PropertyKind::Float: return static_cast<bool>(setFloat);
    case PropertyKind::String: return static_cast<bool>(setString);
    case PropertyKind::Object: return static_cast<bool>(getObject);
    case PropertyKind::Component: return static_cast<bool>(setComponent);
    case PropertyKind::Event: return static_cast<bool>(setEvent);
    }
    return false;
}

bool ClassInfo::InheritsFrom(const ClassInfo& other) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        if (c == &other) return true;
    return false;
}

const PropertyInfo* ClassInfo::FindProperty(std::string_view propertyName) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        for (const auto& p : c->properties)
            if (SameText(p.name, propertyName)) return &p;
    return nullptr;
}

const MethodInfo* ClassInfo::FindMethod(std::string_view methodName) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        for (const auto& m : c->methods)
            if (SameText(m.name, methodName)) return &m;
    return nullptr;
}

const FieldInfo* ClassInfo::FindField(std::string_view fieldName) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        for (const auto& f : c->fields)
            if (SameText(f.name, fieldName)) return &f;
    return nullptr;
}

bool ClassInfo::ReadDefinedProperty(Persistent& object, std::string_view propertyName, IValueReader& reader) const {
    for (const ClassInfo* c = this; c; c = c->parent)
        if (c->definedProperties && c->definedProperties(object, propertyName, reader)) return true;
    return false;
}

namespace {
std::vector<const ClassInfo*>& Registry() {
    static std::vector<const ClassInfo*> registry;
    return registry;
}
}  // namespace

void ClassRegistry::Register(const ClassInfo& info) {
    auto& r = Registry();
    if (std::find(r.begin(), r.end(), &info) == r.end()) r.push_back(&info);
}

const ClassInfo* ClassRegistry::Find(std::string_view name) {
    for (const ClassInfo* c : Registry())
        if (SameText(c->name, name)) return c;
    return nullptr;
}

void ClassRegistry::Clear() { Registry().clear(); }

}  // namespace velmora
