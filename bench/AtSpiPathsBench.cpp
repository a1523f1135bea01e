// What one outline read's hot questions cost over each way of asking them, against a GTK window of
// 250 controls (fixtures/outline_app.py --controls 250), on the test desktop:
//   scripts/desktop run build/bin/atspi_paths_bench
// The questions: GetExtents of every element that has a Component (what a read asks of each
// control), and the application's Cache.GetItems. The ways: GDBus calls as the adapter makes them
// today (a task, a timeout source and a reply hop per call); GDBus messages sent without reply
// tracking, their replies taken by a filter on GDBus's own thread; and sd-bus, pipelined from the
// calling thread. Each both through the accessibility bus's daemon and peer to peer, straight to
// the application's own socket (Application.GetApplicationBusAddress). Times are wall time and the
// whole process's CPU (GDBus works on a thread of its own).

#include <benchmark/benchmark.h>
#include <gio/gio.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AtSpi.hpp"
#include "FixtureProcess.hpp"
#include "GLibHandles.hpp"
#include "LinuxPermissions.hpp"

namespace {

using halcy::AtSpi;
using halcy::AtSpiRef;
using Ms = std::chrono::milliseconds;

constexpr const char* componentInterface = "org.a11y.atspi.Component";
constexpr std::uint64_t timeoutUsec = 400000;

// The 250-control GTK window every benchmark here reads.
using Window = halcy::bench::FixtureProcess;

AtSpi& atspi() {
  static AtSpi client;
  return client;
}

std::string busAddress() {
  if (const char* address = std::getenv("AT_SPI_BUS_ADDRESS")) return address;
  halcy::Connection session = halcy::GLibBus::session(Ms{1000});
  halcy::Variant reply =
      halcy::GLibBus::call(session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                           "GetAddress", nullptr, "(s)", Ms{1000});
  const gchar* address = nullptr;
  g_variant_get(reply.get(), "(&s)", &address);
  return address;
}

struct Target {
  AtSpiRef app;
  std::string busAddress;
  std::string peerAddress;
  std::vector<AtSpiRef> components;
};

const Target& target() {
  // Toolkits join the accessibility bus only once accessibility is on.
  static const bool on = halcy::LinuxPermissions::setAccessibilityEnabled();
  static Window window(HALCY_OUTLINE_APP,
                       {"--controls", "250", "--width", "1800", "--height", "1000"});
  static Target found = [] {
    Target t;
    for (int i = 0; i < 1000; ++i) {
      if (auto app = atspi().application(window.pid(), Ms{400})) {
        auto items = atspi().cacheItems(app->bus, Ms{2000});
        if (on && items && items->size() > 250) {
          t.app = *app;
          for (const auto& item : *items) {
            for (const auto& name : item.interfaces) {
              if (name == componentInterface) t.components.push_back(item.self);
            }
          }
          break;
        }
      }
      std::this_thread::sleep_for(Ms{20});
    }
    if (t.components.empty()) {
      std::fputs("atspi_paths_bench: the window did not appear on the accessibility bus\n", stderr);
      std::exit(1);
    }
    t.busAddress = busAddress();
    halcy::Connection bus = halcy::GLibBus::connectToAddress(t.busAddress, Ms{1000});
    halcy::Variant reply = halcy::GLibBus::call(
        bus.get(), t.app.bus.c_str(), "/org/a11y/atspi/accessible/root",
        "org.a11y.atspi.Application", "GetApplicationBusAddress", nullptr, "(s)", Ms{1000});
    const gchar* peer = nullptr;
    if (reply) g_variant_get(reply.get(), "(&s)", &peer);
    t.peerAddress = peer != nullptr ? peer : "";
    return t;
  }();
  return found;
}

void report(benchmark::State& state, std::size_t answered) {
  state.counters["calls"] = static_cast<double>(target().components.size());
  state.counters["answered"] = static_cast<double>(answered);
}

// --- GDBus ---------------------------------------------------------------------------------------

GDBusConnection* gdbusConnection(bool peer) {
  static GDBusConnection* viaBus = [] {
    return g_dbus_connection_new_for_address_sync(
        target().busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
  }();
  static GDBusConnection* direct = [] {
    return g_dbus_connection_new_for_address_sync(target().peerAddress.c_str(),
                                                  G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT,
                                                  nullptr, nullptr, nullptr);
  }();
  return peer ? direct : viaBus;
}

// Today's way: one GDBus call per question, pipelined 64 at a time.
void ExtentsGDBusCalls(benchmark::State& state) {
  const bool peer = state.range(0) != 0;
  const Target& t = target();
  GDBusConnection* bus = gdbusConnection(peer);
  std::size_t answered = 0;
  for (auto _ : state) {
    answered = 0;
    for (std::size_t first = 0; first < t.components.size(); first += 64) {
      std::vector<halcy::GLibBus::PendingCall> calls;
      for (std::size_t i = first; i < std::min(first + 64, t.components.size()); ++i) {
        const AtSpiRef& e = t.components[i];
        // A peer connection ignores the destination the call names.
        calls.push_back({e.bus, e.path, componentInterface, "GetExtents", g_variant_new("(u)", 0U),
                         "((iiii))"});
      }
      for (auto& reply : halcy::GLibBus::callAll(bus, std::move(calls), Ms{400})) {
        answered += reply ? 1 : 0;
      }
    }
  }
  report(state, answered);
}

// Replies taken on GDBus's thread by a filter: no task, timeout or hop per call.
struct FilterRound {
  std::mutex lock;
  std::condition_variable done;
  std::map<guint32, std::size_t> serials;
  std::vector<GDBusMessage*> replies;
  std::size_t left = 0;
};

GDBusMessage* takeReply(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) {
  if (!incoming) return message;
  const GDBusMessageType type = g_dbus_message_get_message_type(message);
  if (type != G_DBUS_MESSAGE_TYPE_METHOD_RETURN && type != G_DBUS_MESSAGE_TYPE_ERROR) {
    return message;
  }
  auto* round = static_cast<FilterRound*>(data);
  std::lock_guard guard(round->lock);
  const auto found = round->serials.find(g_dbus_message_get_reply_serial(message));
  if (found == round->serials.end()) return message;
  round->replies[found->second] = message;
  round->serials.erase(found);
  if (--round->left == 0) round->done.notify_one();
  return nullptr;
}

void ExtentsGDBusFilter(benchmark::State& state) {
  const bool peer = state.range(0) != 0;
  const Target& t = target();
  GDBusConnection* bus = gdbusConnection(peer);
  FilterRound round;
  const guint filter = g_dbus_connection_add_filter(bus, takeReply, &round, nullptr);
  std::size_t answered = 0;
  for (auto _ : state) {
    answered = 0;
    std::unique_lock guard(round.lock);
    round.replies.assign(t.components.size(), nullptr);
    round.left = t.components.size();
    for (std::size_t i = 0; i < t.components.size(); ++i) {
      const AtSpiRef& e = t.components[i];
      GDBusMessage* message = g_dbus_message_new_method_call(
          peer ? nullptr : e.bus.c_str(), e.path.c_str(), componentInterface, "GetExtents");
      g_dbus_message_set_body(message, g_variant_new("(u)", 0U));
      guint32 serial = 0;
      g_dbus_connection_send_message(bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, &serial,
                                     nullptr);
      g_object_unref(message);
      round.serials.emplace(serial, i);
    }
    round.done.wait_for(guard, std::chrono::microseconds(timeoutUsec),
                        [&] { return round.left == 0; });
    round.serials.clear();
    for (GDBusMessage*& reply : round.replies) {
      if (reply == nullptr) continue;
      GVariant* body = g_dbus_message_get_body(reply);
      if (g_dbus_message_get_message_type(reply) == G_DBUS_MESSAGE_TYPE_METHOD_RETURN && body &&
          g_variant_is_of_type(body, G_VARIANT_TYPE("((iiii))"))) {
        gint32 x, y, w, h;
        g_variant_get(body, "((iiii))", &x, &y, &w, &h);
        ++answered;
      }
      g_object_unref(reply);
      reply = nullptr;
    }
  }
  g_dbus_connection_remove_filter(bus, filter);
  report(state, answered);
}

// --- sd-bus --------------------------------------------------------------------------------------

sd_bus* sdBus(bool peer) {
  const auto open = [](const std::string& address, bool client) {
    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    sd_bus_set_address(bus, address.c_str());
    sd_bus_set_bus_client(bus, client ? 1 : 0);
    if (sd_bus_start(bus) < 0) {
      std::fprintf(stderr, "atspi_paths_bench: sd-bus cannot connect to %s\n", address.c_str());
      std::exit(1);
    }
    return bus;
  };
  static sd_bus* viaBus = open(target().busAddress, true);
  static sd_bus* direct = open(target().peerAddress, false);
  return peer ? direct : viaBus;
}

struct SdRound {
  std::size_t left = 0;
  std::size_t answered = 0;
};

int onExtents(sd_bus_message* reply, void* data, sd_bus_error*) {
  auto* round = static_cast<SdRound*>(data);
  --round->left;
  std::int32_t x, y, w, h;
  if (!sd_bus_message_is_method_error(reply, nullptr) &&
      sd_bus_message_read(reply, "(iiii)", &x, &y, &w, &h) > 0) {
    ++round->answered;
  }
  return 0;
}

void drain(sd_bus* bus, const std::size_t& left) {
  while (left > 0) {
    const int processed = sd_bus_process(bus, nullptr);
    if (processed < 0) break;
    if (processed == 0) sd_bus_wait(bus, timeoutUsec);
  }
}

void ExtentsSdBus(benchmark::State& state) {
  const bool peer = state.range(0) != 0;
  const Target& t = target();
  sd_bus* bus = sdBus(peer);
  SdRound round;
  for (auto _ : state) {
    round = SdRound{t.components.size(), 0};
    for (const AtSpiRef& e : t.components) {
      sd_bus_message* call = nullptr;
      sd_bus_message_new_method_call(bus, &call, peer ? nullptr : e.bus.c_str(), e.path.c_str(),
                                     componentInterface, "GetExtents");
      sd_bus_message_append(call, "u", 0U);
      sd_bus_call_async(bus, nullptr, call, onExtents, &round, timeoutUsec);
      sd_bus_message_unref(call);
    }
    drain(bus, round.left);
  }
  report(state, round.answered);
}

// --- the cache -----------------------------------------------------------------------------------

void CacheGDBus(benchmark::State& state) {
  const Target& t = target();
  std::size_t items = 0;
  for (auto _ : state) {
    auto read = atspi().cacheItems(t.app.bus, Ms{400});
    items = read ? read->size() : 0;
  }
  state.counters["items"] = static_cast<double>(items);
}

// Reads every field of every item, as the adapter's cache index needs them.
std::size_t readItems(sd_bus_message* reply) {
  std::size_t items = 0;
  if (sd_bus_message_enter_container(reply, 'a', "((so)(so)(so)iiassusau)") <= 0) return 0;
  while (sd_bus_message_enter_container(reply, 'r', "(so)(so)(so)iiassusau") > 0) {
    const char *bus, *path, *appBus, *appPath, *parentBus, *parentPath, *name, *description;
    std::int32_t index, count;
    std::uint32_t role;
    sd_bus_message_read(reply, "(so)(so)(so)ii", &bus, &path, &appBus, &appPath, &parentBus,
                        &parentPath, &index, &count);
    char** interfaces = nullptr;
    sd_bus_message_read_strv(reply, &interfaces);
    for (char** i = interfaces; i && *i; ++i) std::free(*i);
    std::free(interfaces);
    sd_bus_message_read(reply, "sus", &name, &role, &description);
    const void* states = nullptr;
    std::size_t size = 0;
    sd_bus_message_read_array(reply, 'u', &states, &size);
    sd_bus_message_exit_container(reply);
    ++items;
  }
  sd_bus_message_exit_container(reply);
  return items;
}

void CacheSdBus(benchmark::State& state) {
  const bool peer = state.range(0) != 0;
  const Target& t = target();
  sd_bus* bus = sdBus(peer);
  std::size_t items = 0;
  for (auto _ : state) {
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_call_method(bus, peer ? nullptr : t.app.bus.c_str(), "/org/a11y/atspi/cache",
                       "org.a11y.atspi.Cache", "GetItems", &error, &reply, "");
    items = reply != nullptr ? readItems(reply) : 0;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
  }
  state.counters["items"] = static_cast<double>(items);
}

}  // namespace

BENCHMARK(ExtentsGDBusCalls)
    ->ArgName("peer")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(ExtentsGDBusFilter)
    ->ArgName("peer")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(ExtentsSdBus)->ArgName("peer")->Arg(0)->Arg(1)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(CacheGDBus)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(CacheSdBus)->ArgName("peer")->Arg(0)->Arg(1)->UseRealTime()->MeasureProcessCPUTime();

BENCHMARK_MAIN();
