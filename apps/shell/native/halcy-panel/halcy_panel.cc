// halcy-panel: makes an Electron window a floating overlay that never activates its application,
// and reports the display notch and the front application's front window. X11 through XCB; each
// call opens its own connection and keeps nothing afterwards.

#define NAPI_VERSION 8
#include <node_api.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// ICCCM WM_HINTS: nine 32-bit fields, the first holding flags; bit 0 says the input field is set.
constexpr std::uint32_t inputHintFlag = 1;
constexpr std::size_t wmHintsFields = 9;
// EWMH: "all desktops", and the actions and source of _NET_WM_STATE requests.
constexpr std::uint32_t allDesktops = 0xFFFFFFFF;
constexpr std::uint32_t stateAdd = 1;
constexpr std::uint32_t sourceApplication = 1;
constexpr std::uint32_t fullyOpaque = 0xFFFFFFFF;
constexpr xcb_atom_t noAtom = XCB_ATOM_NONE;
constexpr xcb_window_t noWindow = XCB_WINDOW_NONE;

// The front window must be at least this big, in points (pixels here).
constexpr double smallestFrontWindow = 80;

// Window levels as the caller knows them from macOS.
constexpr long desktopLevel = -2147483623;
constexpr long belowLevel = -1;
constexpr long normalLevel = 0;
constexpr long floatingLevel = 3;
constexpr long dockLevel = 20;
constexpr long statusLevel = 25;
constexpr long popUpMenuLevel = 101;

// How long to wait for the window manager to name the newly focused window active, and how long
// it must then stay quiet before the previous one is named again.
constexpr auto activeRewriteWait = std::chrono::milliseconds(1000);
constexpr auto activeSettleWait = std::chrono::milliseconds(20);

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> owned(T* reply) {
  return Reply<T>(reply, &std::free);
}

// One connection to the X server for one call.
class Display {
 public:
  static std::unique_ptr<Display> open() {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection) != 0) {
      xcb_disconnect(connection);
      return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; index < screenNumber && screens.rem > 0; ++index) xcb_screen_next(&screens);
    if (screens.rem == 0) {
      xcb_disconnect(connection);
      return nullptr;
    }
    return std::unique_ptr<Display>(new Display(connection, screens.data->root));
  }

  ~Display() { xcb_disconnect(connection_); }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  xcb_window_t root() const { return root_; }

  xcb_atom_t atom(const char* name) {
    auto reply = owned(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : noAtom;
  }

  // A property of 32-bit items; nothing when it is absent or of another type or format.
  std::optional<std::vector<std::uint32_t>> words(xcb_window_t window, xcb_atom_t property,
                                                  xcb_atom_t type) {
    auto reply = owned(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, type, 0, 1024), nullptr));
    if (!reply || reply->type != type || reply->format != 32) return std::nullopt;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<std::uint32_t>(data, data + count);
  }

  std::optional<std::uint32_t> word(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    auto values = words(window, property, type);
    if (!values || values->empty()) return std::nullopt;
    return values->front();
  }

  std::optional<std::string> bytes(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    auto reply = owned(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, type, 0, 1024), nullptr));
    if (!reply || reply->type != type || reply->format != 8) return std::nullopt;
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  }

  void setWords(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                const std::vector<std::uint32_t>& values) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, property, type, 32,
                        static_cast<std::uint32_t>(values.size()), values.data());
  }

  // A request to the window manager about a window it manages (EWMH client message).
  void tellWindowManager(xcb_window_t window, xcb_atom_t type, std::array<std::uint32_t, 5> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
  }

  // Waits until the server has handled every request sent so far.
  void sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_window_t focus() {
    auto reply =
        owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    return reply ? reply->focus : noWindow;
  }

  // An EWMH window manager is running: the root names a check window that names itself.
  bool windowManagerPresent() {
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    const auto named = word(root_, check, XCB_ATOM_WINDOW);
    return named && *named != XCB_WINDOW_NONE && word(*named, check, XCB_ATOM_WINDOW) == named;
  }

 private:
  Display(xcb_connection_t* connection, xcb_window_t root) : connection_(connection), root_(root) {}

  xcb_connection_t* connection_;
  xcb_window_t root_;
};

// --- reading a window -------------------------------------------------------------------------

struct WindowFacts {
  bool viewable = false;
  std::optional<xcb_atom_t> type;
  std::vector<xcb_atom_t> states;
  std::optional<std::vector<std::uint32_t>> hints;
  std::vector<xcb_atom_t> protocols;
};

WindowFacts factsOf(Display& display, xcb_window_t window) {
  WindowFacts facts;
  auto attributes = owned(xcb_get_window_attributes_reply(
      display.connection(), xcb_get_window_attributes(display.connection(), window), nullptr));
  facts.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  // The window manager uses the first type it knows; every one of ours is a standard type.
  facts.type = display.word(window, display.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
  facts.states = display.words(window, display.atom("_NET_WM_STATE"), XCB_ATOM_ATOM)
                     .value_or(std::vector<xcb_atom_t>{});
  facts.hints = display.words(window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS);
  facts.protocols = display.words(window, display.atom("WM_PROTOCOLS"), XCB_ATOM_ATOM)
                        .value_or(std::vector<xcb_atom_t>{});
  return facts;
}

bool holds(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom) {
  return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

bool isType(Display& display, const WindowFacts& facts, const char* name) {
  return facts.type && *facts.type == display.atom(name);
}

// The input hint is set and false: the window asks never to be given focus.
bool refusesInput(const WindowFacts& facts) {
  return facts.hints && facts.hints->size() >= 2 && ((*facts.hints)[0] & inputHintFlag) != 0 &&
         (*facts.hints)[1] == 0;
}

long levelOf(Display& display, const WindowFacts& facts) {
  if (isType(display, facts, "_NET_WM_WINDOW_TYPE_DESKTOP")) return desktopLevel;
  if (isType(display, facts, "_NET_WM_WINDOW_TYPE_DOCK")) return dockLevel;
  if (isType(display, facts, "_NET_WM_WINDOW_TYPE_NOTIFICATION")) return statusLevel;
  for (const char* menu : {"_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                           "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_COMBO",
                           "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_DND"}) {
    if (isType(display, facts, menu)) return popUpMenuLevel;
  }
  if (holds(facts.states, display.atom("_NET_WM_STATE_ABOVE"))) return floatingLevel;
  if (holds(facts.states, display.atom("_NET_WM_STATE_BELOW"))) return belowLevel;
  return normalLevel;
}

// The window handle: a buffer whose first 8 bytes hold the XID in native byte order.
std::optional<xcb_window_t> windowArgument(napi_env env, napi_callback_info info,
                                           Display* display) {
  std::size_t count = 1;
  napi_value argument = nullptr;
  napi_get_cb_info(env, info, &count, &argument, nullptr, nullptr);
  bool isBuffer = false;
  if (count < 1 || napi_is_buffer(env, argument, &isBuffer) != napi_ok || !isBuffer) {
    return std::nullopt;
  }
  void* data = nullptr;
  std::size_t length = 0;
  if (napi_get_buffer_info(env, argument, &data, &length) != napi_ok || length < 8) {
    return std::nullopt;
  }
  std::uint64_t handle = 0;
  std::memcpy(&handle, data, sizeof handle);
  // X resource ids have 29 bits; anything wider names no window.
  if (display == nullptr || handle == 0 || handle > 0x1FFFFFFF || handle == display->root()) {
    return std::nullopt;
  }
  const auto window = static_cast<xcb_window_t>(handle);
  auto attributes = owned(xcb_get_window_attributes_reply(
      display->connection(), xcb_get_window_attributes(display->connection(), window), nullptr));
  if (!attributes) return std::nullopt;
  return window;
}

// --- the five exports -------------------------------------------------------------------------

napi_value booleanValue(napi_env env, bool value) {
  napi_value result = nullptr;
  napi_get_boolean(env, value, &result);
  return result;
}

napi_value nullValue(napi_env env) {
  napi_value result = nullptr;
  napi_get_null(env, &result);
  return result;
}

void setNumber(napi_env env, napi_value object, const char* key, double value) {
  napi_value number = nullptr;
  napi_create_double(env, value, &number);
  napi_set_named_property(env, object, key, number);
}

// Adds `added` to the window's _NET_WM_STATE: through the window manager when it manages the
// window (it owns the property then), on the property itself before the window is managed.
void addStates(Display& display, xcb_window_t window, bool managed,
               const std::vector<xcb_atom_t>& added) {
  const xcb_atom_t property = display.atom("_NET_WM_STATE");
  auto states = display.words(window, property, XCB_ATOM_ATOM).value_or(std::vector<xcb_atom_t>{});
  for (const xcb_atom_t state : added) {
    if (!holds(states, state)) states.push_back(state);
  }
  display.setWords(window, property, XCB_ATOM_ATOM, states);
  if (!managed) return;
  for (std::size_t index = 0; index < added.size(); index += 2) {
    const xcb_atom_t second = index + 1 < added.size() ? added[index + 1] : noAtom;
    display.tellWindowManager(window, property,
                              {stateAdd, added[index], second, sourceApplication, 0});
  }
}

napi_value MakeNonActivatingPanel(napi_env env, napi_callback_info info) {
  auto display = Display::open();
  const auto window = windowArgument(env, info, display.get());
  if (!window) return booleanValue(env, false);
  Display& x = *display;

  // Input hint false: the window manager never gives it focus, on showing or on a click.
  std::vector<std::uint32_t> hints =
      x.words(*window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS).value_or(std::vector<std::uint32_t>{});
  hints.resize(std::max(hints.size(), wmHintsFields), 0);
  hints[0] |= inputHintFlag;
  hints[1] = 0;
  x.setWords(*window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, hints);

  // Without a window manager nothing keeps the panel above or out of the taskbar.
  if (!x.windowManagerPresent()) {
    x.sync();
    return booleanValue(env, false);
  }

  // Nor may it ask for focus itself (the "globally active" model), nor be focused when mapped.
  const xcb_atom_t protocolsAtom = x.atom("WM_PROTOCOLS");
  auto protocols =
      x.words(*window, protocolsAtom, XCB_ATOM_ATOM).value_or(std::vector<xcb_atom_t>{});
  std::erase(protocols, x.atom("WM_TAKE_FOCUS"));
  x.setWords(*window, protocolsAtom, XCB_ATOM_ATOM, protocols);
  x.setWords(*window, x.atom("_NET_WM_USER_TIME"), XCB_ATOM_CARDINAL, {0});

  // The panel kind of window: a utility window, kept above, on every desktop, in no taskbar,
  // pager or window cycle.
  x.setWords(*window, x.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
             {x.atom("_NET_WM_WINDOW_TYPE_UTILITY")});
  const bool managed = x.word(*window, x.atom("WM_STATE"), x.atom("WM_STATE")).has_value();
  addStates(x, *window, managed,
            {x.atom("_NET_WM_STATE_SKIP_TASKBAR"), x.atom("_NET_WM_STATE_SKIP_PAGER"),
             x.atom("_NET_WM_STATE_ABOVE")});
  const xcb_atom_t desktop = x.atom("_NET_WM_DESKTOP");
  x.setWords(*window, desktop, XCB_ATOM_CARDINAL, {allDesktops});
  if (managed) x.tellWindowManager(*window, desktop, {allDesktops, sourceApplication, 0, 0, 0});
  x.sync();
  return booleanValue(env, true);
}

// Waits for PropertyNotify events of `property` on the root until `wait` passes; true when one
// came.
bool rootPropertyChanged(Display& display, xcb_atom_t property,
                         std::chrono::steady_clock::duration wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    while (auto* event = xcb_poll_for_event(display.connection())) {
      auto held = owned(event);
      if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) continue;
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
      if (notify->window == display.root() && notify->atom == property) return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd descriptor{xcb_get_file_descriptor(display.connection()), POLLIN, 0};
    if (poll(&descriptor, 1, static_cast<int>(left.count())) < 0) return false;
    if (xcb_connection_has_error(display.connection()) != 0) return false;
  }
}

napi_value MakeKeyWithoutActivating(napi_env env, napi_callback_info info) {
  auto display = Display::open();
  const auto window = windowArgument(env, info, display.get());
  if (!window) return booleanValue(env, false);
  Display& x = *display;
  const xcb_atom_t activeAtom = x.atom("_NET_ACTIVE_WINDOW");
  const bool windowManager = x.windowManagerPresent();
  const auto active = x.word(x.root(), activeAtom, XCB_ATOM_WINDOW);
  const std::uint32_t rootEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(x.connection(), x.root(), XCB_CW_EVENT_MASK, &rootEvents);

  const std::uint32_t above = XCB_STACK_MODE_ABOVE;
  xcb_configure_window(x.connection(), *window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  // Focus straight from the server, not through the window manager's activation.
  xcb_set_input_focus(x.connection(), XCB_INPUT_FOCUS_PARENT, *window, XCB_CURRENT_TIME);
  const bool key = x.focus() == *window;
  if (!key || !windowManager || active.value_or(XCB_WINDOW_NONE) == *window) {
    return booleanValue(env, key);
  }
  // EWMH window managers name whatever holds the focus the active window. The panel is not to
  // become the active application, so the window that was active is named again once the
  // manager has written its own choice (and again if it writes more than once).
  const auto giveUp = std::chrono::steady_clock::now() + activeRewriteWait + 10 * activeSettleWait;
  bool changed = rootPropertyChanged(x, activeAtom, activeRewriteWait);
  // Bounded, should a window manager insist on its own choice.
  while (changed && std::chrono::steady_clock::now() < giveUp) {
    if (x.word(x.root(), activeAtom, XCB_ATOM_WINDOW) != active) {
      if (active) {
        x.setWords(x.root(), activeAtom, XCB_ATOM_WINDOW, {*active});
      } else {
        xcb_delete_property(x.connection(), x.root(), activeAtom);
      }
      x.sync();
      // Our own write comes back as an event too.
      rootPropertyChanged(x, activeAtom, activeSettleWait);
    }
    changed = rootPropertyChanged(x, activeAtom, activeSettleWait);
  }
  return booleanValue(env, x.focus() == *window);
}

napi_value ScreenNotch(napi_env env, napi_callback_info info) {
  std::size_t count = 2;
  std::array<napi_value, 2> arguments{};
  napi_get_cb_info(env, info, &count, arguments.data(), nullptr, nullptr);
  napi_valuetype type = napi_undefined;
  if (count != 1 || napi_typeof(env, arguments[0], &type) != napi_ok || type != napi_number) {
    return nullValue(env);
  }
  // No X11 display has a camera housing: every screen answers as one without a notch.
  return nullValue(env);
}

struct Bounds {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// The frame's outer bounds in root coordinates: the client's area, its border, and the
// decorations the window manager reports in _NET_FRAME_EXTENTS.
std::optional<Bounds> frameBounds(Display& display, xcb_window_t window) {
  xcb_connection_t* c = display.connection();
  auto geometry = owned(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
  auto origin = owned(xcb_translate_coordinates_reply(
      c, xcb_translate_coordinates(c, window, display.root(), 0, 0), nullptr));
  if (!geometry || !origin) return std::nullopt;
  auto extents = display.words(window, display.atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL)
                     .value_or(std::vector<std::uint32_t>{});
  extents.resize(4, 0);
  const double border = geometry->border_width;
  const double left = extents[0], right = extents[1], top = extents[2], bottom = extents[3];
  return Bounds{origin->dst_x - border - left, origin->dst_y - border - top,
                geometry->width + 2 * border + left + right,
                geometry->height + 2 * border + top + bottom};
}

napi_value FocusedWindow(napi_env env, napi_callback_info) {
  auto display = Display::open();
  if (!display) return nullValue(env);
  Display& x = *display;
  const xcb_atom_t pidAtom = x.atom("_NET_WM_PID");
  const auto active = x.word(x.root(), x.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
  if (!active || *active == XCB_WINDOW_NONE) return nullValue(env);
  // The front application is the process of the active window; a window that names no process
  // is an application of its own.
  const auto frontPid = x.word(*active, pidAtom, XCB_ATOM_CARDINAL);
  const auto stacking = x.words(x.root(), x.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
  if (!stacking) return nullValue(env);
  const xcb_atom_t hidden = x.atom("_NET_WM_STATE_HIDDEN");
  const xcb_atom_t opacity = x.atom("_NET_WM_WINDOW_OPACITY");
  for (auto window = stacking->rbegin(); window != stacking->rend(); ++window) {
    const bool sameApp =
        frontPid ? x.word(*window, pidAtom, XCB_ATOM_CARDINAL) == frontPid : *window == *active;
    if (!sameApp) continue;
    const WindowFacts facts = factsOf(x, *window);
    if (!facts.viewable || holds(facts.states, hidden) || levelOf(x, facts) != normalLevel) {
      continue;
    }
    if (x.word(*window, opacity, XCB_ATOM_CARDINAL).value_or(fullyOpaque) == 0) continue;
    const auto bounds = frameBounds(x, *window);
    if (!bounds || bounds->width < smallestFrontWindow || bounds->height < smallestFrontWindow) {
      continue;
    }
    napi_value result = nullptr;
    napi_create_object(env, &result);
    setNumber(env, result, "x", bounds->x);
    setNumber(env, result, "y", bounds->y);
    setNumber(env, result, "width", bounds->width);
    setNumber(env, result, "height", bounds->height);
    return result;
  }
  return nullValue(env);
}

napi_value textValue(napi_env env, const std::string& text) {
  napi_value result = nullptr;
  napi_create_string_utf8(env, text.data(), text.size(), &result);
  return result;
}

napi_value Describe(napi_env env, napi_callback_info info) {
  auto display = Display::open();
  const auto window = windowArgument(env, info, display.get());
  if (!window) return textValue(env, "no window");
  Display& x = *display;
  const WindowFacts facts = factsOf(x, *window);
  // WM_CLASS holds the instance name, then the class name: the specific kind, then the general.
  std::string instance = "(null)";
  std::string general = "(null)";
  if (const auto names = x.bytes(*window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) {
    const std::size_t end = names->find('\0');
    instance = names->substr(0, end);
    if (end != std::string::npos) {
      const std::string rest = names->substr(end + 1);
      general = rest.substr(0, rest.find('\0'));
    }
  }
  const bool panel = isType(x, facts, "_NET_WM_WINDOW_TYPE_UTILITY");
  const bool nonactivating = refusesInput(facts);
  // X gives the keyboard focus only to a viewable window.
  const bool canBecomeKey = facts.viewable;
  // The window manager activates only windows that take focus, and of the application kinds.
  const bool takesFocus = !nonactivating || holds(facts.protocols, x.atom("WM_TAKE_FOCUS"));
  const bool applicationKind = !facts.type || isType(x, facts, "_NET_WM_WINDOW_TYPE_NORMAL") ||
                               isType(x, facts, "_NET_WM_WINDOW_TYPE_DIALOG");
  const bool canBecomeMain = takesFocus && applicationKind;
  const long level = levelOf(x, facts);
  const auto print = [&](char* out, std::size_t size) {
    return std::snprintf(
        out, size,
        "%s super=%s panel=%d nonactivating=%d canBecomeKey=%d canBecomeMain=%d level=%ld",
        instance.c_str(), general.c_str(), panel ? 1 : 0, nonactivating ? 1 : 0,
        canBecomeKey ? 1 : 0, canBecomeMain ? 1 : 0, level);
  };
  std::string text(static_cast<std::size_t>(print(nullptr, 0)) + 1, '\0');
  text.resize(static_cast<std::size_t>(print(text.data(), text.size())));
  return textValue(env, text);
}

}  // namespace

NAPI_MODULE_INIT() {
  const napi_property_descriptor properties[] = {
      {"makeNonActivatingPanel", nullptr, MakeNonActivatingPanel, nullptr, nullptr, nullptr,
       napi_default, nullptr},
      {"makeKeyWithoutActivating", nullptr, MakeKeyWithoutActivating, nullptr, nullptr, nullptr,
       napi_default, nullptr},
      {"screenNotch", nullptr, ScreenNotch, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"focusedWindow", nullptr, FocusedWindow, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"describe", nullptr, Describe, nullptr, nullptr, nullptr, napi_default, nullptr},
  };
  napi_define_properties(env, exports, sizeof properties / sizeof properties[0], properties);
  return exports;
}
