#include "LinuxPaste.hpp"

#include <xcb/xtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "LinuxKeyCodes.hpp"
#include "Output.hpp"
#include "XReply.hpp"

namespace halcy {

namespace {

constexpr std::uint32_t keysymControlL = 0xFFE3;
constexpr std::uint32_t keysymShiftL = 0xFFE1;
// Where V sits, whatever the layout types there, as the caller's key codes count it.
constexpr std::uint16_t virtualKeyV = 9;

// WM_CLASS class or instance names of terminal emulators, lower case.
constexpr std::array terminalClasses = {"xterm",
                                        "uxterm",
                                        "gnome-terminal",
                                        "gnome-terminal-server",
                                        "konsole",
                                        "xfce4-terminal",
                                        "mate-terminal",
                                        "lxterminal",
                                        "qterminal",
                                        "tilix",
                                        "terminator",
                                        "alacritty",
                                        "kitty",
                                        "urxvt",
                                        "rxvt",
                                        "st",
                                        "st-256color",
                                        "wezterm",
                                        "foot",
                                        "sakura",
                                        "terminology",
                                        "guake",
                                        "tilda",
                                        "yakuake",
                                        "kgx",
                                        "org.gnome.console",
                                        "org.gnome.ptyxis",
                                        "ptyxis",
                                        "blackbox",
                                        "cool-retro-term"};

EngineFailure noEventSource() {
  return EngineFailure(ErrorCode::failed, "No event source for the paste keystroke.");
}

EngineFailure notMade() {
  return EngineFailure(ErrorCode::failed, "The paste keystroke could not be made.");
}

}  // namespace

LinuxPaste::LinuxPaste(std::shared_ptr<XConnection> connection)
    : connection_(std::move(connection)) {}

bool LinuxPaste::isTerminal(std::string_view wmClass) {
  std::string lower(wmClass);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(terminalClasses.begin(), terminalClasses.end(), lower) != terminalClasses.end();
}

namespace {

// "instance\0class\0": either name may be the one a terminal is known by.
std::optional<std::string> wmClassOf(const xcb_get_property_reply_t& property) {
  const int length = xcb_get_property_value_length(&property);
  if (length <= 0) return std::nullopt;
  const auto* bytes = static_cast<const char*>(xcb_get_property_value(&property));
  const std::string both(bytes, static_cast<std::size_t>(length));
  const std::string instance = both.substr(0, both.find('\0'));
  const std::size_t classStart = std::min(both.size(), instance.size() + 1);
  const std::string className = both.substr(classStart, both.find('\0', classStart) - classStart);
  return LinuxPaste::isTerminal(instance) ? instance : className;
}

// WM_CLASS of the focused top-level: the focus may sit on a child, so walk up until one has it.
std::optional<std::string> windowClass(const XLink& link, xcb_window_t window) {
  xcb_connection_t* c = link.get();
  for (int depth = 0; depth < 16 && window != XCB_NONE && window != link.root() &&
                      window != XCB_INPUT_FOCUS_POINTER_ROOT;
       ++depth) {
    const auto propertyCookie =
        xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    const auto treeCookie = xcb_query_tree(c, window);
    auto property = xReply(xcb_get_property_reply, c, propertyCookie);
    auto tree = xReply(xcb_query_tree_reply, c, treeCookie);
    if (property) {
      if (auto found = wmClassOf(*property)) return found;
    }
    if (!tree) break;
    window = tree->parent;
  }
  return std::nullopt;
}

}  // namespace

namespace {

std::optional<std::uint8_t> keycodeFor(const xcb_setup_t& setup,
                                       const xcb_get_keyboard_mapping_reply_t& mapping,
                                       std::uint32_t keysym) {
  const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(&mapping);
  const int perKey = mapping.keysyms_per_keycode;
  const int count = setup.max_keycode - setup.min_keycode + 1;
  for (int key = 0; key < count; ++key) {
    for (int column = 0; column < perKey; ++column) {
      if (symbols[key * perKey + column] == keysym) {
        return static_cast<std::uint8_t>(setup.min_keycode + key);
      }
    }
  }
  return std::nullopt;
}

// Keys held down right now that act as Shift, Alt, Super or another modifier; Control is pressed
// anyway and Caps Lock is a toggle that shortcuts ignore.
std::vector<std::uint8_t> heldModifierKeys(const xcb_get_modifier_mapping_reply_t& mapping,
                                           const xcb_query_keymap_reply_t& keymap) {
  const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(&mapping);
  const int perModifier = mapping.keycodes_per_modifier;
  constexpr int lockModifier = 1;
  constexpr int controlModifier = 2;
  std::vector<std::uint8_t> held;
  for (int modifier = 0; modifier < 8; ++modifier) {
    if (modifier == lockModifier || modifier == controlModifier) continue;
    for (int slot = 0; slot < perModifier; ++slot) {
      const xcb_keycode_t keycode = keycodes[modifier * perModifier + slot];
      const bool down = keycode != 0 && (keymap.keys[keycode / 8] >> (keycode % 8) & 1U) != 0;
      if (down && std::find(held.begin(), held.end(), keycode) == held.end()) {
        held.push_back(keycode);
      }
    }
  }
  return held;
}

void sendKey(const XLink& link, std::uint8_t keycode, bool down) {
  xcb_test_fake_input(link.get(), down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME,
                      link.root(), 0, 0, 0);
}

}  // namespace

std::optional<xcb_window_t> LinuxPaste::paste() {
  const std::shared_ptr<XLink> link = connection_->link();
  if (!link) throw noEventSource();
  xcb_connection_t* c = link->get();
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c, &xcb_test_id);
  if (xtest == nullptr || xtest->present == 0) throw noEventSource();

  // Everything the keystroke depends on, asked in one round trip.
  const xcb_setup_t* setup = xcb_get_setup(c);
  const auto keyCount = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  const auto mappingCookie = xcb_get_keyboard_mapping(c, setup->min_keycode, keyCount);
  const auto modifiersCookie = xcb_get_modifier_mapping(c);
  const auto keymapCookie = xcb_query_keymap(c);
  const auto focusCookie = xcb_get_input_focus(c);
  auto mapping = xReply(xcb_get_keyboard_mapping_reply, c, mappingCookie);
  auto modifiers = xReply(xcb_get_modifier_mapping_reply, c, modifiersCookie);
  auto keymap = xReply(xcb_query_keymap_reply, c, keymapCookie);
  auto focus = xReply(xcb_get_input_focus_reply, c, focusCookie);
  if (!mapping || !focus) throw noEventSource();

  const std::optional<std::uint32_t> v = LinuxKeyCodes::xKeycode(virtualKeyV);
  const std::optional<std::uint8_t> control = keycodeFor(*setup, *mapping, keysymControlL);
  if (!v || *v > 255 || !control) throw notMade();
  std::optional<std::uint8_t> shift;
  const std::optional<std::string> wmClass = windowClass(*link, focus->focus);
  if (wmClass && isTerminal(*wmClass)) {
    shift = keycodeFor(*setup, *mapping, keysymShiftL);
    if (!shift) throw notMade();
  }
  const auto key = static_cast<std::uint8_t>(*v);
  // A modifier still held (a dictation hotkey, say) would turn the keystroke into another one.
  if (modifiers && keymap) {
    for (const std::uint8_t held : heldModifierKeys(*modifiers, *keymap)) {
      sendKey(*link, held, false);
    }
  }
  sendKey(*link, *control, true);
  if (shift) sendKey(*link, *shift, true);
  sendKey(*link, key, true);
  sendKey(*link, key, false);
  if (shift) sendKey(*link, *shift, false);
  sendKey(*link, *control, false);
  // A round trip: the keystroke is in the server's queue before the caller hears of it.
  auto sync = xReply(xcb_get_input_focus_reply, c, xcb_get_input_focus(c));
  if (!sync) throw noEventSource();
  return sync->focus;
}

}  // namespace halcy
