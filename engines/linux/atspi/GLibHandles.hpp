#pragma once
// Owning handles for GLib and GDBus objects, and D-Bus calls that never wait longer than asked.

#include <gio/gio.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace halcy {

struct VariantUnref {
  void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

struct GFreeDeleter {
  void operator()(gpointer memory) const { g_free(memory); }
};
using OwnedText = std::unique_ptr<gchar, GFreeDeleter>;

using Connection = std::shared_ptr<GDBusConnection>;

namespace GLibBus {

using Timeout = std::chrono::milliseconds;

// A private connection to the session bus, or none (no bus, or no answer in time). Private, so
// that a bus that goes away is not pinned by a shared connection.
Connection session(Timeout timeout);
// A connection to a message bus at a D-Bus address, or none.
Connection connectToAddress(const std::string& address, Timeout timeout);

// Sinks a floating parameter tuple that will not be sent.
void discard(GVariant* parameters);

// One method call; none when it fails, times out or answers another type. Takes parameters.
Variant call(GDBusConnection* bus, const char* name, const char* path, const char* interface,
             const char* method, GVariant* parameters, const char* replyType, Timeout timeout);

struct PendingCall {
  std::string name;
  std::string path;
  const char* interface;
  const char* method;
  GVariant* parameters;  // floating, taken
  const char* replyType;
};
// Sends every call before waiting for any; each has its own timeout. Replies in call order.
std::vector<Variant> callAll(GDBusConnection* bus, std::vector<PendingCall> calls, Timeout timeout);

}  // namespace GLibBus

}  // namespace halcy
