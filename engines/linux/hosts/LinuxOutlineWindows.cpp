#include "LinuxOutlineWindows.hpp"

#include <atomic>

namespace halcy {

namespace {

void selectOnRoot(const LinuxDisplay::Link& link, std::uint32_t mask) {
  xcb_change_window_attributes(link.connection.get(), link.root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(link.connection.get());
}

}  // namespace

// The root whose substructure is selected, shared with the event handler on the main context.
struct LinuxOutlineWindows::Selected {
  std::atomic<xcb_window_t> root{XCB_WINDOW_NONE};
};

LinuxOutlineWindows::LinuxOutlineWindows(std::shared_ptr<LinuxDisplay> display,
                                         std::function<void(const Event&)> onEvent)
    : display_(std::move(display)), selected_(std::make_shared<Selected>()) {
  std::weak_ptr<Selected> weak = selected_;
  subscription_ = display_->subscribe(
      [weak, onEvent = std::move(onEvent)](const xcb_generic_event_t& event) {
        const auto selected = weak.lock();
        if (!selected) return;
        if (auto heard = eventOf(event, selected->root.load())) onEvent(*heard);
      },
      [weak](const LinuxDisplay::Link& link) {
        const auto selected = weak.lock();
        if (!selected) return;
        selected->root = link.root;
        selectOnRoot(link, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
      });
}

LinuxOutlineWindows::~LinuxOutlineWindows() {
  subscription_ = LinuxDisplay::Subscription();
  // Nothing else of the engine listens to the root on this connection.
  if (auto link = display_->link()) selectOnRoot(*link, XCB_EVENT_MASK_NO_EVENT);
}

std::optional<LinuxOutlineWindows::Event> LinuxOutlineWindows::eventOf(
    const xcb_generic_event_t& event, xcb_window_t root) {
  // A client that withdraws a window also sends the root an unmap of its own making: the
  // server's own events are enough.
  if ((event.response_type & 0x80) != 0) return std::nullopt;
  const auto type = static_cast<std::uint8_t>(event.response_type);
  if (type == XCB_CONFIGURE_NOTIFY) {
    const auto& configure = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
    if (configure.event != root || configure.window == root) return std::nullopt;
    return Event{Event::Kind::configured, configure.window,
                 XRect{configure.x, configure.y, configure.width, configure.height}};
  }
  if (type == XCB_MAP_NOTIFY) {
    const auto& map = reinterpret_cast<const xcb_map_notify_event_t&>(event);
    if (map.event != root) return std::nullopt;
    return Event{Event::Kind::mapped, map.window, {}};
  }
  if (type == XCB_UNMAP_NOTIFY) {
    const auto& unmap = reinterpret_cast<const xcb_unmap_notify_event_t&>(event);
    if (unmap.event != root) return std::nullopt;
    return Event{Event::Kind::unmapped, unmap.window, {}};
  }
  if (type == XCB_DESTROY_NOTIFY) {
    const auto& destroy = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
    if (destroy.event != root) return std::nullopt;
    return Event{Event::Kind::destroyed, destroy.window, {}};
  }
  return std::nullopt;
}

std::vector<xcb_window_t> LinuxOutlineWindows::topLevels() {
  const auto link = display_->link();
  if (!link) return {};
  return display_->children(link->root);
}

std::optional<LinuxOutlineWindows::Owner> LinuxOutlineWindows::owner(xcb_window_t topLevel) {
  const std::optional<LinuxDisplay::Placement> placement = display_->placement(topLevel);
  if (!placement) return std::nullopt;
  // A window manager's frame says nothing of its own: its client, one level down, does.
  std::vector<xcb_window_t> candidates = {topLevel};
  const std::vector<xcb_window_t> inside = display_->children(topLevel);
  candidates.insert(candidates.end(), inside.begin(), inside.end());
  const std::int32_t menuLayer = windowLayer({"_NET_WM_WINDOW_TYPE_POPUP_MENU"}, {});
  for (const xcb_window_t candidate : candidates) {
    const std::optional<LinuxWindow> window = display_->window(candidate);
    if (!window || window->pid <= 0) continue;
    return Owner{window->pid, window->title, window->layer == menuLayer,
                 placement->overrideRedirect, placement->bounds};
  }
  return Owner{};
}

void LinuxOutlineWindows::keepConnected() {
  display_->link();
}

}  // namespace halcy
