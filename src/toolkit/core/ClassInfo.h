// Reflection as data. Each class keeps one ClassInfo beside it: its name, its
// factory, its published properties, its defined-property hook and, for window
// classes, its declared fields and handler methods. The form reader walks these
// tables and knows no class by name.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <type_traits>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class Persistent;
class Component;

using NotifyEvent = std::function<void(Component* sender)>;

// Value names of an enumeration or of a set's element type; the ordinal of a
// name is its index.
struct EnumInfo {
    std::string_view typeName;
    std::vector<std::string_view> names;

    // Ordinal of a name (case-insensitive), or -1.
    int Find(std::string_view name) const;
};

extern const EnumInfo BooleanEnum;  // False, True

enum class PropertyKind {
    Integer,    // setOrdinal; enumInfo, if set, names constants accepted as identifiers
    Int64,      // setOrdinal
    Float,      // setFloat
    Enum,       // setOrdinal with the ordinal; enumInfo required (Boolean: BooleanEnum)
    Set,        // setOrdinal with the bit mask of ordinals; enumInfo is the element type
    String,     // setString (UTF-8)
    Object,     // getObject: a sub-object (or a collection) that carries properties
    Component,  // setComponent: a reference to another component by name
    Event,      // setEvent
};

struct PropertyInfo {
    std::string_view name;
    PropertyKind kind = PropertyKind::Integer;
    const EnumInfo* enumInfo = nullptr;
    std::function<void(Persistent&, std::int64_t)> setOrdinal;
    std::function<void(Persistent&, double)> setFloat;
    std::function<void(Persistent&, const std::string&)> setString;
    std::function<Persistent*(Persistent&)> getObject;
    std::function<void(Persistent&, Component*)> setComponent;
    std::function<void(Persistent&, NotifyEvent)> setEvent;

    // A property without a setter of its kind is read-only.
    bool HasSetter() const;
};

// Typed reads that a defined property uses to take its one value from the
// stream. Implemented by the form reader.
class IValueReader {
public:
    virtual ~IValueReader() = default;
    virtual std::int64_t ReadInteger() = 0;
    virtual double ReadFloat() = 0;
    virtual float ReadSingle() = 0;
    virtual std::string ReadString() = 0;
    virtual bool ReadBoolean() = 0;
    virtual void ReadListBegin() = 0;
    // True (and consumes it) when the next byte is the end mark of a list.
    virtual bool EndOfList() = 0;
    // Expects the end mark; another tag fails with "Invalid property value".
    virtual void ReadListEnd() = 0;
    virtual void SkipValue() = 0;
};

// Answers a property name that is not published. Returns false when the class
// does not know the name (the value is then still unread).
using DefinedPropertyHook = bool (*)(Persistent& object, std::string_view name, IValueReader& reader);

// A field of a window class that holds a component of the description.
struct FieldInfo {
    std::string_view name;
    const struct ClassInfo* fieldClass = nullptr;
    std::function<void(Persistent& owner, Component* value)> assign;
    std::function<Component*(Persistent& owner)> get;
};

// A handler method of a window class.
struct MethodInfo {
    std::string_view name;
    std::function<void(Persistent& self, Component* sender)> invoke;
};

struct ClassInfo {
    std::string_view name;
    const ClassInfo* parent = nullptr;
    // Creates an instance owned by owner; empty for classes that cannot be
    // created by name.
    std::function<Component*(Component* owner)> factory;
    bool isComponent = false;
    std::vector<PropertyInfo> properties;
    DefinedPropertyHook definedProperties = nullptr;
    std::vector<FieldInfo> fields;
    std::vector<MethodInfo> methods;

    bool InheritsFrom(const ClassInfo& other) const;
    // Published property of this class or an ancestor (case-insensitive).
    const PropertyInfo* FindProperty(std::string_view propertyName) const;
    // Handler method of this class or an ancestor (ASCII case-insensitive).
    const MethodInfo* FindMethod(std::string_view methodName) const;
    const FieldInfo* FindField(std::string_view fieldName) const;
    // Asks the defined-property hooks from this class up to the root.
    bool ReadDefinedProperty(Persistent& object, std::string_view propertyName, IValueReader& reader) const;
};

// Classes that can be created by name.
class ClassRegistry {
public:
    static void Register(const ClassInfo& info);
    static const ClassInfo* Find(std::string_view name);
    static void Clear();
};

bool SameText(std::string_view a, std::string_view b);

// Float properties are coordinates and sizes in logical units. A value
// beyond this magnitude (or not a number at all) could only come from a
// damaged description, and scaled to pixels it would overflow; the setters
// never see it. An integer property takes what its setter's type holds.
inline constexpr double kLargestFloatPropertyValue = 1.0e6;
// Fail with "Invalid property value" (EReadError) on a value out of range.
double CheckedFloatProperty(double value);
std::int64_t CheckedIntegerProperty(std::int64_t value, std::int64_t lowest, std::int64_t highest);

// Helpers that build property table rows from member functions.
namespace prop {

template <class T, class V>
PropertyInfo Float(std::string_view name, void (T::*setter)(V)) {
    PropertyInfo p{.name = name, .kind = PropertyKind::Float};
    p.setFloat = [setter](Persistent& o, double v) {
        (static_cast<T&>(o).*setter)(static_cast<V>(CheckedFloatProperty(v)));
    };
    return p;
}

template <class T, class V>
PropertyInfo Integer(std::string_view name, void (T::*setter)(V)) {
    PropertyInfo p{.name = name, .kind = PropertyKind::Integer};
    p.setOrdinal = [setter](Persistent& o, std::int64_t v) {
        using Value = std::remove_cvref_t<V>;
        if constexpr (std::is_integral_v<Value> && sizeof(Value) < sizeof(std::int64_t))
            v = CheckedIntegerProperty(v, std::numeric_limits<Value>::lowest(), std::numeric_limits<Value>::max());
        (static_cast<T&>(o).*setter)(static_cast<V>(v));
    };
    return p;
}

template <class T>
PropertyInfo Boolean(std::string_view name, void (T::*setter)(bool)) {
    PropertyInfo p{.name = name, .kind = PropertyKind::Enum, .enumInfo = &BooleanEnum};
    p.setOrdinal = [setter](Persistent& o, std::int64_t v) { (static_cast<T&>(o).*setter)(v != 0); };
    return p;
}

template <class T, class E>
PropertyInfo Enum(std::string_view name, const EnumInfo& info, void (T::*setter)(E)) {
    PropertyInfo p{.name = name, .kind = PropertyKind::Enum, .enumInfo = &info};
    p.setOrdinal = [setter](Persistent& o, std::int64_t v) { (static_cast<T&>(o).*setter)(static_cast<E>(v)); };
    return p;
}

template <class T, class V>
PropertyInfo Set(std::string_view name, const EnumInfo& elements, void (T::*setter)(V)) {
    PropertyInfo p{.name = name, .kind = PropertyKind::Set, .enumInfo = &elements};
    p.setOrdinal = [setter](Persistent& o, std::int64_t v) { (static_cast<T&>(o).*setter)(static_cast<V>(v)); };
    return p;
}

template <class T>
PropertyInfo String(std::string_view name, void (T::*setter)(const std::string&)) {
    PropertyInfo p{.name = name, .kind = PropertyKind::String};
    p.setString = [setter](Persistent& o, const std::string& v) { (static_cast<T&>(o).*setter)(v); };
    return p;
}

template <class T, class S>
PropertyInfo Object(std::string_view name, S& (T::*getter)()) {
    PropertyInfo p{.name = name, .kind = PropertyKind::Object};
    p.getObject = [getter](Persistent& o) -> Persistent* { return &(static_cast<T&>(o).*getter)(); };
    return p;
}

template <class T>
PropertyInfo Event(std::string_view name, NotifyEvent T::*member) {
    PropertyInfo p{.name = name, .kind = PropertyKind::Event};
    p.setEvent = [member](Persistent& o, NotifyEvent e) { static_cast<T&>(o).*member = std::move(e); };
    return p;
}

template <class Owner, class C>
FieldInfo Field(std::string_view name, const ClassInfo& cls, C* Owner::*member) {
    FieldInfo f{.name = name, .fieldClass = &cls};
    f.assign = [member](Persistent& o, Component* c) { static_cast<Owner&>(o).*member = static_cast<C*>(c); };
    f.get = [member](Persistent& o) -> Component* { return static_cast<Owner&>(o).*member; };
    return f;
}

template <class Owner>
MethodInfo Method(std::string_view name, void (Owner::*method)(Component*)) {
    return MethodInfo{name, [method](Persistent& o, Component* s) { (static_cast<Owner&>(o).*method)(s); }};
}

}  // namespace prop

}  // namespace velmora
