#include "LinuxPermissions.hpp"

#include <gio/gio.h>

#include "AtSpi.hpp"
#include "GLibHandles.hpp"

namespace halcy::LinuxPermissions {

namespace {

constexpr GLibBus::Timeout busTimeout{500};

// Properties of the accessibility bus's own status object, over a private session connection.
Variant callA11yBus(const char* method, GVariant* parameters, const char* replyType) {
  const Connection bus = GLibBus::session(busTimeout);
  return GLibBus::call(bus.get(), "org.a11y.Bus", "/org/a11y/bus",
                       "org.freedesktop.DBus.Properties", method, parameters, replyType,
                       busTimeout);
}

}  // namespace

bool displayReachable(XConnection& connection) {
  return connection.link() != nullptr;
}

// The accessibility bus itself answers: its registry lists the applications.
bool accessibilityBusReachable() {
  // One client for the life of the engine: its connection is made again when the bus comes back.
  static AtSpi atspi;
  return atspi.reachable(busTimeout);
}

bool accessibilityEnabled() {
  Variant reply = callA11yBus("Get", g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), "(v)");
  if (!reply) return false;
  GVariant* value = nullptr;
  g_variant_get(reply.get(), "(v)", &value);
  const Variant owned(value);
  return g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
}

bool setAccessibilityEnabled() {
  const Variant reply = callA11yBus(
      "Set", g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
      nullptr);
  return reply != nullptr;
}

bool accessibilityUsable() {
  return accessibilityEnabled() && accessibilityBusReachable();
}

}  // namespace halcy::LinuxPermissions
