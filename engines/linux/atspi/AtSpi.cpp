#include "AtSpi.hpp"

#include <gio/gio.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <set>

#include "GLibHandles.hpp"
#include "LinuxNotifications.hpp"

namespace halcy {

namespace {

constexpr const char* registryName = "org.a11y.atspi.Registry";
constexpr const char* registryPath = "/org/a11y/atspi/registry";
constexpr const char* registryInterface = "org.a11y.atspi.Registry";
constexpr const char* rootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* cachePath = "/org/a11y/atspi/cache";
constexpr const char* accessibleInterface = "org.a11y.atspi.Accessible";
constexpr const char* componentInterface = "org.a11y.atspi.Component";
constexpr const char* textInterface = "org.a11y.atspi.Text";
constexpr const char* valueInterface = "org.a11y.atspi.Value";
constexpr const char* collectionInterface = "org.a11y.atspi.Collection";
constexpr const char* hyperlinkInterface = "org.a11y.atspi.Hyperlink";
constexpr const char* documentInterface = "org.a11y.atspi.Document";
constexpr const char* selectionInterface = "org.a11y.atspi.Selection";
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* eventInterfacePrefix = "org.a11y.atspi.Event.";
constexpr std::uint32_t screenCoordinates = 0;
constexpr std::uint32_t matchAll = 1;
constexpr std::uint32_t sortCanonical = 1;
// Elements a walk asks about in one pipelined round; keeps the bus's pending replies bounded.
constexpr std::size_t pipelineBatch = 64;

// Toolkits only start their caches and events once somebody listens; this cheap event is that
// somebody for as long as the engine is connected.
constexpr const char* wakeEvent = "object:state-changed:focused";

// How long a missing bus is taken as missing before connecting is tried again.
constexpr std::chrono::milliseconds reconnectPause{1000};

std::optional<AtSpiRef> refOf(GVariant* pair) {
  const gchar* bus = nullptr;
  const gchar* path = nullptr;
  g_variant_get(pair, "(&s&o)", &bus, &path);
  // "(\"\", /org/a11y/atspi/null)" is how the bus says "no element".
  if (bus == nullptr || bus[0] == '\0' || g_str_has_suffix(path, "/null")) return std::nullopt;
  return AtSpiRef{bus, path};
}

std::vector<AtSpiRef> refsOf(GVariant* array) {
  std::vector<AtSpiRef> refs;
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  while (GVariant* child = g_variant_iter_next_value(&iter)) {
    if (auto ref = refOf(child)) refs.push_back(std::move(*ref));
    g_variant_unref(child);
  }
  return refs;
}

AtSpiStates statesOf(GVariant* array) {
  std::uint32_t words[2] = {0, 0};
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < 2 && g_variant_iter_next(&iter, "u", &word); ++i) words[i] = word;
  return AtSpiStates::of(words[0], words[1]);
}

std::vector<std::string> stringsOf(GVariant* array) {
  std::vector<std::string> strings;
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  const gchar* text = nullptr;
  while (g_variant_iter_next(&iter, "&s", &text)) strings.emplace_back(text);
  return strings;
}

// A composite read (several calls) answers within the timeout its caller gave, all calls together.
class Budget {
 public:
  explicit Budget(AtSpi::Timeout timeout) : end_(std::chrono::steady_clock::now() + timeout) {}
  AtSpi::Timeout left() const {
    const auto rest =
        std::chrono::duration_cast<AtSpi::Timeout>(end_ - std::chrono::steady_clock::now());
    return std::max(rest, AtSpi::Timeout{1});
  }
  bool spent() const { return std::chrono::steady_clock::now() >= end_; }

 private:
  std::chrono::steady_clock::time_point end_;
};

std::string shortestNumber(double number) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  return std::string(buffer, result.ptr);
}

// Parsers of single replies; each answers none for a missing reply.
std::optional<std::uint32_t> roleReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  std::uint32_t role = 0;
  g_variant_get(reply.get(), "(u)", &role);
  return role;
}

std::optional<std::string> stringPropertyReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  Variant boxed(g_variant_get_child_value(reply.get(), 0));
  Variant value(g_variant_get_variant(boxed.get()));
  if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) return std::nullopt;
  return std::string(g_variant_get_string(value.get(), nullptr));
}

std::optional<AtSpiStates> statesReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  Variant words(g_variant_get_child_value(reply.get(), 0));
  return statesOf(words.get());
}

std::optional<std::vector<AtSpiRef>> childrenReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  Variant list(g_variant_get_child_value(reply.get(), 0));
  return refsOf(list.get());
}

std::optional<std::string> textReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  const gchar* text = nullptr;
  g_variant_get(reply.get(), "(&s)", &text);
  return std::string(text);
}

std::optional<std::int32_t> intPropertyReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  Variant boxed(g_variant_get_child_value(reply.get(), 0));
  Variant value(g_variant_get_variant(boxed.get()));
  if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_INT32)) return std::nullopt;
  return g_variant_get_int32(value.get());
}

std::optional<double> doublePropertyReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  Variant boxed(g_variant_get_child_value(reply.get(), 0));
  Variant value(g_variant_get_variant(boxed.get()));
  if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_DOUBLE)) return std::nullopt;
  return g_variant_get_double(value.get());
}

std::map<std::string, std::string> attributesReply(const Variant& reply) {
  std::map<std::string, std::string> attributes;
  if (!reply) return attributes;
  Variant map(g_variant_get_child_value(reply.get(), 0));
  GVariantIter iter;
  g_variant_iter_init(&iter, map.get());
  const gchar* key = nullptr;
  const gchar* value = nullptr;
  while (g_variant_iter_next(&iter, "{&s&s}", &key, &value)) attributes.emplace(key, value);
  return attributes;
}

std::optional<AtSpiRect> extentsReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  AtSpiRect rect;
  g_variant_get(reply.get(), "((iiii))", &rect.x, &rect.y, &rect.width, &rect.height);
  return rect;
}

std::optional<AtSpiRef> parentReply(const Variant& reply) {
  if (!reply) return std::nullopt;
  Variant boxed(g_variant_get_child_value(reply.get(), 0));
  Variant value(g_variant_get_variant(boxed.get()));
  if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE("(so)"))) return std::nullopt;
  return refOf(value.get());
}

std::vector<std::string> interfacesReply(const Variant& reply) {
  if (!reply) return {};
  Variant names(g_variant_get_child_value(reply.get(), 0));
  return stringsOf(names.get());
}

}  // namespace

// The connection and what must be set up again on each new one. Shared with pending main-context
// work so that it outlives whichever ends last.
struct AtSpi::Bus : std::enable_shared_from_this<AtSpi::Bus> {
  struct Listener {
    std::vector<std::string> eventTypes;
    EventHandler handler;
  };

  std::mutex lock;
  Connection connection;
  std::map<std::string, std::int64_t> pids;  // by unique bus name, valid for one connection
  std::map<std::uint64_t, Listener> listeners;
  std::uint64_t nextListener = 1;
  std::vector<guint> signalIds;      // on `connection`
  std::set<std::string> registered;  // event types the registry holds for `connection`
  std::chrono::steady_clock::time_point retryAfter;

  ~Bus() { dropSignals(connection.get()); }

  Connection current(Timeout timeout) {
    Connection fresh;
    {
      std::lock_guard guard(lock);
      if (connection && !g_dbus_connection_is_closed(connection.get())) return connection;
      dropSignals(connection.get());
      pids.clear();
      connection.reset();
      // Without a bus, a walk of many calls would wait for a connection on each of them.
      if (std::chrono::steady_clock::now() < retryAfter) return nullptr;
      connection = GLibBus::connectToAddress(accessibilityBusAddress(timeout), timeout);
      if (!connection) {
        retryAfter = std::chrono::steady_clock::now() + reconnectPause;
        return nullptr;
      }
      registered = listenedTypes();
      registerEvents(connection.get(), registered, timeout);
      fresh = connection;
    }
    scheduleSignals(fresh);
    return fresh;
  }

  static std::string accessibilityBusAddress(Timeout timeout) {
    if (const char* address = std::getenv("AT_SPI_BUS_ADDRESS"); address && address[0] != '\0') {
      return address;
    }
    Connection session = GLibBus::session(timeout);
    if (!session) return {};
    Variant reply = GLibBus::call(session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                  "GetAddress", nullptr, "(s)", timeout);
    if (!reply) return {};
    const gchar* address = nullptr;
    g_variant_get(reply.get(), "(&s)", &address);
    return address != nullptr ? address : "";
  }

  // With `lock` held.
  std::set<std::string> listenedTypes() const {
    std::set<std::string> types{wakeEvent};
    for (const auto& [id, listener] : listeners) {
      types.insert(listener.eventTypes.begin(), listener.eventTypes.end());
    }
    return types;
  }

  // Waits for the registry's answers: once it has answered, the applications have been told, so
  // what they do next is heard.
  static void registerEvents(GDBusConnection* bus, const std::set<std::string>& types,
                             Timeout timeout) {
    std::vector<GLibBus::PendingCall> calls;
    for (const std::string& type : types) {
      calls.push_back({registryName, registryPath, registryInterface, "RegisterEvent",
                       g_variant_new("(s@ass)", type.c_str(), g_variant_new_strv(nullptr, 0), ""),
                       nullptr});
    }
    GLibBus::callAll(bus, std::move(calls), timeout);
  }

  // Applications stop sending what nobody listens to any more; nothing waits for that.
  static void deregisterEvents(GDBusConnection* bus, const std::set<std::string>& types) {
    for (const std::string& type : types) {
      g_dbus_connection_call(bus, registryName, registryPath, registryInterface, "DeregisterEvent",
                             g_variant_new("(s)", type.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE,
                             -1, nullptr, nullptr, nullptr);
    }
  }

  // Types of `connection` to register now: those not registered yet. With `lock` held.
  std::set<std::string> claim(const Connection& bus, const std::set<std::string>& types) {
    std::set<std::string> missing;
    if (bus != connection) return missing;
    for (const std::string& type : types) {
      if (registered.insert(type).second) missing.insert(type);
    }
    return missing;
  }

  void unsubscribe(std::uint64_t id) {
    std::set<std::string> unwanted;
    Connection bus;
    {
      std::lock_guard guard(lock);
      listeners.erase(id);
      const std::set<std::string> wanted = listenedTypes();
      for (auto it = registered.begin(); it != registered.end();) {
        if (wanted.count(*it) == 0) {
          unwanted.insert(*it);
          it = registered.erase(it);
        } else {
          ++it;
        }
      }
      bus = connection;
    }
    if (bus && !unwanted.empty()) deregisterEvents(bus.get(), unwanted);
  }

  // Signal handlers run on the context current where the subscription is made: the main context.
  // Called without `lock`: the work may run right here when no main loop owns the context.
  void scheduleSignals(const Connection& bus) {
    using Job = std::pair<std::weak_ptr<Bus>, Connection>;
    g_main_context_invoke_full(
        nullptr, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* job = static_cast<Job*>(data);
          if (auto self = job->first.lock()) self->subscribeOnMainContext(job->second);
          return G_SOURCE_REMOVE;
        },
        new Job(weak_from_this(), bus), [](gpointer data) { delete static_cast<Job*>(data); });
  }

  void subscribeOnMainContext(const Connection& bus) {
    std::lock_guard guard(lock);
    if (bus != connection || !signalIds.empty() || listeners.empty()) return;
    // One rule per event class keeps the bus from sending us the rest of its traffic.
    for (const char* kind : {"Object", "Window", "Focus"}) {
      const std::string interface = std::string(eventInterfacePrefix) + kind;
      signalIds.push_back(g_dbus_connection_signal_subscribe(
          bus.get(), nullptr, interface.c_str(), nullptr, nullptr, nullptr,
          G_DBUS_SIGNAL_FLAGS_NONE, &Bus::onSignal, new std::weak_ptr<Bus>(weak_from_this()),
          [](gpointer data) { delete static_cast<std::weak_ptr<Bus>*>(data); }));
    }
  }

  void dropSignals(GDBusConnection* bus) {
    if (bus != nullptr) {
      for (const guint id : signalIds) g_dbus_connection_signal_unsubscribe(bus, id);
    }
    signalIds.clear();
  }

  static void onSignal(GDBusConnection*, const gchar* sender, const gchar* path,
                       const gchar* interface, const gchar* member, GVariant* parameters,
                       gpointer data) {
    auto self = static_cast<std::weak_ptr<Bus>*>(data)->lock();
    if (!self || !g_variant_is_of_type(parameters, G_VARIANT_TYPE_TUPLE) ||
        g_variant_n_children(parameters) < 3) {
      return;
    }
    auto kind = LinuxNotifications::eventKind(interface);
    if (!kind) return;
    AtSpiEvent event;
    event.kind = std::move(*kind);
    event.member = LinuxNotifications::eventMember(member);
    const gchar* detail = nullptr;
    Variant first(g_variant_get_child_value(parameters, 0));
    if (g_variant_is_of_type(first.get(), G_VARIANT_TYPE_STRING)) {
      detail = g_variant_get_string(first.get(), nullptr);
    }
    event.detail = detail != nullptr ? detail : "";
    Variant second(g_variant_get_child_value(parameters, 1));
    Variant third(g_variant_get_child_value(parameters, 2));
    if (g_variant_is_of_type(second.get(), G_VARIANT_TYPE_INT32)) {
      event.detail1 = g_variant_get_int32(second.get());
    }
    if (g_variant_is_of_type(third.get(), G_VARIANT_TYPE_INT32)) {
      event.detail2 = g_variant_get_int32(third.get());
    }
    event.source = AtSpiRef{sender != nullptr ? sender : "", path != nullptr ? path : ""};
    self->deliver(event);
  }

  void deliver(const AtSpiEvent& event) {
    const std::string type = event.type();
    std::vector<EventHandler> handlers;
    {
      std::lock_guard guard(lock);
      for (const auto& [id, listener] : listeners) {
        // A listener for "object:state-changed" hears every state change.
        const bool wanted = std::any_of(
            listener.eventTypes.begin(), listener.eventTypes.end(), [&](const std::string& want) {
              return type == want || (type.size() > want.size() && type.rfind(want, 0) == 0 &&
                                      type[want.size()] == ':');
            });
        if (wanted) handlers.push_back(listener.handler);
      }
    }
    for (const EventHandler& handler : handlers) handler(event);
  }
};

AtSpi::AtSpi() : bus_(std::make_shared<Bus>()) {}

AtSpi::~AtSpi() = default;

AtSpiRef AtSpi::desktop() {
  return AtSpiRef{registryName, rootPath};
}

namespace {

// One synchronous call on the accessibility bus; none on any failure.
Variant callOn(const Connection& bus, const AtSpiRef& element, const char* interface,
               const char* method, GVariant* parameters, const char* replyType,
               AtSpi::Timeout timeout) {
  if (!bus || element.empty()) {
    GLibBus::discard(parameters);
    return nullptr;
  }
  return GLibBus::call(bus.get(), element.bus.c_str(), element.path.c_str(), interface, method,
                       parameters, replyType, timeout);
}

Variant property(const Connection& bus, const AtSpiRef& element, const char* interface,
                 const char* name, AtSpi::Timeout timeout) {
  Variant reply = callOn(bus, element, propertiesInterface, "Get",
                         g_variant_new("(ss)", interface, name), "(v)", timeout);
  if (!reply) return nullptr;
  Variant boxed(g_variant_get_child_value(reply.get(), 0));
  return Variant(g_variant_get_variant(boxed.get()));
}

std::optional<std::string> stringProperty(const Connection& bus, const AtSpiRef& element,
                                          const char* interface, const char* name,
                                          AtSpi::Timeout timeout) {
  Variant value = property(bus, element, interface, name, timeout);
  if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) return std::nullopt;
  return std::string(g_variant_get_string(value.get(), nullptr));
}

std::optional<std::int32_t> intProperty(const Connection& bus, const AtSpiRef& element,
                                        const char* interface, const char* name,
                                        AtSpi::Timeout timeout) {
  Variant value = property(bus, element, interface, name, timeout);
  if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_INT32)) return std::nullopt;
  return g_variant_get_int32(value.get());
}

}  // namespace

bool AtSpi::connected(Timeout timeout) {
  return static_cast<bool>(bus_->current(timeout));
}

bool AtSpi::reachable(Timeout timeout) {
  Connection bus = bus_->current(timeout);
  if (!bus) return false;
  return static_cast<bool>(
      callOn(bus, desktop(), accessibleInterface, "GetChildren", nullptr, "(a(so))", timeout));
}

std::optional<std::uint32_t> AtSpi::role(const AtSpiRef& element, Timeout timeout) {
  return roleReply(callOn(bus_->current(timeout), element, accessibleInterface, "GetRole", nullptr,
                          "(u)", timeout));
}

std::optional<std::string> AtSpi::roleName(const AtSpiRef& element, Timeout timeout) {
  Variant reply = callOn(bus_->current(timeout), element, accessibleInterface, "GetRoleName",
                         nullptr, "(s)", timeout);
  if (!reply) return std::nullopt;
  const gchar* name = nullptr;
  g_variant_get(reply.get(), "(&s)", &name);
  return std::string(name);
}

std::optional<std::string> AtSpi::name(const AtSpiRef& element, Timeout timeout) {
  return stringProperty(bus_->current(timeout), element, accessibleInterface, "Name", timeout);
}

std::optional<std::string> AtSpi::description(const AtSpiRef& element, Timeout timeout) {
  return stringProperty(bus_->current(timeout), element, accessibleInterface, "Description",
                        timeout);
}

std::optional<AtSpiStates> AtSpi::states(const AtSpiRef& element, Timeout timeout) {
  return statesReply(callOn(bus_->current(timeout), element, accessibleInterface, "GetState",
                            nullptr, "(au)", timeout));
}

std::map<std::string, std::string> AtSpi::attributes(const AtSpiRef& element, Timeout timeout) {
  return attributesReply(callOn(bus_->current(timeout), element, accessibleInterface,
                                "GetAttributes", nullptr, "(a{ss})", timeout));
}

std::vector<std::string> AtSpi::interfaces(const AtSpiRef& element, Timeout timeout) {
  return interfacesReply(callOn(bus_->current(timeout), element, accessibleInterface,
                                "GetInterfaces", nullptr, "(as)", timeout));
}

std::optional<AtSpiRect> AtSpi::extents(const AtSpiRef& element, Timeout timeout) {
  Variant reply = callOn(bus_->current(timeout), element, componentInterface, "GetExtents",
                         g_variant_new("(u)", screenCoordinates), "((iiii))", timeout);
  if (!reply) return std::nullopt;
  AtSpiRect rect;
  g_variant_get(reply.get(), "((iiii))", &rect.x, &rect.y, &rect.width, &rect.height);
  return rect;
}

std::optional<AtSpiRef> AtSpi::parent(const AtSpiRef& element, Timeout timeout) {
  Variant value = property(bus_->current(timeout), element, accessibleInterface, "Parent", timeout);
  if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE("(so)"))) return std::nullopt;
  return refOf(value.get());
}

std::vector<AtSpiRef> AtSpi::children(const AtSpiRef& element, Timeout timeout) {
  return childrenReply(callOn(bus_->current(timeout), element, accessibleInterface, "GetChildren",
                              nullptr, "(a(so))", timeout))
      .value_or(std::vector<AtSpiRef>{});
}

std::optional<std::int32_t> AtSpi::childCount(const AtSpiRef& element, Timeout timeout) {
  return intProperty(bus_->current(timeout), element, accessibleInterface, "ChildCount", timeout);
}

std::optional<AtSpiRef> AtSpi::childAt(const AtSpiRef& element, std::int32_t index,
                                       Timeout timeout) {
  Variant reply = callOn(bus_->current(timeout), element, accessibleInterface, "GetChildAtIndex",
                         g_variant_new("(i)", index), "((so))", timeout);
  if (!reply) return std::nullopt;
  Variant pair(g_variant_get_child_value(reply.get(), 0));
  return refOf(pair.get());
}

std::optional<AtSpiRef> AtSpi::elementAt(const AtSpiRef& element, std::int32_t x, std::int32_t y,
                                         Timeout timeout) {
  std::vector<AtSpiRef> path = pathAt(element, x, y, timeout);
  if (path.empty()) return std::nullopt;
  return path.back();
}

std::vector<AtSpiRef> AtSpi::pathAt(const AtSpiRef& element, std::int32_t x, std::int32_t y,
                                    Timeout timeout) {
  const Budget budget(timeout);
  Connection bus = bus_->current(timeout);
  std::vector<AtSpiRef> path;
  // Each answer holds the element one level down; the deepest one is the element at the point.
  for (AtSpiRef current = element; !budget.spent();) {
    Variant reply =
        callOn(bus, current, componentInterface, "GetAccessibleAtPoint",
               g_variant_new("(iiu)", x, y, screenCoordinates), "((so))", budget.left());
    if (!reply) break;
    Variant pair(g_variant_get_child_value(reply.get(), 0));
    auto next = refOf(pair.get());
    if (!next || *next == current) break;
    path.push_back(*next);
    current = *next;
  }
  return path;
}

std::optional<std::string> AtSpi::text(const AtSpiRef& element, Timeout timeout) {
  return textRange(element, 0, -1, timeout);
}

std::optional<std::string> AtSpi::textRange(const AtSpiRef& element, std::int32_t start,
                                            std::int32_t end, Timeout timeout) {
  return textReply(callOn(bus_->current(timeout), element, textInterface, "GetText",
                          g_variant_new("(ii)", start, end), "(s)", timeout));
}

std::optional<std::int32_t> AtSpi::characterCount(const AtSpiRef& element, Timeout timeout) {
  return intProperty(bus_->current(timeout), element, textInterface, "CharacterCount", timeout);
}

std::optional<std::int32_t> AtSpi::caretOffset(const AtSpiRef& element, Timeout timeout) {
  return intProperty(bus_->current(timeout), element, textInterface, "CaretOffset", timeout);
}

std::vector<AtSpiTextRange> AtSpi::selections(const AtSpiRef& element, Timeout timeout) {
  const Budget budget(timeout);
  Connection bus = bus_->current(timeout);
  Variant count =
      callOn(bus, element, textInterface, "GetNSelections", nullptr, "(i)", budget.left());
  if (!count) return {};
  std::int32_t n = 0;
  g_variant_get(count.get(), "(i)", &n);
  std::vector<AtSpiTextRange> ranges;
  for (std::int32_t i = 0; i < n; ++i) {
    Variant reply = callOn(bus, element, textInterface, "GetSelection", g_variant_new("(i)", i),
                           "(ii)", budget.left());
    if (!reply) break;
    AtSpiTextRange range;
    g_variant_get(reply.get(), "(ii)", &range.start, &range.end);
    ranges.push_back(range);
  }
  return ranges;
}

std::optional<double> AtSpi::currentValue(const AtSpiRef& element, Timeout timeout) {
  Variant value =
      property(bus_->current(timeout), element, valueInterface, "CurrentValue", timeout);
  if (!value || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE_DOUBLE)) return std::nullopt;
  return g_variant_get_double(value.get());
}

std::optional<std::string> AtSpi::value(const AtSpiRef& element, Timeout timeout) {
  const Budget budget(timeout);
  const std::vector<std::string> names = interfaces(element, budget.left());
  const auto has = [&](const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  if (budget.spent()) return std::nullopt;
  if (has(textInterface)) return text(element, budget.left());
  if (has(valueInterface)) {
    if (auto number = currentValue(element, budget.left())) return shortestNumber(*number);
  }
  return std::nullopt;
}

std::optional<std::string> AtSpi::documentAttribute(const AtSpiRef& element,
                                                    const std::string& name, Timeout timeout) {
  return textReply(callOn(bus_->current(timeout), element, "org.a11y.atspi.Document",
                          "GetAttributeValue", g_variant_new("(s)", name.c_str()), "(s)", timeout));
}

bool AtSpi::editableText(const AtSpiRef& element, Timeout timeout) {
  const std::vector<std::string> names = interfaces(element, timeout);
  return std::find(names.begin(), names.end(), "org.a11y.atspi.EditableText") != names.end();
}

std::optional<std::int64_t> AtSpi::pid(const AtSpiRef& element, Timeout timeout) {
  Connection bus = bus_->current(timeout);
  if (!bus || element.bus.empty()) return std::nullopt;
  {
    std::lock_guard guard(bus_->lock);
    if (auto known = bus_->pids.find(element.bus); known != bus_->pids.end()) return known->second;
  }
  // The bus daemon answers this, not the application: a frozen application costs nothing here.
  Variant reply = GLibBus::call(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                g_variant_new("(s)", element.bus.c_str()), "(u)", timeout);
  if (!reply) return std::nullopt;
  std::uint32_t pid = 0;
  g_variant_get(reply.get(), "(u)", &pid);
  std::lock_guard guard(bus_->lock);
  if (bus == bus_->connection) bus_->pids[element.bus] = pid;
  return pid;
}

std::vector<AtSpiRef> AtSpi::applications(Timeout timeout) {
  return children(desktop(), timeout);
}

std::optional<AtSpiRef> AtSpi::application(std::int64_t processId, Timeout timeout) {
  const Budget budget(timeout);
  for (const AtSpiRef& app : applications(budget.left())) {
    if (budget.spent()) break;
    if (pid(app, budget.left()) == processId) return app;
  }
  return std::nullopt;
}

std::optional<AtSpiRef> AtSpi::activeWindow(const AtSpiRef& app, Timeout timeout) {
  const Budget budget(timeout);
  const std::vector<AtSpiRef> windows = children(app, budget.left());
  if (budget.spent()) return std::nullopt;
  std::vector<AtSpiNodeFacts> facts = nodeFacts(windows, budget.left());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (facts[i].states && facts[i].states->has(AtSpiState::active)) return windows[i];
  }
  return std::nullopt;
}

std::vector<AtSpiRef> AtSpi::withStates(const AtSpiRef& root, AtSpiStates states, std::int32_t most,
                                        Timeout timeout) {
  const auto low = static_cast<std::int32_t>(states.bits & 0xffffffffU);
  const auto high = static_cast<std::int32_t>(states.bits >> 32);
  GVariantBuilder stateWords;
  g_variant_builder_init(&stateWords, G_VARIANT_TYPE("ai"));
  g_variant_builder_add(&stateWords, "i", low);
  g_variant_builder_add(&stateWords, "i", high);
  // Empty attribute, role and interface lists must say "all" to match everything.
  GVariant* rule = g_variant_new("(aiia{ss}iaiiasib)", &stateWords, matchAll, nullptr, matchAll,
                                 nullptr, matchAll, nullptr, matchAll, FALSE);
  Variant reply = callOn(bus_->current(timeout), root, collectionInterface, "GetMatches",
                         g_variant_new("(@(aiia{ss}iaiiasib)uib)", rule, sortCanonical, most, TRUE),
                         "(a(so))", timeout);
  if (!reply) return {};
  Variant list(g_variant_get_child_value(reply.get(), 0));
  return refsOf(list.get());
}

std::optional<AtSpiRef> AtSpi::focused(std::int64_t processId, Timeout timeout) {
  const Budget budget(timeout);
  auto app = application(processId, budget.left());
  if (!app) return std::nullopt;
  // Toolkits mark the focus only inside the active window; a late listener hears no focus events,
  // so the state is what tells.
  const AtSpiStates focusedState = AtSpiStates{}.with(AtSpiState::focused);
  const AtSpiRef root = activeWindow(*app, budget.left()).value_or(*app);
  if (budget.spent()) return std::nullopt;
  std::vector<AtSpiRef> found = withStates(root, focusedState, 1, budget.left());
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::optional<AtSpiRef> AtSpi::focused(Timeout timeout) {
  const Budget budget(timeout);
  const std::vector<AtSpiRef> apps = applications(budget.left());
  // Ask every application for its windows at once: one frozen application costs one timeout.
  std::vector<AtSpiNodeFacts> appFacts = nodeFacts(apps, budget.left());
  std::vector<AtSpiRef> windows;
  for (const AtSpiNodeFacts& facts : appFacts) {
    windows.insert(windows.end(), facts.children.begin(), facts.children.end());
  }
  std::vector<AtSpiNodeFacts> windowFacts = nodeFacts(windows, budget.left());
  const AtSpiStates focusedState = AtSpiStates{}.with(AtSpiState::focused);
  for (std::size_t i = 0; i < windows.size() && !budget.spent(); ++i) {
    if (!windowFacts[i].states || !windowFacts[i].states->has(AtSpiState::active)) continue;
    std::vector<AtSpiRef> found = withStates(windows[i], focusedState, 1, budget.left());
    if (!found.empty()) return found.front();
  }
  return std::nullopt;
}

namespace {

AtSpiCacheItem cacheItemOf(GVariant* item, bool withIndex) {
  AtSpiCacheItem result;
  Variant self(g_variant_get_child_value(item, 0));
  Variant app(g_variant_get_child_value(item, 1));
  Variant parent(g_variant_get_child_value(item, 2));
  result.self = refOf(self.get()).value_or(AtSpiRef{});
  result.application = refOf(app.get()).value_or(AtSpiRef{});
  result.parent = refOf(parent.get()).value_or(AtSpiRef{});
  std::size_t next = 3;
  if (withIndex) {
    g_variant_get_child(item, next++, "i", &result.indexInParent);
    g_variant_get_child(item, next++, "i", &result.childCount);
  } else {
    // Older bridges list the children themselves.
    Variant children(g_variant_get_child_value(item, next++));
    result.childCount = static_cast<std::int32_t>(g_variant_n_children(children.get()));
  }
  Variant interfaces(g_variant_get_child_value(item, next++));
  result.interfaces = stringsOf(interfaces.get());
  const gchar* name = nullptr;
  g_variant_get_child(item, next++, "&s", &name);
  result.name = name;
  g_variant_get_child(item, next++, "u", &result.role);
  const gchar* description = nullptr;
  g_variant_get_child(item, next++, "&s", &description);
  result.description = description;
  Variant states(g_variant_get_child_value(item, next));
  result.states = statesOf(states.get());
  return result;
}

}  // namespace

std::optional<std::vector<AtSpiCacheItem>> AtSpi::cacheItems(const std::string& busName,
                                                             Timeout timeout) {
  Variant reply = callOn(bus_->current(timeout), AtSpiRef{busName, cachePath},
                         "org.a11y.atspi.Cache", "GetItems", nullptr, nullptr, timeout);
  if (!reply) return std::nullopt;
  const bool withIndex =
      g_variant_is_of_type(reply.get(), G_VARIANT_TYPE("(a((so)(so)(so)iiassusau))"));
  const bool withChildren =
      g_variant_is_of_type(reply.get(), G_VARIANT_TYPE("(a((so)(so)(so)a(so)assusau))"));
  if (!withIndex && !withChildren) return std::nullopt;
  Variant items(g_variant_get_child_value(reply.get(), 0));
  std::vector<AtSpiCacheItem> result;
  result.reserve(g_variant_n_children(items.get()));
  GVariantIter iter;
  g_variant_iter_init(&iter, items.get());
  while (GVariant* item = g_variant_iter_next_value(&iter)) {
    result.push_back(cacheItemOf(item, withIndex));
    g_variant_unref(item);
  }
  return result;
}

namespace {

// GDBus refuses a call to a malformed bus name without ever answering it, which would leave a
// pipelined round waiting forever; applications name other elements' buses themselves.
bool sendable(const AtSpiRef& element) {
  return g_dbus_is_name(element.bus.c_str()) && g_variant_is_object_path(element.path.c_str());
}

GLibBus::PendingCall roleCall(const AtSpiRef& e) {
  return {e.bus, e.path, accessibleInterface, "GetRole", nullptr, "(u)"};
}

GLibBus::PendingCall propertyCall(const AtSpiRef& e, const char* interface, const char* name) {
  return {e.bus, e.path, propertiesInterface, "Get", g_variant_new("(ss)", interface, name), "(v)"};
}

GLibBus::PendingCall statesCall(const AtSpiRef& e) {
  return {e.bus, e.path, accessibleInterface, "GetState", nullptr, "(au)"};
}

GLibBus::PendingCall childrenCall(const AtSpiRef& e) {
  return {e.bus, e.path, accessibleInterface, "GetChildren", nullptr, "(a(so))"};
}

GLibBus::PendingCall interfacesCall(const AtSpiRef& e) {
  return {e.bus, e.path, accessibleInterface, "GetInterfaces", nullptr, "(as)"};
}

GLibBus::PendingCall attributesCall(const AtSpiRef& e) {
  return {e.bus, e.path, accessibleInterface, "GetAttributes", nullptr, "(a{ss})"};
}

GLibBus::PendingCall extentsCall(const AtSpiRef& e) {
  return {
      e.bus,     e.path, componentInterface, "GetExtents", g_variant_new("(u)", screenCoordinates),
      "((iiii))"};
}

GLibBus::PendingCall textCall(const AtSpiRef& e) {
  return {e.bus, e.path, textInterface, "GetText", g_variant_new("(ii)", 0, -1), "(s)"};
}

// Questions of one element and where their answers go.
void addQuestions(const AtSpi::Question& q, std::vector<GLibBus::PendingCall>& calls) {
  if (!sendable(q.element)) return;
  if (q.role) calls.push_back(roleCall(q.element));
  if (q.name) calls.push_back(propertyCall(q.element, accessibleInterface, "Name"));
  if (q.children) calls.push_back(childrenCall(q.element));
  if (q.text) calls.push_back(textCall(q.element));
  if (q.description) calls.push_back(propertyCall(q.element, accessibleInterface, "Description"));
  if (q.states) calls.push_back(statesCall(q.element));
  if (q.interfaces) calls.push_back(interfacesCall(q.element));
  if (q.attributes) calls.push_back(attributesCall(q.element));
  if (q.extents) calls.push_back(extentsCall(q.element));
  if (q.number) calls.push_back(propertyCall(q.element, valueInterface, "CurrentValue"));
  if (q.parent) calls.push_back(propertyCall(q.element, accessibleInterface, "Parent"));
}

AtSpi::Answer answerOf(const AtSpi::Question& q, Variant*& reply) {
  AtSpi::Answer answer;
  if (!sendable(q.element)) return answer;
  if (q.role) answer.role = roleReply(*reply++);
  if (q.name) answer.name = stringPropertyReply(*reply++);
  if (q.children) answer.children = childrenReply(*reply++);
  if (q.text) answer.text = textReply(*reply++);
  if (q.description) answer.description = stringPropertyReply(*reply++);
  if (q.states) answer.states = statesReply(*reply++);
  // An empty list or map is an answer too; only a missing reply is none.
  if (q.interfaces) {
    if (*reply) answer.interfaces = interfacesReply(*reply);
    ++reply;
  }
  if (q.attributes) {
    if (*reply) answer.attributes = attributesReply(*reply);
    ++reply;
  }
  if (q.extents) answer.extents = extentsReply(*reply++);
  if (q.number) answer.number = doublePropertyReply(*reply++);
  if (q.parent) answer.parent = parentReply(*reply++);
  return answer;
}

}  // namespace

std::vector<AtSpiNodeFacts> AtSpi::nodeFacts(const std::vector<AtSpiRef>& elements,
                                             Timeout timeout) {
  std::vector<AtSpiNodeFacts> facts(elements.size());
  Connection bus = bus_->current(timeout);
  if (!bus) return facts;
  for (std::size_t first = 0; first < elements.size(); first += pipelineBatch) {
    const std::size_t last = std::min(elements.size(), first + pipelineBatch);
    std::vector<GLibBus::PendingCall> calls;
    for (std::size_t i = first; i < last; ++i) {
      const AtSpiRef& e = elements[i];
      if (!sendable(e)) continue;
      calls.push_back(roleCall(e));
      calls.push_back(propertyCall(e, accessibleInterface, "Name"));
      calls.push_back(statesCall(e));
      calls.push_back(childrenCall(e));
    }
    std::vector<Variant> replies = GLibBus::callAll(bus.get(), std::move(calls), timeout);
    const Variant* reply = replies.data();
    for (std::size_t i = first; i < last; ++i) {
      if (!sendable(elements[i])) continue;
      AtSpiNodeFacts& f = facts[i];
      f.role = roleReply(*reply++);
      f.name = stringPropertyReply(*reply++);
      f.states = statesReply(*reply++);
      f.children = childrenReply(*reply++).value_or(std::vector<AtSpiRef>{});
    }
  }
  return facts;
}

std::vector<AtSpi::Answer> AtSpi::ask(const std::vector<Question>& questions, Timeout timeout) {
  std::vector<Answer> answers(questions.size());
  Connection bus = bus_->current(timeout);
  if (!bus) return answers;
  for (std::size_t first = 0; first < questions.size(); first += pipelineBatch) {
    const std::size_t last = std::min(questions.size(), first + pipelineBatch);
    std::vector<GLibBus::PendingCall> calls;
    for (std::size_t i = first; i < last; ++i) addQuestions(questions[i], calls);
    if (calls.empty()) continue;
    std::vector<Variant> replies = GLibBus::callAll(bus.get(), std::move(calls), timeout);
    Variant* reply = replies.data();
    for (std::size_t i = first; i < last; ++i) answers[i] = answerOf(questions[i], reply);
  }
  return answers;
}

std::optional<AtSpi::TableShape> AtSpi::tableShape(const AtSpiRef& element, Timeout timeout) {
  if (!sendable(element)) return std::nullopt;
  std::vector<GLibBus::PendingCall> calls;
  calls.push_back(propertyCall(element, "org.a11y.atspi.Table", "NRows"));
  calls.push_back(propertyCall(element, "org.a11y.atspi.Table", "NColumns"));
  calls.push_back(propertyCall(element, accessibleInterface, "ChildCount"));
  Connection bus = bus_->current(timeout);
  if (!bus) return std::nullopt;
  const std::vector<Variant> replies = GLibBus::callAll(bus.get(), std::move(calls), timeout);
  const auto rows = intPropertyReply(replies[0]);
  const auto columns = intPropertyReply(replies[1]);
  const auto children = intPropertyReply(replies[2]);
  if (!rows || !columns || !children) return std::nullopt;
  return TableShape{*rows, *columns, *children};
}

std::vector<std::optional<AtSpiRef>> AtSpi::childrenAt(const AtSpiRef& element,
                                                       const std::vector<std::int32_t>& indexes,
                                                       Timeout timeout) {
  std::vector<std::optional<AtSpiRef>> found(indexes.size());
  Connection bus = bus_->current(timeout);
  if (!bus || !sendable(element)) return found;
  for (std::size_t first = 0; first < indexes.size(); first += pipelineBatch) {
    const std::size_t last = std::min(indexes.size(), first + pipelineBatch);
    std::vector<GLibBus::PendingCall> calls;
    for (std::size_t i = first; i < last; ++i) {
      calls.push_back({element.bus, element.path, accessibleInterface, "GetChildAtIndex",
                       g_variant_new("(i)", indexes[i]), "((so))"});
    }
    const std::vector<Variant> replies = GLibBus::callAll(bus.get(), std::move(calls), timeout);
    for (std::size_t i = first; i < last; ++i) {
      if (!replies[i - first]) continue;
      Variant pair(g_variant_get_child_value(replies[i - first].get(), 0));
      found[i] = refOf(pair.get());
    }
  }
  return found;
}

AtSpi::ElementFacts AtSpi::elementFacts(const AtSpiRef& element, Timeout timeout) {
  if (!sendable(element)) return {};
  std::vector<GLibBus::PendingCall> calls;
  calls.push_back(roleCall(element));
  calls.push_back(statesCall(element));
  calls.push_back(
      {element.bus, element.path, accessibleInterface, "GetAttributes", nullptr, "(a{ss})"});
  calls.push_back(
      {element.bus, element.path, accessibleInterface, "GetInterfaces", nullptr, "(as)"});
  Connection bus = bus_->current(timeout);
  const std::vector<Variant> replies = GLibBus::callAll(bus.get(), std::move(calls), timeout);
  return {roleReply(replies[0]), statesReply(replies[1]), attributesReply(replies[2]),
          interfacesReply(replies[3])};
}

namespace {

void askPortrait(const AtSpiRef& e, bool whole, std::vector<GLibBus::PendingCall>& calls) {
  if (whole) {
    calls.push_back(roleCall(e));
    calls.push_back({e.bus, e.path, accessibleInterface, "GetLocalizedRoleName", nullptr, "(s)"});
    calls.push_back(propertyCall(e, accessibleInterface, "Name"));
    calls.push_back(propertyCall(e, accessibleInterface, "Description"));
    calls.push_back(propertyCall(e, accessibleInterface, "HelpText"));
    calls.push_back(statesCall(e));
    calls.push_back({e.bus, e.path, accessibleInterface, "GetAttributes", nullptr, "(a{ss})"});
    calls.push_back({e.bus, e.path, componentInterface, "GetExtents",
                     g_variant_new("(u)", screenCoordinates), "((iiii))"});
  }
  calls.push_back({e.bus, e.path, accessibleInterface, "GetInterfaces", nullptr, "(as)"});
  calls.push_back(propertyCall(e, accessibleInterface, "Parent"));
}

AtSpi::Portrait portraitOf(bool whole, const Variant*& r) {
  AtSpi::Portrait portrait;
  if (whole) {
    portrait.role = roleReply(*r++);
    portrait.roleName = textReply(*r++);
    portrait.name = stringPropertyReply(*r++);
    portrait.description = stringPropertyReply(*r++);
    portrait.help = stringPropertyReply(*r++);
    portrait.states = statesReply(*r++);
    portrait.attributes = attributesReply(*r++);
    portrait.extents = extentsReply(*r++);
  }
  portrait.interfaces = interfacesReply(*r++);
  portrait.parent = parentReply(*r++);
  return portrait;
}

bool lists(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

AtSpi::Portrait AtSpi::portrait(const AtSpiRef& element, Timeout timeout) {
  return portraits({PortraitAsk{element, true}}, timeout).front();
}

std::vector<AtSpi::Portrait> AtSpi::portraits(const std::vector<PortraitAsk>& asks,
                                              Timeout timeout) {
  std::vector<Portrait> result(asks.size());
  const Budget budget(timeout);
  std::vector<GLibBus::PendingCall> calls;
  for (const PortraitAsk& ask : asks) {
    if (sendable(ask.element)) askPortrait(ask.element, ask.whole, calls);
  }
  if (calls.empty()) return result;
  Connection bus = bus_->current(timeout);
  const std::vector<Variant> replies = GLibBus::callAll(bus.get(), std::move(calls), budget.left());
  const Variant* reply = replies.data();
  for (std::size_t i = 0; i < asks.size(); ++i) {
    if (sendable(asks[i].element)) result[i] = portraitOf(asks[i].whole, reply);
  }
  // Only links and documents are asked what they stand for: a toolkit complains of the question
  // asked of anything else.
  std::vector<GLibBus::PendingCall> links;
  std::vector<std::pair<std::size_t, bool>> asked;  // element, and whether it is the link question
  for (std::size_t i = 0; i < asks.size(); ++i) {
    const AtSpiRef& e = asks[i].element;
    if (lists(result[i].interfaces, hyperlinkInterface)) {
      links.push_back(
          {e.bus, e.path, hyperlinkInterface, "GetURI", g_variant_new("(i)", 0), "(s)"});
      asked.emplace_back(i, true);
    }
    if (lists(result[i].interfaces, documentInterface)) {
      links.push_back({e.bus, e.path, documentInterface, "GetAttributeValue",
                       g_variant_new("(s)", "DocURL"), "(s)"});
      asked.emplace_back(i, false);
    }
  }
  if (links.empty() || budget.spent()) {
    for (GLibBus::PendingCall& call : links) GLibBus::discard(call.parameters);
    return result;
  }
  const std::vector<Variant> answers = GLibBus::callAll(bus.get(), std::move(links), budget.left());
  for (std::size_t i = 0; i < asked.size(); ++i) {
    Portrait& portrait = result[asked[i].first];
    (asked[i].second ? portrait.linkUri : portrait.documentUrl) = textReply(answers[i]);
  }
  return result;
}

std::vector<AtSpiRef> AtSpi::selectedChildren(const AtSpiRef& element, std::int32_t most,
                                              Timeout timeout) {
  if (!sendable(element)) return {};
  const Budget budget(timeout);
  Connection bus = bus_->current(timeout);
  if (!lists(interfaces(element, budget.left()), selectionInterface)) return {};
  const std::optional<std::int32_t> count =
      intProperty(bus, element, selectionInterface, "NSelectedChildren", budget.left());
  if (!count || budget.spent()) return {};
  std::vector<GLibBus::PendingCall> calls;
  for (std::int32_t i = 0; i < std::min(*count, most); ++i) {
    calls.push_back({element.bus, element.path, selectionInterface, "GetSelectedChild",
                     g_variant_new("(i)", i), "((so))"});
  }
  std::vector<AtSpiRef> selected;
  for (const Variant& reply : GLibBus::callAll(bus.get(), std::move(calls), budget.left())) {
    if (!reply) continue;
    Variant pair(g_variant_get_child_value(reply.get(), 0));
    if (auto child = refOf(pair.get())) selected.push_back(std::move(*child));
  }
  return selected;
}

AtSpi::ContentFacts AtSpi::contentFacts(const AtSpiRef& element, Content content, Timeout timeout) {
  if (!sendable(element)) return {};
  std::vector<GLibBus::PendingCall> calls;
  if (content == Content::number) {
    calls.push_back(propertyCall(element, valueInterface, "CurrentValue"));
  } else {
    calls.push_back(propertyCall(element, textInterface, "CaretOffset"));
  }
  if (content == Content::text) {
    calls.push_back(textCall(element));
    calls.push_back({element.bus, element.path, textInterface, "GetNSelections", nullptr, "(i)"});
    calls.push_back({element.bus, element.path, textInterface, "GetSelection",
                     g_variant_new("(i)", 0), "(ii)"});
  }
  Connection bus = bus_->current(timeout);
  const std::vector<Variant> replies = GLibBus::callAll(bus.get(), std::move(calls), timeout);
  ContentFacts facts;
  if (content == Content::number) {
    if (auto number = doublePropertyReply(replies[0])) facts.number = shortestNumber(*number);
    return facts;
  }
  facts.caret = intPropertyReply(replies[0]);
  if (content != Content::text) return facts;
  facts.text = textReply(replies[1]);
  std::int32_t selections = 0;
  if (replies[2]) g_variant_get(replies[2].get(), "(i)", &selections);
  if (selections > 0 && replies[3]) {
    AtSpiTextRange range;
    g_variant_get(replies[3].get(), "(ii)", &range.start, &range.end);
    facts.selection = range;
  }
  return facts;
}

Subscription AtSpi::subscribe(std::vector<std::string> eventTypes, EventHandler handler) {
  const std::set<std::string> types(eventTypes.begin(), eventTypes.end());
  std::uint64_t id = 0;
  {
    std::lock_guard guard(bus_->lock);
    id = bus_->nextListener++;
    bus_->listeners.emplace(id, Bus::Listener{std::move(eventTypes), std::move(handler)});
  }
  // Registers the types and subscribes on this connection; a new connection does both again.
  if (Connection bus = bus_->current(fieldTimeout)) {
    std::set<std::string> missing;
    {
      std::lock_guard guard(bus_->lock);
      missing = bus_->claim(bus, types);
    }
    Bus::registerEvents(bus.get(), missing, fieldTimeout);
    bus_->scheduleSignals(bus);
  }
  std::weak_ptr<Bus> weak = bus_;
  return Subscription([weak, id] {
    if (auto bus = weak.lock()) bus->unsubscribe(id);
  });
}

}  // namespace halcy
