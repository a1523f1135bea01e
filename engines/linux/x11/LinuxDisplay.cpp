#include "LinuxDisplay.hpp"

#include <glib.h>
#include <xcb/randr.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

namespace halcy {

namespace {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Atoms every window read needs, interned together when a connection is made.
constexpr std::string_view knownAtoms[] = {
    "_NET_CLIENT_LIST_STACKING",
    "_NET_ACTIVE_WINDOW",
    "_NET_WM_PID",
    "_NET_WM_NAME",
    "UTF8_STRING",
    "_GTK_APPLICATION_ID",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_STATE",
    "_NET_FRAME_EXTENTS",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_DND",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_STATE_BELOW",
    "_NET_WM_STATE_HIDDEN",
};

constexpr std::int32_t desktopLayer = -2147483627;  // far below every window, as desktops are

}  // namespace

std::int32_t windowLayer(const std::vector<std::string>& types,
                         const std::vector<std::string>& states) {
  const auto hasState = [&](std::string_view s) {
    return std::find(states.begin(), states.end(), s) != states.end();
  };
  // The first type a window lists is its preferred one; later ones are fallbacks.
  const std::string_view type = types.empty() ? "" : std::string_view(types.front());
  const std::string_view prefix = "_NET_WM_WINDOW_TYPE_";
  const std::string_view kind = type.rfind(prefix, 0) == 0 ? type.substr(prefix.size()) : "";
  if (kind == "DESKTOP") return desktopLayer;
  if (kind == "DOCK") return 20;
  if (kind == "DROPDOWN_MENU" || kind == "POPUP_MENU" || kind == "COMBO" || kind == "MENU") {
    return 101;
  }
  if (kind == "TOOLTIP" || kind == "NOTIFICATION") return 200;
  if (kind == "DND") return 500;
  if (hasState("_NET_WM_STATE_ABOVE") || kind == "UTILITY" || kind == "TOOLBAR") return 3;
  if (hasState("_NET_WM_STATE_BELOW")) return -1;
  return 0;
}

struct LinuxDisplay::State : std::enable_shared_from_this<LinuxDisplay::State> {
  struct Subscriber {
    EventHandler onEvent;
    ConnectHandler onConnect;
  };

  std::mutex lock;
  std::optional<Link> current;
  std::map<std::string, xcb_atom_t, std::less<>> atoms;
  std::map<xcb_atom_t, std::string> atomNames;
  std::map<std::uint64_t, Subscriber> subscribers;
  std::uint64_t nextSubscriber = 1;
  GSource* source = nullptr;

  ~State() { dropSource(); }

  void dropSource() {
    if (source == nullptr) return;
    g_source_destroy(source);
    g_source_unref(source);
    source = nullptr;
  }

  std::optional<Link> link() {
    std::vector<ConnectHandler> greet;
    Link made;
    {
      std::lock_guard guard(lock);
      if (current && xcb_connection_has_error(current->connection.get()) == 0) return current;
      dropSource();
      current.reset();
      auto fresh = connect();
      if (!fresh) return std::nullopt;
      current = fresh;
      internAtoms(current->connection.get());
      attachSource(*current);
      for (const auto& [id, subscriber] : subscribers) {
        if (subscriber.onConnect) greet.push_back(subscriber.onConnect);
      }
      made = *current;
    }
    for (const ConnectHandler& handler : greet) handler(made);
    return made;
  }

  static std::optional<Link> connect() {
    int screenNumber = 0;
    xcb_connection_t* raw = xcb_connect(nullptr, &screenNumber);
    std::shared_ptr<xcb_connection_t> connection(raw, xcb_disconnect);
    if (xcb_connection_has_error(raw) != 0) return std::nullopt;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(raw));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) return std::nullopt;
    return Link{connection, screens.data->root, screenNumber};
  }

  // With `lock` held.
  void internAtoms(xcb_connection_t* connection) {
    atoms.clear();
    atomNames.clear();
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const std::string_view name : knownAtoms) {
      cookies.push_back(
          xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()));
    }
    for (std::size_t i = 0; i < cookies.size(); ++i) {
      Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
      if (!reply) continue;
      atoms.emplace(std::string(knownAtoms[i]), reply->atom);
      atomNames.emplace(reply->atom, std::string(knownAtoms[i]));
    }
  }

  xcb_atom_t atom(std::string_view name) {
    auto made = link();
    if (!made) return XCB_ATOM_NONE;
    {
      std::lock_guard guard(lock);
      if (auto known = atoms.find(name); known != atoms.end()) return known->second;
    }
    xcb_connection_t* connection = made->connection.get();
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    if (!reply) return XCB_ATOM_NONE;
    std::lock_guard guard(lock);
    if (current && current->connection == made->connection) {
      atoms.emplace(std::string(name), reply->atom);
      atomNames.emplace(reply->atom, std::string(name));
    }
    return reply->atom;
  }

  xcb_atom_t known(std::string_view name) {
    std::lock_guard guard(lock);
    auto found = atoms.find(name);
    if (found == atoms.end()) return XCB_ATOM_NONE;
    return found->second;
  }

  std::string nameOf(xcb_atom_t atom) {
    std::lock_guard guard(lock);
    auto found = atomNames.find(atom);
    return found == atomNames.end() ? std::string() : found->second;
  }

  // --- events on the main context ---

  struct Source {
    GSource base;
    gpointer fd;
    std::weak_ptr<State>* state;
    std::shared_ptr<xcb_connection_t>* connection;
    std::vector<xcb_generic_event_t*>* queued;
  };

  static gboolean prepare(GSource* base, gint* timeout) {
    auto* source = reinterpret_cast<Source*>(base);
    *timeout = -1;
    // Replies read by other threads can leave events queued with nothing left on the socket.
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(source->connection->get())) {
      source->queued->push_back(event);
    }
    return source->queued->empty() ? FALSE : TRUE;
  }

  static gboolean check(GSource* base) {
    auto* source = reinterpret_cast<Source*>(base);
    const GIOCondition ready = g_source_query_unix_fd(base, source->fd);
    return (ready & (G_IO_IN | G_IO_HUP | G_IO_ERR)) != 0 || !source->queued->empty();
  }

  static gboolean dispatch(GSource* base, GSourceFunc, gpointer) {
    auto* source = reinterpret_cast<Source*>(base);
    xcb_connection_t* connection = source->connection->get();
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
      source->queued->push_back(event);
    }
    std::vector<xcb_generic_event_t*> events;
    events.swap(*source->queued);
    auto state = source->state->lock();
    for (xcb_generic_event_t* event : events) {
      if (state) state->deliver(*event);
      std::free(event);
    }
    // A broken connection is made again by the next use, with a new source.
    return xcb_connection_has_error(connection) != 0 ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
  }

  static void finalize(GSource* base) {
    auto* source = reinterpret_cast<Source*>(base);
    for (xcb_generic_event_t* event : *source->queued) std::free(event);
    delete source->queued;
    delete source->connection;
    delete source->state;
  }

  static GSourceFuncs* sourceFuncs() {
    static GSourceFuncs funcs{prepare, check, dispatch, finalize, nullptr, nullptr};
    return &funcs;
  }

  // With `lock` held.
  void attachSource(const Link& made) {
    GSource* base = g_source_new(sourceFuncs(), sizeof(Source));
    auto* source = reinterpret_cast<Source*>(base);
    source->state = new std::weak_ptr<State>(weak_from_this());
    source->connection = new std::shared_ptr<xcb_connection_t>(made.connection);
    source->queued = new std::vector<xcb_generic_event_t*>();
    source->fd = g_source_add_unix_fd(base, xcb_get_file_descriptor(made.connection.get()),
                                      static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_set_name(base, "halcy-engine.x11");
    g_source_attach(base, nullptr);
    this->source = base;
  }

  void deliver(const xcb_generic_event_t& event) {
    std::vector<EventHandler> handlers;
    {
      std::lock_guard guard(lock);
      for (const auto& [id, subscriber] : subscribers) {
        if (subscriber.onEvent) handlers.push_back(subscriber.onEvent);
      }
    }
    for (const EventHandler& handler : handlers) handler(event);
  }

  // --- properties ---

  xcb_get_property_cookie_t ask(xcb_connection_t* connection, xcb_window_t window,
                                std::string_view property, xcb_atom_t type,
                                std::uint32_t words = 1024) {
    return xcb_get_property(connection, 0, window, known(property), type, 0, words);
  }
};

namespace {

using State = LinuxDisplay::State;

std::optional<std::string> textOf(xcb_get_property_reply_t* reply) {
  if (reply == nullptr || reply->format != 8 || reply->type == XCB_ATOM_NONE) return std::nullopt;
  const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply));
  return std::string(bytes, static_cast<std::size_t>(xcb_get_property_value_length(reply)));
}

std::vector<std::uint32_t> wordsOf(xcb_get_property_reply_t* reply) {
  if (reply == nullptr || reply->format != 32) return {};
  const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
  return std::vector<std::uint32_t>(words, words + xcb_get_property_value_length(reply) /
                                                       static_cast<int>(sizeof(std::uint32_t)));
}

// WM_CLASS holds two NUL-terminated strings: the instance, then the class.
std::pair<std::string, std::string> classOf(xcb_get_property_reply_t* reply) {
  auto text = textOf(reply);
  if (!text) return {};
  const std::size_t split = text->find('\0');
  if (split == std::string::npos) return {*text, ""};
  std::string rest = text->substr(split + 1);
  if (!rest.empty() && rest.back() == '\0') rest.pop_back();
  return {text->substr(0, split), rest};
}

struct WindowCookies {
  xcb_get_property_cookie_t pid, netName, name, wmClass, appId, types, states, extents;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t origin;
  xcb_get_window_attributes_cookie_t attributes;
};

WindowCookies askWindow(State& state, xcb_connection_t* c, xcb_window_t window, xcb_window_t root) {
  WindowCookies cookies{};
  cookies.pid = state.ask(c, window, "_NET_WM_PID", XCB_ATOM_CARDINAL, 1);
  cookies.netName = state.ask(c, window, "_NET_WM_NAME", state.known("UTF8_STRING"));
  cookies.name = xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 1024);
  cookies.wmClass = xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 1024);
  cookies.appId = state.ask(c, window, "_GTK_APPLICATION_ID", state.known("UTF8_STRING"));
  cookies.types = state.ask(c, window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, 32);
  cookies.states = state.ask(c, window, "_NET_WM_STATE", XCB_ATOM_ATOM, 32);
  cookies.extents = state.ask(c, window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4);
  cookies.geometry = xcb_get_geometry(c, window);
  cookies.origin = xcb_translate_coordinates(c, window, root, 0, 0);
  cookies.attributes = xcb_get_window_attributes(c, window);
  return cookies;
}

std::vector<std::string> atomNamesOf(State& state, xcb_get_property_reply_t* reply) {
  std::vector<std::string> names;
  for (const std::uint32_t atom : wordsOf(reply)) names.push_back(state.nameOf(atom));
  return names;
}

Reply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(c, cookie, nullptr));
}

// None when the window is gone by the time the answers come.
std::optional<LinuxWindow> collectWindow(State& state, xcb_connection_t* c, xcb_window_t window,
                                         const WindowCookies& cookies) {
  auto pid = property(c, cookies.pid);
  auto netName = property(c, cookies.netName);
  auto name = property(c, cookies.name);
  auto wmClass = property(c, cookies.wmClass);
  auto appId = property(c, cookies.appId);
  auto types = property(c, cookies.types);
  auto states = property(c, cookies.states);
  auto extents = property(c, cookies.extents);
  Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, cookies.geometry, nullptr));
  Reply<xcb_translate_coordinates_reply_t> origin(
      xcb_translate_coordinates_reply(c, cookies.origin, nullptr));
  Reply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, cookies.attributes, nullptr));
  if (!geometry || !origin || !attributes) return std::nullopt;

  LinuxWindow result;
  result.id = window;
  if (auto words = wordsOf(pid.get()); !words.empty()) result.pid = words.front();
  result.title = textOf(netName.get());
  if (!result.title) result.title = textOf(name.get());
  std::tie(result.wmInstance, result.wmClass) = classOf(wmClass.get());
  result.gtkApplicationId = textOf(appId.get());
  const std::vector<std::string> stateNames = atomNamesOf(state, states.get());
  result.layer = windowLayer(atomNamesOf(state, types.get()), stateNames);
  const bool hidden =
      std::find(stateNames.begin(), stateNames.end(), "_NET_WM_STATE_HIDDEN") != stateNames.end();
  result.onScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE && !hidden;
  // Frame extents: left, right, top, bottom; the window as a user sees it includes them.
  std::vector<std::uint32_t> frame = wordsOf(extents.get());
  frame.resize(4, 0);
  result.bounds =
      XRect{origin->dst_x - static_cast<std::int32_t>(frame[0]),
            origin->dst_y - static_cast<std::int32_t>(frame[2]),
            geometry->width + frame[0] + frame[1], geometry->height + frame[2] + frame[3]};
  return result;
}

}  // namespace

LinuxDisplay::LinuxDisplay() : state_(std::make_shared<State>()) {}

LinuxDisplay::~LinuxDisplay() = default;

LinuxDisplay::Subscription::~Subscription() {
  if (cancel_) cancel_();
}

std::optional<LinuxDisplay::Link> LinuxDisplay::link() {
  return state_->link();
}

xcb_atom_t LinuxDisplay::atom(std::string_view name) {
  return state_->atom(name);
}

std::vector<LinuxWindow> LinuxDisplay::windows() {
  auto made = link();
  if (!made) return {};
  xcb_connection_t* c = made->connection.get();
  auto stacking =
      property(c, state_->ask(c, made->root, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 4096));
  std::vector<std::uint32_t> ids = wordsOf(stacking.get());
  // The window manager lists bottom to top.
  std::reverse(ids.begin(), ids.end());
  std::vector<WindowCookies> cookies;
  cookies.reserve(ids.size());
  for (const xcb_window_t id : ids) cookies.push_back(askWindow(*state_, c, id, made->root));
  std::vector<LinuxWindow> result;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (auto window = collectWindow(*state_, c, ids[i], cookies[i])) result.push_back(*window);
  }
  return result;
}

std::optional<LinuxWindow> LinuxDisplay::window(xcb_window_t id) {
  auto made = link();
  if (!made || id == XCB_WINDOW_NONE) return std::nullopt;
  xcb_connection_t* c = made->connection.get();
  return collectWindow(*state_, c, id, askWindow(*state_, c, id, made->root));
}

std::optional<xcb_window_t> LinuxDisplay::activeWindow() {
  auto made = link();
  if (!made) return std::nullopt;
  xcb_connection_t* c = made->connection.get();
  auto reply = property(c, state_->ask(c, made->root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 1));
  const std::vector<std::uint32_t> words = wordsOf(reply.get());
  if (words.empty() || words.front() == XCB_WINDOW_NONE) return std::nullopt;
  return words.front();
}

std::optional<std::int64_t> LinuxDisplay::activePid() {
  auto id = activeWindow();
  if (!id) return std::nullopt;
  auto active = window(*id);
  if (!active || active->pid <= 0) return std::nullopt;
  return active->pid;
}

namespace {

std::string atomName(xcb_connection_t* c, xcb_atom_t atom) {
  Reply<xcb_get_atom_name_reply_t> reply(
      xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
  if (!reply) return {};
  return std::string(xcb_get_atom_name_name(reply.get()),
                     static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

// The whole root window as one monitor, for servers without RandR 1.5.
std::vector<LinuxMonitor> rootAsMonitor(xcb_connection_t* c, xcb_window_t root) {
  Reply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
  if (!geometry) return {};
  return {LinuxMonitor{0, "screen", XRect{0, 0, geometry->width, geometry->height}, true}};
}

}  // namespace

std::vector<LinuxMonitor> LinuxDisplay::monitors() {
  auto made = link();
  if (!made) return {};
  xcb_connection_t* c = made->connection.get();
  // A request of an extension the server lacks would close the whole connection.
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
  if (randr == nullptr || randr->present == 0) return rootAsMonitor(c, made->root);
  Reply<xcb_randr_get_monitors_reply_t> reply(
      xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, made->root, 1), nullptr));
  if (!reply) return rootAsMonitor(c, made->root);
  std::vector<LinuxMonitor> result;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
       xcb_randr_monitor_info_next(&it)) {
    const xcb_randr_monitor_info_t& info = *it.data;
    result.push_back(LinuxMonitor{info.name, atomName(c, info.name),
                                  XRect{info.x, info.y, info.width, info.height},
                                  info.primary != 0});
  }
  if (result.empty()) return rootAsMonitor(c, made->root);
  // The main display is the primary output; without one, the first monitor the server lists.
  std::stable_partition(result.begin(), result.end(),
                        [](const LinuxMonitor& m) { return m.primary; });
  return result;
}

std::vector<xcb_window_t> LinuxDisplay::children(xcb_window_t parent) {
  auto made = link();
  if (!made) return {};
  xcb_connection_t* c = made->connection.get();
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr));
  if (!tree) return {};
  const xcb_window_t* ids = xcb_query_tree_children(tree.get());
  return std::vector<xcb_window_t>(ids, ids + xcb_query_tree_children_length(tree.get()));
}

std::optional<LinuxDisplay::Placement> LinuxDisplay::placement(xcb_window_t window) {
  auto made = link();
  if (!made) return std::nullopt;
  xcb_connection_t* c = made->connection.get();
  const auto attributesAsked = xcb_get_window_attributes(c, window);
  const auto geometryAsked = xcb_get_geometry(c, window);
  Reply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, attributesAsked, nullptr));
  Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryAsked, nullptr));
  if (!attributes || !geometry) return std::nullopt;
  return Placement{XRect{geometry->x, geometry->y, geometry->width, geometry->height},
                   attributes->override_redirect != 0};
}

LinuxDisplay::Subscription LinuxDisplay::subscribe(EventHandler onEvent, ConnectHandler onConnect) {
  std::uint64_t id = 0;
  std::optional<Link> healthy;
  {
    std::lock_guard guard(state_->lock);
    id = state_->nextSubscriber++;
    state_->subscribers.emplace(id, State::Subscriber{std::move(onEvent), onConnect});
    if (state_->current && xcb_connection_has_error(state_->current->connection.get()) == 0) {
      healthy = state_->current;
    }
  }
  // A new connection greets every subscriber itself; a live one greets the newcomer here.
  if (!healthy) {
    state_->link();
  } else if (onConnect) {
    onConnect(*healthy);
  }
  std::weak_ptr<State> weak = state_;
  return Subscription([weak, id] {
    if (auto state = weak.lock()) {
      std::lock_guard guard(state->lock);
      state->subscribers.erase(id);
    }
  });
}

}  // namespace halcy
