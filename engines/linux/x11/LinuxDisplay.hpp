#pragma once
// The X display: one XCB connection shared by the adapter's hosts (XCB is thread-safe), its events
// dispatched on the default GLib main context, the window list from the window manager (EWMH), the
// active window, and the RandR monitors. Without a display every answer is empty; a display that
// goes away is connected again on the next use.

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  LinuxDisplay();
  ~LinuxDisplay();
  LinuxDisplay(const LinuxDisplay&) = delete;
  LinuxDisplay& operator=(const LinuxDisplay&) = delete;

  // The live connection for hosts that make their own requests; none without a display.
  struct Link {
    std::shared_ptr<xcb_connection_t> connection;
    xcb_window_t root = 0;
    int screen = 0;
  };
  std::optional<Link> link();
  // Interned once per connection; XCB_ATOM_NONE without a display.
  xcb_atom_t atom(std::string_view name);

  // Managed windows, front to back as the window manager stacks them.
  std::vector<LinuxWindow> windows();
  std::optional<LinuxWindow> window(xcb_window_t id);
  // Managed and override-redirect windows, front to back as the X server stacks them.
  LinuxStacking stacking();
  std::optional<xcb_window_t> activeWindow();
  std::optional<std::int64_t> activePid();
  // RandR monitors, the primary one (the main display) first.
  std::vector<LinuxMonitor> monitors();

  // Events of the connection, on the main context. onConnect runs for the current connection (right
  // away) and for every new one, on the thread that made it, so a host can select the input it
  // wants again.
  using EventHandler = std::function<void(const xcb_generic_event_t&)>;
  using ConnectHandler = std::function<void(const Link&)>;
  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&&) noexcept = default;
    Subscription& operator=(Subscription&&) noexcept = default;
    ~Subscription();

   private:
    friend class LinuxDisplay;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    std::function<void()> cancel_;
  };
  Subscription subscribe(EventHandler onEvent, ConnectHandler onConnect = {});

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The layer of a window from its EWMH types and states, on the caller's scale: ordinary windows
// 0, kept-above and utility windows 3, docks and panels 20, menus 101, tooltips 200, drags 500,
// windows kept below -1, the desktop far below everything. An override-redirect window that names
// no type floats above the managed ones as a popup: 101.
std::int32_t windowLayer(const std::vector<std::string>& types,
                         const std::vector<std::string>& states, bool overrideRedirect = false);

}  // namespace halcy
