#include "FormReader.h"

#include <algorithm>
#include <bit>

#include "FormStream.h"
#include "base/Exceptions.h"
#include "toolkit/core/Resources.h"

namespace velmora {

namespace {

const char* const kInvalidValue = "Invalid property value";

[[noreturn]] void InvalidValue() { throw EReadError(kInvalidValue); }

bool IsSmallInteger(ValueType t) {
    return t == ValueType::vaInt8 || t == ValueType::vaInt16 || t == ValueType::vaInt32;
}

bool IsComponentClass(const ClassInfo& cls) {
    if (cls.InheritsFrom(Component::StaticClassInfo())) return true;
    for (const ClassInfo* c = &cls; c; c = c->parent)
        if (c->isComponent) return true;
    return false;
}

// The name used in error messages for an object whose property failed.
std::string ContextName(const Persistent& object) {
    if (auto* component = dynamic_cast<const Component*>(&object); component && !component->Name().empty())
        return component->Name();
    return std::string(object.GetClassInfo().name);
}

// Reads one description onto a root component. Also serves as the value
// reader that defined properties take their values from.
class DescriptionReader final : public IValueReader {
public:
    DescriptionReader(std::span<const std::uint8_t> data, Component& root, std::vector<Component*>& loaded)
        : in_(data), root_(root), loaded_(loaded) {}

    void ReadRoot();

    std::int64_t ReadInteger() override {
        ValueType t = in_.ReadValueType();
        if (!IsIntegerValueType(t)) InvalidValue();
        return in_.ReadIntegerPayload(t);
    }

    double ReadFloat() override {
        ValueType t = in_.ReadValueType();
        if (t == ValueType::vaExtended) return ExtendedToDouble(in_.ReadExtendedPayload());
        if (t == ValueType::vaDouble) return std::bit_cast<double>(in_.ReadUInt64());
        if (IsIntegerValueType(t)) return static_cast<double>(in_.ReadIntegerPayload(t));
        InvalidValue();
    }

    float ReadSingle() override {
        ValueType t = in_.ReadValueType();
        if (t == ValueType::vaSingle) return std::bit_cast<float>(in_.ReadUInt32());
        if (IsIntegerValueType(t)) return static_cast<float>(in_.ReadIntegerPayload(t));
        InvalidValue();
    }

    std::string ReadString() override {
        ValueType t = in_.ReadValueType();
        if (!IsStringValueType(t)) InvalidValue();
        return in_.ReadStringPayload(t);
    }

    bool ReadBoolean() override {
        ValueType t = in_.ReadValueType();
        if (t == ValueType::vaTrue) return true;
        if (t == ValueType::vaFalse) return false;
        InvalidValue();
    }

    void ReadListBegin() override {
        if (in_.ReadValueType() != ValueType::vaList) InvalidValue();
    }

    bool EndOfList() override { return in_.EndOfList(); }

    void ReadListEnd() override {
        if (in_.EndOfList()) return;
        // Consume the rest of the list so the failure leaves the stream at a
        // value boundary.
        while (!in_.EndOfList()) in_.SkipValue();
        InvalidValue();
    }

    void SkipValue() override { in_.SkipValue(); }

private:
    struct Fixup {
        Persistent* instance;
        const PropertyInfo* property;
        std::string target;
        std::string context;
        std::string path;
    };

    void SetRootName(const std::string& stored);
    void ReadComponent(Component* parent, int depth);
    void ReadProperty(Persistent& instance, const std::string& context, int depth);
    void ReadPropertyPath(Persistent& instance, const std::string& path, const std::string& context, int depth);
    void ReadPropertyValue(Persistent& instance, const PropertyInfo& property, const std::string& context,
                           const std::string& path, int depth);
    void ReadObjectValue(Persistent& instance, const PropertyInfo& property, const std::string& context,
                         const std::string& path, int depth);
    void ReadCollection(Collection& collection, int depth);
    void ResolveFixups();
    void AddLoaded(Component* component) {
        if (std::find(loaded_.begin(), loaded_.end(), component) == loaded_.end()) loaded_.push_back(component);
    }

    FormStreamReader in_;
    Component& root_;
    std::vector<Component*>& loaded_;
    std::vector<Fixup> fixups_;
    // The error that already carries its "Error reading" context; rethrowing
    // keeps the same object, so outer entries recognise it and leave it be.
    const Exception* wrapped_ = nullptr;
};

void DescriptionReader::ReadRoot() {
    in_.ReadSignature();
    ObjectPrefix prefix = in_.ReadPrefix();
    in_.ReadShortString();  // the root object exists already; its class is the caller's
    std::string name = in_.ReadShortString();
    SetRootName(name);
    if (prefix.flags & ffInline) root_.SetInline();
    root_.SetLoading();
    root_.SetReading(true);
    AddLoaded(&root_);
    try {
        while (!in_.EndOfList()) ReadProperty(root_, ContextName(root_), 0);
        while (!in_.EndOfList()) ReadComponent(&root_, 1);
        ResolveFixups();
    } catch (...) {
        root_.SetReading(false);
        throw;
    }
    root_.SetReading(false);
}

void DescriptionReader::SetRootName(const std::string& stored) {
    Component* owner = root_.Owner();
    auto taken = [&](const std::string& candidate) {
        Component* other = owner ? owner->FindComponent(candidate) : nullptr;
        return other != nullptr && other != &root_;
    };
    std::string name = stored;
    for (int i = 1; !stored.empty() && taken(name); ++i) name = stored + "_" + std::to_string(i);
    root_.SetName(name);
}

void DescriptionReader::ReadComponent(Component* parent, int depth) {
    if (depth > kMaxNestingDepth) throw EReadError("Invalid stream format");
    ObjectPrefix prefix = in_.ReadPrefix();
    std::string className = in_.ReadShortString();
    std::string name = in_.ReadShortString();
    const bool inherited = (prefix.flags & ffInherited) != 0;

    Component* component = nullptr;
    bool created = false;
    const std::size_t loadedMark = loaded_.size();
    try {
        if (inherited) {
            component = root_.FindComponent(name);
            if (!component) throw EReadError(FormatMessage("Ancestor for '%s' not found", {name}));
            if (Component* ownParent = component->GetParentComponent()) parent = ownParent;
        } else {
            const ClassInfo* cls = FindComponentClass(root_.GetClassInfo(), className);
            if (!cls || !cls->factory || !IsComponentClass(*cls))
                throw EClassNotFound(FormatMessage("Class %s not found", {className}));
            component = cls->factory(&root_);
            if (!component) throw EClassNotFound(FormatMessage("Class %s not found", {className}));
            created = true;
        }
        if (prefix.flags & ffInline) component->SetInline();
        component->SetLoading();
        if (!inherited) {
            component->SetParentComponent(parent);
            component->SetName(name);
        }
        component->SetReading(true);
        const std::string context = ContextName(*component);
        while (!in_.EndOfList()) ReadProperty(*component, context, depth);
        while (!in_.EndOfList()) ReadComponent(component, depth + 1);
        component->SetReading(false);
        if (prefix.flags & ffChildPos) component->SetChildOrder(static_cast<int>(prefix.childPos));
        AddLoaded(component);
    } catch (...) {
        // Children read before the failure may go with the component; none of
        // them may stay in the list of pending notifications.
        loaded_.resize(std::min(loaded_.size(), loadedMark));
        if (created)
            delete component;
        else if (component)
            component->SetReading(false);
        throw;
    }
}

void DescriptionReader::ReadProperty(Persistent& instance, const std::string& context, int depth) {
    std::string path = in_.ReadShortString();
    try {
        ReadPropertyPath(instance, path, context, depth);
    } catch (Exception& e) {
        if (wrapped_ != &e) {
            e.SetMessage(FormatMessage("Error reading %s%s%s: %s", {context, ".", path, e.Message()}));
            wrapped_ = &e;
        }
        throw;
    }
}

void DescriptionReader::ReadPropertyPath(Persistent& instance, const std::string& path, const std::string& context,
                                         int depth) {
    Persistent* object = &instance;
    std::size_t start = 0;
    for (std::size_t dot = path.find('.'); dot != std::string::npos; dot = path.find('.', start)) {
        std::string_view segment(path.data() + start, dot - start);
        const PropertyInfo* property = object->GetClassInfo().FindProperty(segment);
        if (!property) {
            // Not published: the object may answer the whole dotted name itself.
            if (object->GetClassInfo().ReadDefinedProperty(*object, path, *this)) return;
            in_.SkipValue();
            throw EPropertyError(FormatMessage("Property %s does not exist", {path}));
        }
        Persistent* sub = nullptr;
        if (property->kind == PropertyKind::Object && property->getObject) sub = property->getObject(*object);
        if (!sub) {
            in_.SkipValue();
            throw EPropertyError("Invalid property path");
        }
        object = sub;
        start = dot + 1;
    }
    std::string last = path.substr(start);
    if (const PropertyInfo* property = object->GetClassInfo().FindProperty(last)) {
        ReadPropertyValue(*object, *property, context, path, depth);
        return;
    }
    if (object->GetClassInfo().ReadDefinedProperty(*object, last, *this)) return;
    in_.SkipValue();
    throw EPropertyError(FormatMessage("Property %s does not exist", {last}));
}

void DescriptionReader::ReadPropertyValue(Persistent& instance, const PropertyInfo& property,
                                          const std::string& context, const std::string& path, int depth) {
    if (!property.HasSetter()) throw EPropertyError("Property is read-only");
    switch (property.kind) {
    case PropertyKind::Integer: {
        ValueType t = in_.ReadValueType();
        if (IsSmallInteger(t)) {
            property.setOrdinal(instance, in_.ReadIntegerPayload(t));
        } else if (t == ValueType::vaIdent && property.enumInfo) {
            int value = property.enumInfo->Find(in_.ReadShortString());
            if (value < 0) InvalidValue();
            property.setOrdinal(instance, value);
        } else {
            InvalidValue();
        }
        return;
    }
    case PropertyKind::Int64: property.setOrdinal(instance, ReadInteger()); return;
    case PropertyKind::Float: property.setFloat(instance, ReadFloat()); return;
    case PropertyKind::Enum: {
        std::string name;
        switch (in_.ReadValueType()) {
        case ValueType::vaIdent: name = in_.ReadShortString(); break;
        case ValueType::vaFalse: name = "False"; break;
        case ValueType::vaTrue: name = "True"; break;
        case ValueType::vaNil: name = "nil"; break;
        case ValueType::vaNull: name = "Null"; break;
        default: InvalidValue();
        }
        int value = property.enumInfo ? property.enumInfo->Find(name) : -1;
        if (value < 0) InvalidValue();
        property.setOrdinal(instance, value);
        return;
    }
    case PropertyKind::Set: {
        if (in_.ReadValueType() != ValueType::vaSet || !property.enumInfo) InvalidValue();
        std::uint64_t mask = 0;
        for (std::string element = in_.ReadShortString(); !element.empty(); element = in_.ReadShortString()) {
            int ordinal = property.enumInfo->Find(element);
            if (ordinal < 0 || ordinal >= 64) InvalidValue();
            mask |= std::uint64_t{1} << ordinal;
        }
        property.setOrdinal(instance, static_cast<std::int64_t>(mask));
        return;
    }
    case PropertyKind::String: property.setString(instance, ReadString()); return;
    case PropertyKind::Object:
    case PropertyKind::Component: ReadObjectValue(instance, property, context, path, depth); return;
    case PropertyKind::Event: {
        ValueType t = in_.ReadValueType();
        if (t == ValueType::vaNil) {
            property.setEvent(instance, NotifyEvent{});
            return;
        }
        if (t != ValueType::vaIdent) InvalidValue();
        const MethodInfo* method = root_.GetClassInfo().FindMethod(in_.ReadShortString());
        if (!method) InvalidValue();
        Component* receiver = &root_;
        property.setEvent(instance, [receiver, method](Component* sender) { method->invoke(*receiver, sender); });
        return;
    }
    }
    InvalidValue();
}

void DescriptionReader::ReadObjectValue(Persistent& instance, const PropertyInfo& property,
                                        const std::string& context, const std::string& path, int depth) {
    switch (in_.ReadValueType()) {
    case ValueType::vaNil:
        if (!property.setComponent) InvalidValue();
        property.setComponent(instance, nullptr);
        return;
    case ValueType::vaIdent: {
        std::string target = in_.ReadShortString();
        if (!property.setComponent) InvalidValue();
        // The named component may come later in the description.
        fixups_.push_back({&instance, &property, std::move(target), context, path});
        return;
    }
    case ValueType::vaCollection: {
        Persistent* held = property.getObject ? property.getObject(instance) : nullptr;
        auto* collection = dynamic_cast<Collection*>(held);
        if (!collection) InvalidValue();
        ReadCollection(*collection, depth + 1);
        return;
    }
    default: InvalidValue();
    }
}

void DescriptionReader::ReadCollection(Collection& collection, int depth) {
    if (depth > kMaxNestingDepth) throw EReadError("Invalid stream format");
    collection.BeginUpdate();
    try {
        if (in_.PeekByte() != 0) collection.Clear();
        while (!in_.EndOfList()) {
            ValueType t = in_.ReadValueType();
            if (IsSmallInteger(t)) {
                in_.ReadIntegerPayload(t);  // the item's order index carries no meaning here
                t = in_.ReadValueType();
            }
            if (t != ValueType::vaList) InvalidValue();
            CollectionItem& item = collection.Add();
            const std::string context = ContextName(item);
            while (!in_.EndOfList()) ReadProperty(item, context, depth);
        }
    } catch (...) {
        collection.EndUpdate();
        throw;
    }
    collection.EndUpdate();
}

void DescriptionReader::ResolveFixups() {
    for (const Fixup& fixup : fixups_) {
        Component* target = nullptr;
        if (!root_.Name().empty() && SameText(fixup.target, root_.Name()))
            target = &root_;
        else
            target = root_.FindComponent(fixup.target);
        if (!target)
            throw EReadError(FormatMessage("Error reading %s%s%s: %s", {fixup.context, ".", fixup.path, kInvalidValue}));
        fixup.property->setComponent(*fixup.instance, target);
    }
    fixups_.clear();
}

void ReadResourceIfPresent(std::string_view name, Component& root, std::vector<Component*>& loaded, bool& found) {
    auto data = FindResource(name, &found);
    if (found) ReadComponentFromBytes(data, root, loaded);
}

void PrescanOne(std::span<const std::uint8_t> data, const std::vector<std::string>& names,
                std::map<std::string, std::string>& values) {
    FormStreamReader in(data);
    try {
        in.ReadSignature();
        in.ReadPrefix();
        in.ReadShortString();
        in.ReadShortString();
        while (!in.EndOfList()) {
            std::string path = in.ReadShortString();
            auto wanted = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, path); });
            ValueType t = in.PeekValueType();
            if (wanted == names.end() || !(IsIntegerValueType(t) || t == ValueType::vaIdent ||
                                           t == ValueType::vaFalse || t == ValueType::vaTrue)) {
                in.SkipValue();
                continue;
            }
            in.ReadValueType();
            if (t == ValueType::vaIdent)
                values[*wanted] = in.ReadShortString();
            else if (t == ValueType::vaFalse || t == ValueType::vaTrue)
                values[*wanted] = t == ValueType::vaTrue ? "True" : "False";
            else
                values[*wanted] = std::to_string(in.ReadIntegerPayload(t));
        }
    } catch (const EReadError&) {
        // A damaged description is reported by the full read that follows;
        // the pre-scan keeps what it found before the damage.
    }
}

}  // namespace

std::vector<const ClassInfo*> DescriptionClassChain(const ClassInfo& cls, const ClassInfo& baseExclusive) {
    std::vector<const ClassInfo*> chain;
    for (const ClassInfo* c = &cls; c && c != &baseExclusive; c = c->parent) chain.push_back(c);
    std::reverse(chain.begin(), chain.end());
    return chain;
}

std::vector<std::string> MatchingDeviceNames() { return {}; }

const ClassInfo* FindComponentClass(const ClassInfo& rootClass, std::string_view className) {
    for (const ClassInfo* c = &rootClass; c; c = c->parent)
        for (const FieldInfo& field : c->fields)
            if (field.fieldClass && SameText(field.fieldClass->name, className)) return field.fieldClass;
    return ClassRegistry::Find(className);
}

void ReadComponentFromBytes(std::span<const std::uint8_t> data, Component& root, std::vector<Component*>& loaded) {
    DescriptionReader reader(data, root, loaded);
    reader.ReadRoot();
}

void ReadComponentResources(Component& root, const ClassInfo& baseExclusive) {
    std::vector<Component*> loaded;
    bool any = false;
    for (const ClassInfo* cls : DescriptionClassChain(root.GetClassInfo(), baseExclusive)) {
        bool found = false;
        ReadResourceIfPresent(cls->name, root, loaded, found);
        any = any || found;
    }
    if (!any)
        throw EResourceNotFound(FormatMessage("Resource %s not found", {std::string(root.GetClassInfo().name)}));
    for (const std::string& device : MatchingDeviceNames()) {
        bool found = false;
        ReadResourceIfPresent(std::string(root.GetClassInfo().name) + "_" + device, root, loaded, found);
        if (found) break;
    }
    for (Component* component : loaded) component->Loaded();
}

std::map<std::string, std::string> PrescanRootProperties(const ClassInfo& rootClass, const ClassInfo& baseExclusive,
                                                         const std::vector<std::string>& names) {
    std::map<std::string, std::string> values;
    bool any = false;
    for (const ClassInfo* cls : DescriptionClassChain(rootClass, baseExclusive)) {
        bool found = false;
        auto data = FindResource(cls->name, &found);
        if (found) PrescanOne(data, names, values);
        any = any || found;
    }
    if (any) {
        for (const std::string& device : MatchingDeviceNames()) {
            bool found = false;
            auto data = FindResource(std::string(rootClass.name) + "_" + device, &found);
            if (found) {
                PrescanOne(data, names, values);
                break;
            }
        }
    }
    return values;
}

}  // namespace velmora
