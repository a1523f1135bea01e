#include "LinuxPermissions.hpp"

#include <gio/gio.h>
#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "AtSpi.hpp"

namespace halcy::LinuxPermissions {

namespace {

constexpr int busTimeoutMs = 500;

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using SessionBus = std::unique_ptr<GDBusConnection, ObjectUnref>;

// Opening a connection has no timeout of its own, and a frozen bus would hold the request forever:
// a watchdog cancels the handshake when it runs over.
GDBusConnection* connectWithin(const gchar* address, std::chrono::milliseconds patience) {
  GCancellable* cancellable = g_cancellable_new();
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    if (!finished.wait_for(lock, patience, [&] { return done; })) g_cancellable_cancel(cancellable);
  });
  GError* error = nullptr;
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, cancellable, &error);
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  finished.notify_one();
  watchdog.join();
  g_clear_error(&error);
  g_object_unref(cancellable);
  return connection;
}

SessionBus sessionBus() {
  GError* error = nullptr;
  // A private connection: the shared one would outlive this check and pin a dead bus.
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  g_clear_error(&error);
  if (address == nullptr) return nullptr;
  GDBusConnection* connection = connectWithin(address, std::chrono::milliseconds(busTimeoutMs));
  g_free(address);
  return SessionBus(connection);
}

GVariant* callA11yBus(GDBusConnection* bus, const char* interface, const char* method,
                      GVariant* parameters, const GVariantType* replyType) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.a11y.Bus", "/org/a11y/bus", interface, method, parameters, replyType,
      G_DBUS_CALL_FLAGS_NONE, busTimeoutMs, nullptr, &error);
  g_clear_error(&error);
  return reply;
}

}  // namespace

bool displayReachable() {
  int screen = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen);
  const bool reachable = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return reachable;
}

// The accessibility bus itself answers: its registry lists the applications.
bool accessibilityBusReachable() {
  // One client for the life of the engine: its connection is made again when the bus comes back.
  static AtSpi atspi;
  return atspi.reachable(std::chrono::milliseconds(busTimeoutMs));
}

bool accessibilityEnabled() {
  SessionBus bus = sessionBus();
  if (!bus) return false;
  GVariant* reply =
      callA11yBus(bus.get(), "org.freedesktop.DBus.Properties", "Get",
                  g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"));
  if (reply == nullptr) return false;
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  const bool enabled =
      g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
  g_variant_unref(value);
  g_variant_unref(reply);
  return enabled;
}

bool setAccessibilityEnabled() {
  SessionBus bus = sessionBus();
  if (!bus) return false;
  GVariant* reply = callA11yBus(
      bus.get(), "org.freedesktop.DBus.Properties", "Set",
      g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)), nullptr);
  if (reply == nullptr) return false;
  g_variant_unref(reply);
  return true;
}

bool accessibilityUsable() {
  return accessibilityEnabled() && accessibilityBusReachable();
}

}  // namespace halcy::LinuxPermissions
