#include "AtkBridge.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <cmath>

#include "GtkPlatform.h"

using velmora::gtk::AtkBridge;
using velmora::platform::AccessibleRole;
using velmora::platform::IAccessibleNode;

namespace {

constexpr const char* kBridgeKey = "velmora-accessible-bridge";
constexpr const char* kRootKey = "velmora-accessible-root";

// ----------------------------------------------------------- one node

struct VelmoraAtkNode {
    AtkObject parent;
    IAccessibleNode* node;  // nullptr once the control (or the bridge) is gone
    AtkBridge* bridge;      // the bridge that made it, while node is set
};
struct VelmoraAtkNodeClass {
    AtkObjectClass parent_class;
};

void velmora_atk_node_component_init(AtkComponentIface* iface);
void velmora_atk_node_action_init(AtkActionIface* iface);

G_DEFINE_TYPE_WITH_CODE(VelmoraAtkNode, velmora_atk_node, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, velmora_atk_node_component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, velmora_atk_node_action_init))

VelmoraAtkNode* AsNode(gpointer object) { return reinterpret_cast<VelmoraAtkNode*>(object); }
IAccessibleNode* NodeOf(gpointer object) { return AsNode(object)->node; }
AtkBridge& BridgeOf(gpointer object) { return *AsNode(object)->bridge; }

AtkRole AtkRoleOf(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::Frame: return ATK_ROLE_FRAME;
    case AccessibleRole::PageTabList: return ATK_ROLE_PAGE_TAB_LIST;
    case AccessibleRole::PageTab: return ATK_ROLE_PAGE_TAB;
    case AccessibleRole::Panel: return ATK_ROLE_PANEL;
    case AccessibleRole::PushButton: return ATK_ROLE_PUSH_BUTTON;
    case AccessibleRole::None:
    case AccessibleRole::Embedded: break;
    }
    return ATK_ROLE_FILLER;
}

// Our state bits and the ATK states each stands for.
struct StateMapping {
    unsigned bit;
    AtkStateType state;
};
constexpr StateMapping kStates[] = {
    {velmora::platform::AccessibleEnabled, ATK_STATE_ENABLED},
    {velmora::platform::AccessibleEnabled, ATK_STATE_SENSITIVE},
    {velmora::platform::AccessibleFocusable, ATK_STATE_FOCUSABLE},
    {velmora::platform::AccessibleFocused, ATK_STATE_FOCUSED},
    {velmora::platform::AccessibleSelectable, ATK_STATE_SELECTABLE},
    {velmora::platform::AccessibleSelected, ATK_STATE_SELECTED},
    {velmora::platform::AccessibleVisible, ATK_STATE_VISIBLE},
    {velmora::platform::AccessibleShowing, ATK_STATE_SHOWING},
};

const gchar* NodeGetName(AtkObject* object) {
    IAccessibleNode* node = NodeOf(object);
    if (!node) return nullptr;
    // Interned: a client may still read what an earlier call returned, and
    // a window has only a handful of names.
    return g_intern_string(node->Name().c_str());
}

AtkRole NodeGetRole(AtkObject* object) {
    IAccessibleNode* node = NodeOf(object);
    return node ? AtkRoleOf(node->Role()) : ATK_ROLE_INVALID;
}

AtkObject* NodeGetParent(AtkObject* object) {
    IAccessibleNode* node = NodeOf(object);
    if (!node) return nullptr;
    return BridgeOf(object).Wrap(node->Parent());
}

gint NodeGetNChildren(AtkObject* object) {
    IAccessibleNode* node = NodeOf(object);
    return node ? static_cast<gint>(BridgeOf(object).ChildrenOf(node).size()) : 0;
}

AtkObject* NodeRefChild(AtkObject* object, gint index) {
    IAccessibleNode* node = NodeOf(object);
    if (!node || index < 0) return nullptr;
    std::vector<AtkObject*> children = BridgeOf(object).ChildrenOf(node);
    if (index >= static_cast<gint>(children.size())) return nullptr;
    return ATK_OBJECT(g_object_ref(children[static_cast<std::size_t>(index)]));
}

gint NodeGetIndexInParent(AtkObject* object) {
    IAccessibleNode* node = NodeOf(object);
    if (!node || !node->Parent()) return -1;
    std::vector<AtkObject*> siblings = BridgeOf(object).ChildrenOf(node->Parent());
    auto it = std::find(siblings.begin(), siblings.end(), object);
    return it == siblings.end() ? -1 : static_cast<gint>(it - siblings.begin());
}

AtkStateSet* NodeRefStateSet(AtkObject* object) {
    AtkStateSet* set = atk_state_set_new();
    IAccessibleNode* node = NodeOf(object);
    if (!node) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    const unsigned states = node->States();
    for (const StateMapping& m : kStates)
        if (states & m.bit) atk_state_set_add_state(set, m.state);
    return set;
}

void velmora_atk_node_class_init(VelmoraAtkNodeClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = NodeGetName;
    atk->get_role = NodeGetRole;
    atk->get_parent = NodeGetParent;
    atk->get_n_children = NodeGetNChildren;
    atk->ref_child = NodeRefChild;
    atk->get_index_in_parent = NodeGetIndexInParent;
    atk->ref_state_set = NodeRefStateSet;
}

void velmora_atk_node_init(VelmoraAtkNode* self) {
    self->node = nullptr;
    self->bridge = nullptr;
}

// Extents in GDK coordinates of the kind asked for.
bool NodeExtents(AtkBridge& bridge, IAccessibleNode* node, AtkCoordType coordType, AtkRectangle& out) {
    GtkWidget* area = bridge.AreaOf(node);
    if (!area) return false;
    const velmora::platform::RectI r = node->Bounds();
    const int scale = std::max(1, gtk_widget_get_scale_factor(area));
    int originX = 0, originY = 0;
    if (coordType == ATK_XY_SCREEN) {
        GdkWindow* window = gtk_widget_get_window(area);
        if (window) gdk_window_get_origin(window, &originX, &originY);
        GtkAllocation allocation;
        gtk_widget_get_allocation(area, &allocation);
        if (window && !gtk_widget_get_has_window(area)) {
            originX += allocation.x;
            originY += allocation.y;
        }
    } else {
        GtkWidget* toplevel = gtk_widget_get_toplevel(area);
        gtk_widget_translate_coordinates(area, toplevel, 0, 0, &originX, &originY);
    }
    out.x = originX + r.left / scale;
    out.y = originY + r.top / scale;
    out.width = r.Width() / scale;
    out.height = r.Height() / scale;
    return true;
}

void NodeGetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType coordType) {
    AtkRectangle rect{0, 0, 0, 0};
    if (IAccessibleNode* node = NodeOf(component)) NodeExtents(BridgeOf(component), node, coordType, rect);
    if (x) *x = rect.x;
    if (y) *y = rect.y;
    if (width) *width = rect.width;
    if (height) *height = rect.height;
}

gboolean NodeGrabFocus(AtkComponent* component) {
    IAccessibleNode* node = NodeOf(component);
    return node && node->GrabFocus();
}

void velmora_atk_node_component_init(AtkComponentIface* iface) {
    iface->get_extents = NodeGetExtents;
    iface->grab_focus = NodeGrabFocus;
}

gint NodeGetNActions(AtkAction* action) {
    IAccessibleNode* node = NodeOf(action);
    return node ? static_cast<gint>(node->Actions().size()) : 0;
}

const gchar* NodeActionName(AtkAction* action, gint index) {
    IAccessibleNode* node = NodeOf(action);
    if (!node || index < 0) return nullptr;
    std::vector<std::string> actions = node->Actions();
    if (index >= static_cast<gint>(actions.size())) return nullptr;
    // Interned: ATK hands the pointer out without a copy.
    return g_intern_string(actions[static_cast<std::size_t>(index)].c_str());
}

gboolean NodeDoAction(AtkAction* action, gint index) {
    IAccessibleNode* node = NodeOf(action);
    return node && node->DoAction(index);
}

void velmora_atk_node_action_init(AtkActionIface* iface) {
    iface->get_n_actions = NodeGetNActions;
    iface->get_name = NodeActionName;
    iface->get_localized_name = NodeActionName;
    iface->do_action = NodeDoAction;
}

// ----------------------------------------------------------- the frame

// The window's own accessible keeps what GTK gives a window (frame role,
// title, activation events); its children are the published tree's.
struct VelmoraFrameAccessible {
    GtkWindowAccessible parent;
};
struct VelmoraFrameAccessibleClass {
    GtkWindowAccessibleClass parent_class;
};
G_DEFINE_TYPE(VelmoraFrameAccessible, velmora_frame_accessible, GTK_TYPE_WINDOW_ACCESSIBLE)

// The bridge serving the frame's window and the root published there.
AtkBridge* FrameBridge(AtkObject* object, IAccessibleNode*& root) {
    root = nullptr;
    GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(object));
    AtkBridge* bridge = widget ? AtkBridge::OfWindow(widget) : nullptr;
    if (bridge) root = bridge->RootOfWidget(widget);
    return root ? bridge : nullptr;
}

gint FrameGetNChildren(AtkObject* object) {
    IAccessibleNode* root = nullptr;
    if (AtkBridge* bridge = FrameBridge(object, root)) return static_cast<gint>(bridge->ChildrenOf(root).size());
    return ATK_OBJECT_CLASS(velmora_frame_accessible_parent_class)->get_n_children(object);
}

AtkObject* FrameRefChild(AtkObject* object, gint index) {
    IAccessibleNode* root = nullptr;
    AtkBridge* bridge = FrameBridge(object, root);
    if (!bridge) return ATK_OBJECT_CLASS(velmora_frame_accessible_parent_class)->ref_child(object, index);
    std::vector<AtkObject*> children = bridge->ChildrenOf(root);
    if (index < 0 || index >= static_cast<gint>(children.size())) return nullptr;
    return ATK_OBJECT(g_object_ref(children[static_cast<std::size_t>(index)]));
}

void velmora_frame_accessible_class_init(VelmoraFrameAccessibleClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_n_children = FrameGetNChildren;
    atk->ref_child = FrameRefChild;
}

void velmora_frame_accessible_init(VelmoraFrameAccessible*) {}

struct VelmoraWindow {
    GtkWindow parent;
};
struct VelmoraWindowClass {
    GtkWindowClass parent_class;
};
G_DEFINE_TYPE(VelmoraWindow, velmora_window, GTK_TYPE_WINDOW)

void velmora_window_class_init(VelmoraWindowClass* klass) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), velmora_frame_accessible_get_type());
}

void velmora_window_init(VelmoraWindow*) {}

}  // namespace

namespace velmora::gtk {

GtkWidget* NewAccessibleWindow() {
    return GTK_WIDGET(g_object_new(velmora_window_get_type(), "type", GTK_WINDOW_TOPLEVEL, nullptr));
}

namespace {
std::vector<GObjectPtr<AtkObject>> RefChildren(AtkObject* object) {
    std::vector<GObjectPtr<AtkObject>> out;
    const gint n = atk_object_get_n_accessible_children(object);
    for (gint i = 0; i < n; ++i)
        if (AtkObject* child = atk_object_ref_accessible_child(object, i)) out.emplace_back(child);
    return out;
}

GObjectPtr<AtkObject> Ref(AtkObject* object) { return GObjectPtr<AtkObject>(ATK_OBJECT(g_object_ref(object))); }

bool Listed(const std::vector<GObjectPtr<AtkObject>>& list, AtkObject* object) {
    return std::any_of(list.begin(), list.end(), [object](const auto& held) { return held.get() == object; });
}
}  // namespace

AtkBridge::~AtkBridge() {
    for (auto& [node, wrapper] : wrappers_) AsNode(wrapper.object.get())->node = nullptr;
}

AtkBridge* AtkBridge::OfWindow(GtkWidget* window) {
    return static_cast<AtkBridge*>(g_object_get_data(G_OBJECT(window), kBridgeKey));
}

GtkWidget* AtkBridge::WindowWidget(platform::WindowHandle window) {
    GtkWidget* widget = window ? platform_.TopLevelWidget(window) : nullptr;
    return widget && GTK_IS_WINDOW(widget) ? widget : nullptr;
}

IAccessibleNode* AtkBridge::RootOfWidget(GtkWidget* window) {
    if (OfWindow(window) != this) return nullptr;
    return static_cast<IAccessibleNode*>(g_object_get_data(G_OBJECT(window), kRootKey));
}

void AtkBridge::TreeChanging(platform::WindowHandle window) {
    GtkWidget* widget = WindowWidget(window);
    frameBefore_.clear();
    if (widget) frameBefore_ = RefChildren(gtk_widget_get_accessible(widget));
}

void AtkBridge::TreeChanged(platform::WindowHandle window) {
    GtkWidget* widget = WindowWidget(window);
    std::vector<GObjectPtr<AtkObject>> before = std::move(frameBefore_);
    frameBefore_.clear();
    if (!widget) return;
    IAccessibleNode* root = RootOf(window);
    g_object_set_data(G_OBJECT(widget), kBridgeKey, root ? this : nullptr);
    g_object_set_data(G_OBJECT(widget), kRootKey, root);
    // The frame's children change from GTK's widgets to the tree (or back):
    // clients that cached the old ones must hear it.
    AtkObject* frame = gtk_widget_get_accessible(widget);
    std::vector<GObjectPtr<AtkObject>> after = RefChildren(frame);
    for (std::size_t i = before.size(); i-- > 0;)
        g_signal_emit_by_name(frame, "children-changed::remove", static_cast<guint>(i), before[i].get());
    for (std::size_t i = 0; i < after.size(); ++i)
        g_signal_emit_by_name(frame, "children-changed::add", static_cast<guint>(i), after[i].get());
}

GtkWidget* AtkBridge::AreaOf(IAccessibleNode* node) {
    GtkWidget* window = WindowWidget(WindowOf(node));
    if (!window) return nullptr;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(window));
    // The window holds an overlay whose main child is the drawing area.
    return child && GTK_IS_BIN(child) ? gtk_bin_get_child(GTK_BIN(child)) : child;
}

AtkObject* AtkBridge::Wrap(IAccessibleNode* node) {
    if (!node) return nullptr;
    const platform::WindowHandle window = WindowOf(node);
    GtkWidget* widget = WindowWidget(window);
    if (!widget) return nullptr;
    if (!node->Parent()) return gtk_widget_get_accessible(widget);
    auto known = wrappers_.find(node);
    if (known != wrappers_.end()) return known->second.object.get();
    if (node->Role() == AccessibleRole::Embedded) {
        GtkWidget* display = platform_.TopLevelWidget(node->EmbeddedWindow());
        return display ? gtk_widget_get_accessible(display) : nullptr;
    }
    auto* object = AsNode(g_object_new(velmora_atk_node_get_type(), nullptr));
    object->node = node;
    object->bridge = this;
    atk_object_initialize(ATK_OBJECT(object), nullptr);
    wrappers_[node].object.reset(ATK_OBJECT(object));
    Remember(*node);
    return ATK_OBJECT(object);
}

std::vector<AtkObject*> AtkBridge::ChildrenOf(IAccessibleNode* node) {
    std::vector<AtkObject*> out;
    AtkObject* self = Wrap(node);
    for (IAccessibleNode* child : node->Children()) {
        AtkObject* object = Wrap(child);
        if (!object) continue;
        // The display widget's accessible belongs to the overlay as GTK sees
        // it; screen readers must find it where the control stands.
        if (child->Role() == AccessibleRole::Embedded && self && atk_object_get_parent(object) != self)
            atk_object_set_parent(object, self);
        out.push_back(object);
    }
    return out;
}

// The hooks below are called only for nodes inside a published tree that
// the tracker knows; the root stands for the frame, which GTK announces.

void AtkBridge::NameChanged(IAccessibleNode& node) {
    auto it = wrappers_.find(&node);
    if (it != wrappers_.end()) g_object_notify(G_OBJECT(it->second.object.get()), "accessible-name");
}

void AtkBridge::BoundsChanged(IAccessibleNode& node) {
    auto it = wrappers_.find(&node);
    AtkRectangle rect{0, 0, 0, 0};
    if (it != wrappers_.end() && NodeExtents(*this, &node, ATK_XY_SCREEN, rect))
        g_signal_emit_by_name(it->second.object.get(), "bounds-changed", &rect);
}

void AtkBridge::ChildrenChanged(IAccessibleNode& node) {
    auto it = wrappers_.find(&node);
    if (it == wrappers_.end()) return;
    AtkObject* object = it->second.object.get();
    std::vector<GObjectPtr<AtkObject>> now;
    for (AtkObject* child : ChildrenOf(&node)) now.push_back(Ref(child));
    // ChildrenOf may have made new wrappers: look the node up again.
    std::vector<GObjectPtr<AtkObject>> before = std::move(wrappers_[&node].lastChildren);
    for (std::size_t i = 0; i < before.size(); ++i)
        if (!Listed(now, before[i].get()))
            g_signal_emit_by_name(object, "children-changed::remove", static_cast<guint>(i), before[i].get());
    for (std::size_t i = 0; i < now.size(); ++i)
        if (!Listed(before, now[i].get()))
            g_signal_emit_by_name(object, "children-changed::add", static_cast<guint>(i), now[i].get());
    wrappers_[&node].lastChildren = std::move(now);
}

void AtkBridge::StatesChanged(IAccessibleNode& node, unsigned before, unsigned now) {
    AtkObject* object = Wrap(&node);
    if (!object || !g_type_is_a(G_OBJECT_TYPE(object), velmora_atk_node_get_type())) return;
    for (const StateMapping& m : kStates)
        if ((now ^ before) & m.bit) atk_object_notify_state_change(object, m.state, (now & m.bit) != 0);
}

void AtkBridge::Forgotten(IAccessibleNode& node) {
    auto it = wrappers_.find(&node);
    if (it == wrappers_.end()) return;
    Wrapper gone = std::move(it->second);
    wrappers_.erase(it);
    AsNode(gone.object.get())->node = nullptr;
    atk_object_notify_state_change(gone.object.get(), ATK_STATE_DEFUNCT, TRUE);
}

}  // namespace velmora::gtk
