#include "LinuxInput.hpp"

#include <xcb/xinput.h>

#include <array>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "LinuxButtons.hpp"
#include "LinuxModifiers.hpp"
#include "XReply.hpp"

namespace halcy {

double ServerClock::toEngine(std::uint32_t serverMs, double engineNow) {
  constexpr std::uint32_t half = 1U << 31;
  std::int64_t epoch = epoch_;
  if (last_ && serverMs<*last_&& * last_ - serverMs> half) {
    epoch = ++epoch_;  // wrapped forward
  } else if (last_ && serverMs > *last_ && serverMs - *last_ > half) {
    epoch = epoch_ - 1;  // a late stamp from before the last wrap
  }
  if (epoch == epoch_) last_ = serverMs;
  const double seconds =
      (static_cast<double>(epoch) * 4294967296.0 + static_cast<double>(serverMs)) / 1000.0;
  const double candidate = engineNow - seconds;
  if (!offset_ || candidate < *offset_) offset_ = candidate;
  return seconds + *offset_;
}

void ServerClock::reset() {
  *this = ServerClock{};
}

namespace {

constexpr std::uint8_t mappingModifier = 0;
constexpr std::uint8_t mappingKeyboard = 1;
constexpr std::uint8_t mappingPointer = 2;

struct Connection {
  std::shared_ptr<XLink> link;
  std::uint8_t xiOpcode = 0;  // 0 when the server has no XInput 2.2
  xcb_atom_t activeWindow = XCB_ATOM_NONE;
  xcb_window_t probe = XCB_WINDOW_NONE;

  xcb_connection_t* get() const { return link->get(); }
  xcb_window_t root() const { return link->root(); }
  bool is(const XLink& other) const { return link->serial() == other.serial(); }
};

// The major opcode of XInput once the server agreed to speak 2.2; 0 without it.
std::uint8_t announceXInput(xcb_connection_t* c) {
  // A request of an extension the server lacks would close the whole connection.
  const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
  if (xi == nullptr || xi->present == 0) return 0;
  auto version = xReply(xcb_input_xi_query_version_reply, c, xcb_input_xi_query_version(c, 2, 2));
  if (!version || version->major_version < 2) return 0;
  return xi->major_opcode;
}

xcb_window_t makeProbe(xcb_connection_t* c, xcb_window_t root) {
  const xcb_window_t probe = xcb_generate_id(c);
  const std::uint32_t overrideRedirect = 1;
  xcb_create_window(c, 0, probe, root, -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
  return probe;
}

LinuxModifiers::ModifierKeys readModifierKeys(xcb_connection_t* c) {
  auto reply = xReply(xcb_get_modifier_mapping_reply, c, xcb_get_modifier_mapping(c));
  std::array<std::vector<std::uint32_t>, 8> rows;
  if (!reply) return {};
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
  const std::size_t perRow = reply->keycodes_per_modifier;
  for (std::size_t row = 0; row < rows.size(); ++row) {
    rows[row].assign(codes + row * perRow, codes + (row + 1) * perRow);
  }
  return LinuxModifiers::ModifierKeys(rows);
}

std::vector<std::uint8_t> readPointerMapping(xcb_connection_t* c) {
  auto reply = xReply(xcb_get_pointer_mapping_reply, c, xcb_get_pointer_mapping(c));
  if (!reply) return {};
  const std::uint8_t* map = xcb_get_pointer_mapping_map(reply.get());
  return std::vector<std::uint8_t>(map, map + xcb_get_pointer_mapping_map_length(reply.get()));
}

std::uint32_t rawEventMask(unsigned wants) {
  std::uint32_t mask = 0;
  if ((wants & LinuxInput::keys) != 0) {
    mask |= XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
  }
  // Motion needs the buttons too: a motion with the primary button held is a drag.
  if ((wants & (LinuxInput::buttons | LinuxInput::motion)) != 0) {
    mask |= XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;
  }
  if ((wants & LinuxInput::motion) != 0) mask |= XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
  return mask;
}

unsigned wantOf(LinuxInput::Event::Kind kind) {
  switch (kind) {
    case LinuxInput::Event::Kind::keyDown:
    case LinuxInput::Event::Kind::keyUp:
      return LinuxInput::keys;
    case LinuxInput::Event::Kind::buttonDown:
    case LinuxInput::Event::Kind::buttonUp:
      return LinuxInput::buttons;
    case LinuxInput::Event::Kind::motion:
      break;
  }
  return LinuxInput::motion;
}

}  // namespace

struct LinuxInput::State {
  struct Listener {
    unsigned wants = 0;
    Handler handler;
  };

  std::shared_ptr<XConnection> connection;
  Clock clock;
  std::mutex lock;
  std::map<Slot, Listener> listeners;
  std::function<void()> activeHandler;
  std::optional<Connection> current;
  // What key and button events build up, valid for `current`.
  LinuxModifiers::ModifierKeys modifierKeys;
  LinuxModifiers::ModifierState modifiers;
  std::vector<std::uint8_t> buttonMapping;
  std::uint64_t heldButtons = 0;
  ServerClock serverClock;

  State(std::shared_ptr<XConnection> connection, Clock clock)
      : connection(std::move(connection)), clock(std::move(clock)) {}

  // With `lock` held.
  unsigned wanted() const {
    unsigned wants = 0;
    for (const auto& [slot, listener] : listeners) wants |= listener.wants;
    return wants;
  }

  // The current connection once it is greeted; none without a display.
  std::optional<Connection> live() {
    auto link = connection->link();
    std::lock_guard guard(lock);
    if (!link || !current || !current->is(*link)) return std::nullopt;
    return current;
  }

  // --- the connection ---

  void connected(const std::shared_ptr<XLink>& link) {
    Connection made{link};
    xcb_connection_t* c = made.get();
    made.xiOpcode = announceXInput(c);
    made.activeWindow = link->atom("_NET_ACTIVE_WINDOW");
    made.probe = makeProbe(c, made.root());
    LinuxModifiers::ModifierKeys keys = readModifierKeys(c);
    std::vector<std::uint8_t> mapping = readPointerMapping(c);
    std::function<void()> greet;
    {
      std::lock_guard guard(lock);
      current = made;
      modifierKeys = std::move(keys);
      buttonMapping = std::move(mapping);
      serverClock.reset();
      select(made, wanted());
      greet = activeHandler;
    }
    track();
    // The active window may have changed while the display was away.
    if (greet) greet();
  }

  void lost(const XLink& link) {
    std::lock_guard guard(lock);
    if (current && current->is(link)) current.reset();
  }

  // With `lock` held.
  static void select(const Connection& on, unsigned wants) {
    if (on.xiOpcode == 0) return;
    struct {
      xcb_input_event_mask_t head;
      std::uint32_t bits;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, rawEventMask(wants)};
    xcb_input_xi_select_events(on.get(), on.root(), 1, &selection.head);
    xcb_flush(on.get());
  }

  // The held modifier keys, the Caps Lock state and the held buttons as the server has them now,
  // so that the events that follow build on the truth.
  void track() {
    std::optional<Connection> on;
    {
      std::lock_guard guard(lock);
      on = current;
    }
    if (!on) return;
    xcb_connection_t* c = on->get();
    auto keymapCookie = xcb_query_keymap(c);
    auto pointerCookie = xcb_query_pointer(c, on->root());
    auto keymap = xReply(xcb_query_keymap_reply, c, keymapCookie);
    auto pointer = xReply(xcb_query_pointer_reply, c, pointerCookie);
    std::vector<std::uint32_t> held;
    if (keymap) {
      for (std::uint32_t keycode = 8; keycode < 256; ++keycode) {
        if ((keymap->keys[keycode / 8] >> (keycode % 8) & 1U) != 0) held.push_back(keycode);
      }
    }
    const std::uint16_t mask = pointer ? pointer->mask : 0;
    std::lock_guard guard(lock);
    if (!current || !current->is(*on->link)) return;
    modifiers =
        LinuxModifiers::ModifierState(held, (mask & LinuxModifiers::lockMask) != 0, modifierKeys);
    heldButtons = LinuxButtons::buttonsFromState(mask);
  }

  // --- events, on the reader thread ---

  void heard(XLink& link, const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (type == XCB_GE_GENERIC) {
      raw(link, reinterpret_cast<const xcb_ge_generic_event_t&>(event));
    } else if (type == XCB_PROPERTY_NOTIFY) {
      propertyChanged(link, reinterpret_cast<const xcb_property_notify_event_t&>(event));
    } else if (type == XCB_MAPPING_NOTIFY) {
      mappingChanged(link, reinterpret_cast<const xcb_mapping_notify_event_t&>(event));
    }
  }

  void propertyChanged(XLink& link, const xcb_property_notify_event_t& change) {
    std::function<void()> handler;
    {
      std::lock_guard guard(lock);
      if (!current || !current->is(link) || change.window != current->root() ||
          change.atom != current->activeWindow) {
        return;
      }
      handler = activeHandler;
    }
    if (handler) handler();
  }

  void mappingChanged(XLink& link, const xcb_mapping_notify_event_t& change) {
    if (change.request == mappingPointer) {
      std::vector<std::uint8_t> mapping = readPointerMapping(link.get());
      std::lock_guard guard(lock);
      if (current && current->is(link)) buttonMapping = std::move(mapping);
    } else if (change.request == mappingModifier || change.request == mappingKeyboard) {
      LinuxModifiers::ModifierKeys keys = readModifierKeys(link.get());
      std::lock_guard guard(lock);
      if (current && current->is(link)) modifierKeys = std::move(keys);
    }
  }

  void raw(XLink& link, const xcb_ge_generic_event_t& generic) {
    // Every raw event starts like a raw key press: device, time, then the key or button.
    const auto& fact = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(generic);
    std::vector<Handler> handlers;
    Event event;
    {
      std::lock_guard guard(lock);
      if (!current || !current->is(link) || current->xiOpcode == 0 ||
          generic.extension != current->xiOpcode) {
        return;
      }
      if (!translate(generic.event_type, fact.detail, event)) return;
      event.at = serverClock.toEngine(fact.time, clock());
      event.flags = modifiers.flags(modifierKeys);
      event.buttons = heldButtons;
      for (const auto& [slot, listener] : listeners) {
        if ((listener.wants & wantOf(event.kind)) != 0) handlers.push_back(listener.handler);
      }
    }
    for (const Handler& handler : handlers) handler(event);
  }

  // With `lock` held: the event in the caller's terms, with the tracked state brought up to date;
  // false for what nobody is told of.
  bool translate(std::uint16_t type, std::uint32_t detail, Event& event) {
    switch (type) {
      case XCB_INPUT_RAW_KEY_PRESS:
      case XCB_INPUT_RAW_KEY_RELEASE: {
        const bool down = type == XCB_INPUT_RAW_KEY_PRESS;
        event.kind = down ? Event::Kind::keyDown : Event::Kind::keyUp;
        event.detail = detail;
        event.modifier = modifiers.apply(detail, down, modifierKeys);
        return true;
      }
      case XCB_INPUT_RAW_BUTTON_PRESS:
      case XCB_INPUT_RAW_BUTTON_RELEASE: {
        const bool down = type == XCB_INPUT_RAW_BUTTON_PRESS;
        // Raw events carry the physical button; what it does goes through the pointer mapping.
        const std::uint32_t button = LinuxButtons::logicalButton(detail, buttonMapping);
        if (button == 0) return false;
        event.kind = down ? Event::Kind::buttonDown : Event::Kind::buttonUp;
        event.detail = button;
        if (auto bit = LinuxButtons::buttonBit(button)) {
          heldButtons = down ? heldButtons | *bit : heldButtons & ~*bit;
        }
        return true;
      }
      case XCB_INPUT_RAW_MOTION:
        event.kind = Event::Kind::motion;
        return true;
      default:
        return false;
    }
  }
};

LinuxInput::LinuxInput(std::shared_ptr<XConnection> connection, Clock clock)
    : state_(std::make_shared<State>(std::move(connection), std::move(clock))) {
  std::weak_ptr<State> weak = state_;
  watch_ = state_->connection->watch({[weak](XLink& link, const xcb_generic_event_t& event) {
                                        if (auto state = weak.lock()) state->heard(link, event);
                                      },
                                      [weak](const std::shared_ptr<XLink>& link) {
                                        if (auto state = weak.lock()) state->connected(link);
                                      },
                                      [weak](XLink& link) {
                                        if (auto state = weak.lock()) state->lost(link);
                                      }});
}

LinuxInput::~LinuxInput() {
  // No handler runs once the watch has ended.
  watch_ = Subscription();
}

void LinuxInput::holdWhatListenersNeed() {
  bool anyone = false;
  bool front = false;
  {
    std::lock_guard guard(state_->lock);
    front = static_cast<bool>(state_->activeHandler);
    anyone = front || !state_->listeners.empty();
  }
  std::lock_guard holds(holdsLock_);
  if (front && !rootProperties_) {
    rootProperties_ = state_->connection->selectRootInput(XCB_EVENT_MASK_PROPERTY_CHANGE);
  } else if (!front) {
    rootProperties_ = Subscription();
  }
  if (anyone && !kept_) {
    kept_ = state_->connection->keepConnected();
  } else if (!anyone) {
    kept_ = Subscription();
  }
}

void LinuxInput::listen(Slot slot, unsigned wants, Handler handler) {
  bool fresh = false;
  {
    std::lock_guard guard(state_->lock);
    const unsigned before = state_->wanted();
    state_->listeners[slot] = State::Listener{wants, std::move(handler)};
    const unsigned after = state_->wanted();
    // Tracking restarts from the server's state when key or button events start to be read.
    fresh = (after & ~before & (keys | buttons | motion)) != 0;
    if (state_->current && after != before) State::select(*state_->current, after);
  }
  if (fresh) state_->track();
  holdWhatListenersNeed();
}

void LinuxInput::stop(Slot slot) {
  {
    std::lock_guard guard(state_->lock);
    const unsigned before = state_->wanted();
    state_->listeners.erase(slot);
    if (state_->current && state_->wanted() != before) {
      State::select(*state_->current, state_->wanted());
    }
  }
  holdWhatListenersNeed();
}

void LinuxInput::onActiveWindowChange(std::function<void()> handler) {
  {
    std::lock_guard guard(state_->lock);
    state_->activeHandler = std::move(handler);
  }
  holdWhatListenersNeed();
}

std::optional<LinuxInput::Pointer> LinuxInput::pointer() {
  auto link = state_->connection->link();
  if (!link) return std::nullopt;
  xcb_connection_t* c = link->get();
  auto reply = xReply(xcb_query_pointer_reply, c, xcb_query_pointer(c, link->root()));
  if (!reply) return std::nullopt;
  return Pointer{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y),
                 reply->mask};
}

std::uint64_t LinuxInput::flagsNow() {
  auto now = pointer();
  return now ? LinuxModifiers::flags(now->mask) : 0;
}

bool LinuxInput::keyboardGrabbedElsewhere() {
  const std::optional<Connection> on = state_->live();
  if (!on) return false;
  xcb_connection_t* c = on->get();
  // The server answers "already grabbed" before it looks at the window, which is never mapped
  // ("not viewable"), and at the time, which is long past ("invalid time"): nothing is grabbed.
  constexpr xcb_timestamp_t longAgo = 1;
  auto reply =
      xReply(xcb_grab_keyboard_reply, c,
             xcb_grab_keyboard(c, 0, on->probe, longAgo, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  if (!reply) return false;
  if (reply->status == XCB_GRAB_STATUS_SUCCESS) {
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_flush(c);
    return false;
  }
  return reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED ||
         reply->status == XCB_GRAB_STATUS_FROZEN;
}

}  // namespace halcy
