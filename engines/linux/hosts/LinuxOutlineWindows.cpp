#include "LinuxOutlineWindows.hpp"

#include <atomic>

#include "XReply.hpp"

namespace halcy {

LinuxOutlineWindows::LinuxOutlineWindows(std::shared_ptr<LinuxDisplay> display,
                                         std::function<void(const Event&)> onEvent)
    : display_(std::move(display)) {
  // The connection that is live now was seen by whoever made this; a later one is news.
  auto watching = std::make_shared<std::atomic<bool>>(false);
  XConnection& x = *display_->connection();
  events_ = x.watch({
      .onEvent =
          [onEvent](XLink& link, const xcb_generic_event_t& event) {
            if (auto heard = eventOf(event, link.root())) onEvent(*heard);
          },
      .onConnect =
          [onEvent, watching](const std::shared_ptr<XLink>&) {
            if (*watching) onEvent(Event{Event::Kind::connected, XCB_WINDOW_NONE, {}});
          },
  });
  *watching = true;
  // Menus appear as new windows: only the root's substructure tells of them.
  rootInput_ = x.selectRootInput(XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
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

std::vector<xcb_window_t> LinuxOutlineWindows::children(XLink& link, xcb_window_t parent) {
  auto tree = xReply(xcb_query_tree_reply, link.get(), xcb_query_tree(link.get(), parent));
  if (!tree) return {};
  const xcb_window_t* ids = xcb_query_tree_children(tree.get());
  return std::vector<xcb_window_t>(ids, ids + xcb_query_tree_children_length(tree.get()));
}

std::optional<LinuxOutlineWindows::Placement> LinuxOutlineWindows::placement(XLink& link,
                                                                             xcb_window_t window) {
  xcb_connection_t* c = link.get();
  const auto attributesAsked = xcb_get_window_attributes(c, window);
  const auto geometryAsked = xcb_get_geometry(c, window);
  auto attributes = xReply(xcb_get_window_attributes_reply, c, attributesAsked);
  auto geometry = xReply(xcb_get_geometry_reply, c, geometryAsked);
  if (!attributes || !geometry) return std::nullopt;
  return Placement{XRect{geometry->x, geometry->y, geometry->width, geometry->height},
                   attributes->override_redirect != 0};
}

std::vector<xcb_window_t> LinuxOutlineWindows::topLevels() {
  const auto link = display_->connection()->link();
  if (!link) return {};
  return children(*link, link->root());
}

std::optional<LinuxOutlineWindows::Owner> LinuxOutlineWindows::owner(xcb_window_t topLevel) {
  const auto link = display_->connection()->link();
  if (!link) return std::nullopt;
  const std::optional<Placement> placed = placement(*link, topLevel);
  if (!placed) return std::nullopt;
  // A window manager's frame says nothing of its own: its client, one level down, does.
  std::vector<xcb_window_t> candidates = {topLevel};
  const std::vector<xcb_window_t> inside = children(*link, topLevel);
  candidates.insert(candidates.end(), inside.begin(), inside.end());
  const std::int32_t menuLayer = windowLayer({"_NET_WM_WINDOW_TYPE_POPUP_MENU"}, {});
  for (const xcb_window_t candidate : candidates) {
    const std::optional<LinuxWindow> window = display_->window(candidate);
    if (!window || window->pid <= 0) continue;
    return Owner{window->pid, window->title, window->layer == menuLayer, placed->overrideRedirect,
                 placed->bounds};
  }
  return Owner{};
}

void LinuxOutlineWindows::keepConnected() {
  display_->connection()->link();
}

}  // namespace halcy
