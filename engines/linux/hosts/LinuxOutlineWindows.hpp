#pragma once
// What the X server tells of top-level windows that AT-SPI does not: GTK sends no event when a
// window moves, and a menu opens only as state changes of its items and a mapped popup window.
// The root's substructure events (configure, map, unmap, destroy of every top-level window) and
// the questions about a window's owner are asked here, and only here, on the shared connection.

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LinuxDisplay.hpp"
#include "Subscription.hpp"

namespace halcy {

class LinuxOutlineWindows {
 public:
  struct Event {
    // `connected`: a new connection after the display came back; the windows known before are
    // gone with the old server.
    enum class Kind { configured, mapped, unmapped, destroyed, connected };
    Kind kind = Kind::configured;
    xcb_window_t window = XCB_WINDOW_NONE;
    XRect bounds;  // of a configured window
  };
  // Who a top-level window (a window manager's frame, or a client that has none) belongs to.
  struct Owner {
    std::int64_t pid = 0;
    std::optional<std::string> title;
    bool menu = false;   // a menu's popup (menus, drop-downs, combo lists)
    bool popup = false;  // placed by its application, not by the window manager
    XRect bounds;
  };

  // Events arrive on the connection's reader thread: `onEvent` must only queue them.
  LinuxOutlineWindows(std::shared_ptr<LinuxDisplay> display,
                      std::function<void(const Event&)> onEvent);
  LinuxOutlineWindows(const LinuxOutlineWindows&) = delete;
  LinuxOutlineWindows& operator=(const LinuxOutlineWindows&) = delete;

  std::vector<xcb_window_t> topLevels();
  std::optional<Owner> owner(xcb_window_t topLevel);
  // Connects again after the display went away; the connection selects the root's events again.
  void keepConnected();

  // The event a root substructure notification stands for; none for any other X event.
  static std::optional<Event> eventOf(const xcb_generic_event_t& event, xcb_window_t root);

 private:
  struct Placement {
    XRect bounds;  // relative to the parent
    bool overrideRedirect = false;
  };
  static std::vector<xcb_window_t> children(XLink& link, xcb_window_t parent);
  static std::optional<Placement> placement(XLink& link, xcb_window_t window);

  std::shared_ptr<LinuxDisplay> display_;
  // Declared last: they end first, before anything their handlers use.
  Subscription events_;
  Subscription rootInput_;
};

}  // namespace halcy
