#include "LinuxPermissions.hpp"

#include <gio/gio.h>
#include <pulse/pulseaudio.h>
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
constexpr auto soundServerTimeout = std::chrono::milliseconds(800);

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

namespace {

struct SoundProbe {
  bool done = false;
  bool hasSource = false;
  std::string defaultSource;
};

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  auto* probe = static_cast<SoundProbe*>(userdata);
  if (eol != 0) {
    probe->done = true;
    return;
  }
  // A sink's monitor is the sound going out, not a microphone.
  if (info != nullptr && info->monitor_of_sink == PA_INVALID_INDEX) probe->hasSource = true;
}

void onServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
  auto* probe = static_cast<SoundProbe*>(userdata);
  if (info == nullptr || info->default_source_name == nullptr) {
    probe->done = true;
    return;
  }
  probe->defaultSource = info->default_source_name;
  pa_operation* operation =
      pa_context_get_source_info_by_name(context, info->default_source_name, onSourceInfo, probe);
  if (operation == nullptr) {
    probe->done = true;
    return;
  }
  pa_operation_unref(operation);
}

void onContextState(pa_context* context, void* userdata) {
  auto* probe = static_cast<SoundProbe*>(userdata);
  switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
      pa_operation* operation = pa_context_get_server_info(context, onServerInfo, probe);
      if (operation == nullptr) {
        probe->done = true;
      } else {
        pa_operation_unref(operation);
      }
      break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      probe->done = true;
      break;
    default:
      break;
  }
}

}  // namespace

bool microphoneAvailable() {
  pa_mainloop* loop = pa_mainloop_new();
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "halcy-engine");
  SoundProbe probe;
  pa_context_set_state_callback(context, onContextState, &probe);
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) probe.done = true;
  const auto deadline = std::chrono::steady_clock::now() + soundServerTimeout;
  while (!probe.done && std::chrono::steady_clock::now() < deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (pa_mainloop_prepare(loop, static_cast<int>(std::max<long>(left.count(), 0))) < 0) break;
    if (pa_mainloop_poll(loop) < 0) break;
    if (pa_mainloop_dispatch(loop) < 0) break;
  }
  pa_context_disconnect(context);
  pa_context_unref(context);
  pa_mainloop_free(loop);
  return probe.hasSource;
}

}  // namespace halcy::LinuxPermissions
