#include "ScreenReaderSwitch.h"

namespace velmora::gtk {

namespace {
constexpr const char* kProperty = "ScreenReaderEnabled";
}

ScreenReaderSwitch::ScreenReaderSwitch(std::function<void(bool on)> changed)
    : changed_(std::move(changed)), cancellable_(g_cancellable_new()) {
    // The cancellable ends the request with the switch: the answer never
    // reaches a destroyed object.
    g_dbus_proxy_new_for_bus(G_BUS_TYPE_SESSION,
                             static_cast<GDBusProxyFlags>(G_DBUS_PROXY_FLAGS_GET_INVALIDATED_PROPERTIES |
                                                          G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START),
                             nullptr, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status", cancellable_.get(), OnProxy,
                             this);
}

ScreenReaderSwitch::~ScreenReaderSwitch() {
    g_cancellable_cancel(cancellable_.get());
    if (proxy_) g_signal_handlers_disconnect_by_data(proxy_.get(), this);
}

void ScreenReaderSwitch::OnProxy(GObject*, GAsyncResult* result, gpointer data) {
    GError* raw = nullptr;
    GDBusProxy* proxy = g_dbus_proxy_new_for_bus_finish(result, &raw);
    GErrorPtr error(raw);
    // Cancelled (the switch is gone, data with it) or no session bus: off.
    if (!proxy) return;
    auto* self = static_cast<ScreenReaderSwitch*>(data);
    self->proxy_.reset(proxy);
    g_signal_connect(proxy, "g-properties-changed", G_CALLBACK(OnPropertiesChanged), self);
    self->Read();
}

void ScreenReaderSwitch::OnPropertiesChanged(GDBusProxy*, GVariant*, GStrv, gpointer self) {
    static_cast<ScreenReaderSwitch*>(self)->Read();
}

void ScreenReaderSwitch::Read() {
    GVariantPtr value(g_dbus_proxy_get_cached_property(proxy_.get(), kProperty));
    const bool on =
        value && g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value.get());
    if (changed_) changed_(on);
}

}  // namespace velmora::gtk
