#include "GLibHandles.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace halcy::GLibBus {

namespace {

int milliseconds(Timeout timeout) {
  return static_cast<int>(std::clamp<std::int64_t>(timeout.count(), 1, 60'000));
}

struct ContextUnref {
  void operator()(GMainContext* context) const { g_main_context_unref(context); }
};
using Context = std::unique_ptr<GMainContext, ContextUnref>;

// Makes a fresh context the calling thread's default for callbacks, for as long as it lives.
class PrivateContext {
 public:
  PrivateContext() : context_(g_main_context_new()) {
    g_main_context_push_thread_default(context_.get());
  }
  ~PrivateContext() { g_main_context_pop_thread_default(context_.get()); }
  PrivateContext(const PrivateContext&) = delete;
  PrivateContext& operator=(const PrivateContext&) = delete;
  GMainContext* get() const { return context_.get(); }

 private:
  Context context_;
};

// The session bus address without autolaunching a bus when the environment names none.
std::string sessionAddress() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
    return address;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    const std::filesystem::path socket = std::filesystem::path(runtime) / "bus";
    std::error_code error;
    if (std::filesystem::exists(socket, error)) return "unix:path=" + socket.string();
  }
  return {};
}

// What the connect callback and its waiter share; whoever ends last frees it.
struct ConnectAttempt {
  GDBusConnection* connection = nullptr;
  bool done = false;
  bool abandoned = false;
};

void onConnected(GObject*, GAsyncResult* result, gpointer data) {
  auto* attempt = static_cast<ConnectAttempt*>(data);
  attempt->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
  attempt->done = true;
  if (attempt->abandoned) {
    if (attempt->connection != nullptr) g_object_unref(attempt->connection);
    delete attempt;
  }
}

Connection adopt(GDBusConnection* connection) {
  if (connection == nullptr) return nullptr;
  // A bus that goes away must not end the engine.
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  return Connection(connection, [](GDBusConnection* c) {
    g_dbus_connection_close(c, nullptr, nullptr, nullptr);
    g_object_unref(c);
  });
}

}  // namespace

Connection connectToAddress(const std::string& address, Timeout timeout) {
  if (address.empty()) return nullptr;
  PrivateContext context;
  auto* attempt = new ConnectAttempt;
  g_dbus_connection_new_for_address(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, onConnected, attempt);
  const gint64 deadline = g_get_monotonic_time() + milliseconds(timeout) * G_TIME_SPAN_MILLISECOND;
  bool late = false;
  GSource* timer = g_timeout_source_new(static_cast<guint>(milliseconds(timeout)));
  g_source_set_callback(
      timer,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &late, nullptr);
  g_source_attach(timer, context.get());
  while (!attempt->done && !late && g_get_monotonic_time() < deadline) {
    g_main_context_iteration(context.get(), TRUE);
  }
  g_source_destroy(timer);
  g_source_unref(timer);
  if (!attempt->done) {
    // A bus that accepts but never finishes the handshake: the attempt is given up, not waited
    // for; its few bytes stay behind rather than the caller.
    attempt->abandoned = true;
    return nullptr;
  }
  GDBusConnection* connection = attempt->connection;
  delete attempt;
  return adopt(connection);
}

Connection session(Timeout timeout) {
  return connectToAddress(sessionAddress(), timeout);
}

void discard(GVariant* parameters) {
  if (parameters != nullptr) g_variant_unref(g_variant_ref_sink(parameters));
}

Variant call(GDBusConnection* bus, const char* name, const char* path, const char* interface,
             const char* method, GVariant* parameters, const char* replyType, Timeout timeout) {
  if (bus == nullptr) {
    discard(parameters);
    return nullptr;
  }
  GError* error = nullptr;
  // Calls may start their service: the accessibility bus and its registry start on demand.
  GVariant* reply =
      g_dbus_connection_call_sync(bus, name, path, interface, method, parameters,
                                  replyType != nullptr ? G_VARIANT_TYPE(replyType) : nullptr,
                                  G_DBUS_CALL_FLAGS_NONE, milliseconds(timeout), nullptr, &error);
  Error owned(error);
  return Variant(reply);
}

namespace {

struct Slot {
  Variant reply;
  std::size_t* outstanding;
};

void onReply(GObject* source, GAsyncResult* result, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  GError* error = nullptr;
  slot->reply.reset(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error));
  Error owned(error);
  --*slot->outstanding;
}

}  // namespace

std::vector<Variant> callAll(GDBusConnection* bus, std::vector<PendingCall> calls,
                             Timeout timeout) {
  std::vector<Slot> slots(calls.size());
  if (bus == nullptr) {
    for (PendingCall& call : calls) discard(call.parameters);
    std::vector<Variant> none(calls.size());
    return none;
  }
  PrivateContext context;
  std::size_t outstanding = calls.size();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const PendingCall& c = calls[i];
    slots[i].outstanding = &outstanding;
    g_dbus_connection_call(bus, c.name.c_str(), c.path.c_str(), c.interface, c.method, c.parameters,
                           c.replyType ? G_VARIANT_TYPE(c.replyType) : nullptr,
                           G_DBUS_CALL_FLAGS_NONE, milliseconds(timeout), nullptr, onReply,
                           &slots[i]);
  }
  // Every call ends by its reply, its error or its own timeout; none can keep this waiting longer.
  while (outstanding > 0) g_main_context_iteration(context.get(), TRUE);
  std::vector<Variant> replies;
  replies.reserve(slots.size());
  for (Slot& slot : slots) replies.push_back(std::move(slot.reply));
  return replies;
}

}  // namespace halcy::GLibBus
