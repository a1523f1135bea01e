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
  std::string wmInstance;
  std::string wmClass;
  std::optional<std::string> gtkApplicationId;
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
  std::optional<xcb_window_t> activeWindow();
  std::optional<std::int64_t> activePid();
  // RandR monitors, the primary one (the main display) first.
  std::vector<LinuxMonitor> monitors();
  // A window's children, bottom to top; the root's are the top-level windows.
  std::vector<xcb_window_t> children(xcb_window_t parent);
  // Where a window lies relative to its parent, and whether its application places it itself
  // (override-redirect: menus, tooltips); none when it is gone.
  struct Placement {
    XRect bounds;
    bool overrideRedirect = false;
  };
  std::optional<Placement> placement(xcb_window_t window);

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
// windows kept below -1, the desktop far below everything.
std::int32_t windowLayer(const std::vector<std::string>& types,
                         const std::vector<std::string>& states);

}  // namespace halcy
