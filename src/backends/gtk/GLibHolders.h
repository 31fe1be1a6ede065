// Owners for GLib memory and GObject references, so nothing is released by
// hand. (g_autoptr serves locals; these serve members and return values.)
#pragma once

#include <glib-object.h>

#include <memory>

namespace velmora::gtk {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
// One reference to a GObject.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GObjectListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
// A GList that holds one reference to each of its objects.
using GObjectList = std::unique_ptr<GList, GObjectListFree>;
using IconList = GObjectList;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
// A string GLib allocated.
using GCharPtr = std::unique_ptr<gchar, GFree>;

struct GListFree {
    void operator()(GList* list) const { g_list_free(list); }
};
// A GList whose items are borrowed: only the list's own cells are freed.
using GListPtr = std::unique_ptr<GList, GListFree>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
// An error a GLib call reported through its GError** argument.
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GUriUnref {
    void operator()(GUri* uri) const { g_uri_unref(uri); }
};
// A parsed URI (g_uri_parse).
using GUriPtr = std::unique_ptr<GUri, GUriUnref>;

struct GVariantUnref {
    void operator()(GVariant* value) const {
        if (value) g_variant_unref(value);
    }
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantUnref>;

// A weak reference to a GObject: it reads null once the object is gone. The
// owner's signal handlers on the object (those connected with the owner as
// their data) are disconnected whenever the reference lets it go.
template <typename T>
class WeakRef {
public:
    explicit WeakRef(gpointer owner) : owner_(owner) {}
    ~WeakRef() { Reset(); }
    WeakRef(const WeakRef&) = delete;
    WeakRef& operator=(const WeakRef&) = delete;

    void Reset(T* object = nullptr) {
        if (object == object_) return;
        if (object_) {
            g_signal_handlers_disconnect_by_data(object_, owner_);
            g_object_remove_weak_pointer(G_OBJECT(object_), reinterpret_cast<gpointer*>(&object_));
        }
        object_ = object;
        if (object_) g_object_add_weak_pointer(G_OBJECT(object_), reinterpret_cast<gpointer*>(&object_));
    }
    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    const gpointer owner_;
    T* object_ = nullptr;
};

// A main-loop source we added (a timeout, an idle call), removed when the
// holder is reset or destroyed. A source that has run out returns
// G_SOURCE_REMOVE after calling Forget(), so it is not removed twice.
class SourceId {
public:
    SourceId() = default;
    explicit SourceId(guint id) : id_(id) {}
    ~SourceId() { Reset(); }
    SourceId(SourceId&& other) noexcept : id_(other.id_) { other.id_ = 0; }
    SourceId& operator=(SourceId&& other) noexcept {
        if (this != &other) {
            Reset();
            id_ = other.id_;
            other.id_ = 0;
        }
        return *this;
    }
    SourceId(const SourceId&) = delete;
    SourceId& operator=(const SourceId&) = delete;

    void Reset(guint id = 0) {
        if (id_ != 0) g_source_remove(id_);
        id_ = id;
    }
    void Forget() { id_ = 0; }
    guint Get() const { return id_; }
    explicit operator bool() const { return id_ != 0; }

private:
    guint id_ = 0;
};

}  // namespace velmora::gtk
