#pragma once
// The X display as the window manager describes it: the window list (EWMH), the active window,
// and the RandR monitors, read over the adapter's one shared connection. Without a display every
// answer is empty; a display that goes away is connected again on a later use.

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "XConnection.hpp"

namespace halcy {

// A rectangle in root-window pixels, which are the desktop's global points.
struct XRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool operator==(const XRect&) const = default;
};

struct LinuxWindow {
  xcb_window_t id = 0;
  std::int64_t pid = 0;  // 0 when the window does not say (_NET_WM_PID)
  std::optional<std::string> title;
  std::int32_t layer = 0;  // 0 is the ordinary application layer
  bool onScreen = false;
  XRect bounds;  // with the window manager's frame around it
  // The child of the root that holds the window: its window manager's frame, or the window itself
  // (override-redirect and unmanaged windows); 0 when unknown.
  xcb_window_t frame = 0;
  std::string wmInstance;
  std::string wmClass;
  std::optional<std::string> gtkApplicationId;
};

// A child of the root window as the X server stacks it: a frame, an override-redirect window or an
// unmanaged one.
struct LinuxTopLevel {
  xcb_window_t id = 0;
  XRect bounds;  // border included
  std::uint16_t border = 0;
  std::uint8_t depth = 0;
  bool viewable = false;
  bool inputOnly = false;
  bool overrideRedirect = false;
};

// The stacking of the desktop at one moment.
struct LinuxStacking {
  std::vector<LinuxTopLevel> topLevels;  // bottom to top
  // Front to back: the managed windows, and the viewable top-levels that hold none (menus,
  // tooltips, unmanaged windows), each with the frame that holds it. A window that does not name
  // its process (_NET_WM_PID) is given the process of the X client that made it.
  std::vector<LinuxWindow> windows;
};

struct LinuxMonitor {
  std::uint32_t id = 0;  // the monitor's name atom: stable while the server runs
  std::string name;
  XRect bounds;
  bool primary = false;
};

class LinuxDisplay {
 public:
  explicit LinuxDisplay(std::shared_ptr<XConnection> connection);

  // The shared connection, for hosts that make requests of their own.
  const std::shared_ptr<XConnection>& connection() const { return connection_; }

  // Managed windows, front to back as the window manager stacks them.
  std::vector<LinuxWindow> windows();
  std::optional<LinuxWindow> window(xcb_window_t id);
  // Managed and override-redirect windows, front to back as the X server stacks them.
  LinuxStacking stacking();
  std::optional<xcb_window_t> activeWindow();
  std::optional<std::int64_t> activePid();
  // RandR monitors, the primary one (the main display) first.
  std::vector<LinuxMonitor> monitors();

 private:
  // The live connection with the atoms every window read needs.
  std::shared_ptr<XLink> link();

  std::shared_ptr<XConnection> connection_;
};

// The layer of a window from its EWMH types and states, on the caller's scale: ordinary windows
// 0, kept-above and utility windows 3, docks and panels 20, menus 101, tooltips 200, drags 500,
// windows kept below -1, the desktop far below everything. An override-redirect window that names
// no type floats above the managed ones as a popup: 101.
std::int32_t windowLayer(const std::vector<std::string>& types,
                         const std::vector<std::string>& states, bool overrideRedirect = false);

}  // namespace halcy
