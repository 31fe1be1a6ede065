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

}  // namespace velmora::gtk
