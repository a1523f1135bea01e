#include "LinuxDisplay.hpp"

#include <xcb/randr.h>
#include <xcb/res.h>

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "XReply.hpp"

namespace halcy {

namespace {

// Atoms every window read needs, interned together once per connection.
const std::vector<std::string_view> knownAtoms = {
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
                         const std::vector<std::string>& states, bool overrideRedirect) {
  if (overrideRedirect && types.empty()) return 101;
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

namespace {

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

// A property of a window by the name of an atom interned with the known ones.
xcb_get_property_cookie_t ask(XLink& link, xcb_window_t window, std::string_view property,
                              xcb_atom_t type, std::uint32_t words = 1024) {
  return xcb_get_property(link.get(), 0, window, link.atom(property), type, 0, words);
}

WindowCookies askWindow(XLink& link, xcb_window_t window) {
  xcb_connection_t* c = link.get();
  const xcb_atom_t utf8 = link.atom("UTF8_STRING");
  WindowCookies cookies{};
  cookies.pid = ask(link, window, "_NET_WM_PID", XCB_ATOM_CARDINAL, 1);
  cookies.netName = ask(link, window, "_NET_WM_NAME", utf8);
  cookies.name = xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 1024);
  cookies.wmClass = xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 1024);
  cookies.appId = ask(link, window, "_GTK_APPLICATION_ID", utf8);
  cookies.types = ask(link, window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, 32);
  cookies.states = ask(link, window, "_NET_WM_STATE", XCB_ATOM_ATOM, 32);
  cookies.extents = ask(link, window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4);
  cookies.geometry = xcb_get_geometry(c, window);
  cookies.origin = xcb_translate_coordinates(c, window, link.root(), 0, 0);
  cookies.attributes = xcb_get_window_attributes(c, window);
  return cookies;
}

// Only the known atoms are named: the others matter to no layer, and naming them costs a round
// trip each.
std::vector<std::string> atomNamesOf(XLink& link, xcb_get_property_reply_t* reply) {
  std::vector<std::string> names;
  for (const std::uint32_t atom : wordsOf(reply)) names.push_back(link.knownName(atom));
  return names;
}

XReply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  return xReply(xcb_get_property_reply, c, cookie);
}

// None when the window is gone by the time the answers come.
std::optional<LinuxWindow> collectWindow(XLink& link, xcb_window_t window,
                                         const WindowCookies& cookies) {
  xcb_connection_t* c = link.get();
  auto pid = property(c, cookies.pid);
  auto netName = property(c, cookies.netName);
  auto name = property(c, cookies.name);
  auto wmClass = property(c, cookies.wmClass);
  auto appId = property(c, cookies.appId);
  auto types = property(c, cookies.types);
  auto states = property(c, cookies.states);
  auto extents = property(c, cookies.extents);
  auto geometry = xReply(xcb_get_geometry_reply, c, cookies.geometry);
  auto origin = xReply(xcb_translate_coordinates_reply, c, cookies.origin);
  auto attributes = xReply(xcb_get_window_attributes_reply, c, cookies.attributes);
  if (!geometry || !origin || !attributes) return std::nullopt;

  LinuxWindow result;
  result.id = window;
  if (auto words = wordsOf(pid.get()); !words.empty()) result.pid = words.front();
  result.title = textOf(netName.get());
  if (!result.title) result.title = textOf(name.get());
  std::tie(result.wmInstance, result.wmClass) = classOf(wmClass.get());
  result.gtkApplicationId = textOf(appId.get());
  const std::vector<std::string> stateNames = atomNamesOf(link, states.get());
  result.layer =
      windowLayer(atomNamesOf(link, types.get()), stateNames, attributes->override_redirect != 0);
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

LinuxDisplay::LinuxDisplay(std::shared_ptr<XConnection> connection)
    : connection_(std::move(connection)) {}

std::shared_ptr<XLink> LinuxDisplay::link() {
  auto made = connection_->link();
  if (made) made->intern(knownAtoms);
  return made;
}

std::vector<LinuxWindow> LinuxDisplay::windows() {
  auto made = link();
  if (!made) return {};
  auto stacking = property(
      made->get(), ask(*made, made->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 4096));
  std::vector<std::uint32_t> ids = wordsOf(stacking.get());
  // The window manager lists bottom to top.
  std::reverse(ids.begin(), ids.end());
  std::vector<WindowCookies> cookies;
  cookies.reserve(ids.size());
  for (const xcb_window_t id : ids) cookies.push_back(askWindow(*made, id));
  std::vector<LinuxWindow> result;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (auto window = collectWindow(*made, ids[i], cookies[i])) result.push_back(*window);
  }
  return result;
}

std::optional<LinuxWindow> LinuxDisplay::window(xcb_window_t id) {
  auto made = link();
  if (!made || id == XCB_WINDOW_NONE) return std::nullopt;
  return collectWindow(*made, id, askWindow(*made, id));
}

std::optional<xcb_window_t> LinuxDisplay::activeWindow() {
  auto made = link();
  if (!made) return std::nullopt;
  auto reply =
      property(made->get(), ask(*made, made->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 1));
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

// The whole root window as one monitor, for servers without RandR 1.5.
std::vector<LinuxMonitor> rootAsMonitor(xcb_connection_t* c, xcb_window_t root) {
  auto geometry = xReply(xcb_get_geometry_reply, c, xcb_get_geometry(c, root));
  if (!geometry) return {};
  return {LinuxMonitor{0, "screen", XRect{0, 0, geometry->width, geometry->height}, true}};
}

}  // namespace

std::vector<LinuxMonitor> LinuxDisplay::monitors() {
  auto made = link();
  if (!made) return {};
  xcb_connection_t* c = made->get();
  const xcb_window_t root = made->root();
  // A request of an extension the server lacks would close the whole connection.
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
  if (randr == nullptr || randr->present == 0) return rootAsMonitor(c, root);
  auto reply = xReply(xcb_randr_get_monitors_reply, c, xcb_randr_get_monitors(c, root, 1));
  if (!reply) return rootAsMonitor(c, root);
  std::vector<LinuxMonitor> result;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
       xcb_randr_monitor_info_next(&it)) {
    const xcb_randr_monitor_info_t& info = *it.data;
    result.push_back(LinuxMonitor{info.name, made->atomName(info.name),
                                  XRect{info.x, info.y, info.width, info.height},
                                  info.primary != 0});
  }
  if (result.empty()) return rootAsMonitor(c, root);
  // The main display is the primary output; without one, the first monitor the server lists.
  std::stable_partition(result.begin(), result.end(),
                        [](const LinuxMonitor& m) { return m.primary; });
  return result;
}

namespace {

// The process of the X client that made each window (X-Resource), for windows that do not say.
std::vector<std::int64_t> clientPids(xcb_connection_t* c, const std::vector<xcb_window_t>& ids) {
  std::vector<std::int64_t> pids(ids.size(), 0);
  // A request of an extension the server lacks would close the whole connection.
  const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
  if (res == nullptr || res->present == 0) return pids;
  std::vector<xcb_res_query_client_ids_cookie_t> cookies;
  cookies.reserve(ids.size());
  for (const xcb_window_t id : ids) {
    xcb_res_client_id_spec_t spec{id, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    cookies.push_back(xcb_res_query_client_ids(c, 1, &spec));
  }
  for (std::size_t i = 0; i < ids.size(); ++i) {
    auto reply = xReply(xcb_res_query_client_ids_reply, c, cookies[i]);
    if (!reply) continue;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
      if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0 ||
          xcb_res_client_id_value_value_length(it.data) < 1) {
        continue;
      }
      pids[i] = *xcb_res_client_id_value_value(it.data);
    }
  }
  return pids;
}

std::vector<LinuxTopLevel> topLevelsOf(xcb_connection_t* c, xcb_window_t root) {
  auto tree = xReply(xcb_query_tree_reply, c, xcb_query_tree(c, root));
  if (!tree) return {};
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  const int count = xcb_query_tree_children_length(tree.get());
  std::vector<xcb_get_geometry_cookie_t> geometries;
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  for (int i = 0; i < count; ++i) {
    geometries.push_back(xcb_get_geometry(c, children[i]));
    attributes.push_back(xcb_get_window_attributes(c, children[i]));
  }
  std::vector<LinuxTopLevel> result;
  for (int i = 0; i < count; ++i) {
    auto geometry = xReply(xcb_get_geometry_reply, c, geometries[i]);
    auto attribute = xReply(xcb_get_window_attributes_reply, c, attributes[i]);
    if (!geometry || !attribute) continue;  // gone meanwhile
    const std::uint32_t border = 2U * geometry->border_width;
    result.push_back(LinuxTopLevel{
        children[i],
        XRect{geometry->x, geometry->y, geometry->width + border, geometry->height + border},
        geometry->border_width, geometry->depth, attribute->map_state == XCB_MAP_STATE_VIEWABLE,
        attribute->_class == XCB_WINDOW_CLASS_INPUT_ONLY, attribute->override_redirect != 0});
  }
  return result;
}

// The child of the root above each window; 0 for a window that is gone.
std::vector<xcb_window_t> framesOf(xcb_connection_t* c, xcb_window_t root,
                                   const std::vector<xcb_window_t>& windows) {
  std::vector<xcb_window_t> frames(windows.size(), 0);
  std::vector<xcb_window_t> current = windows;
  // Window managers nest a client one or two levels deep; a few rounds always reach the root.
  for (int round = 0; round < 8; ++round) {
    std::vector<std::pair<std::size_t, xcb_query_tree_cookie_t>> asked;
    for (std::size_t i = 0; i < current.size(); ++i) {
      if (frames[i] == 0 && current[i] != 0) asked.emplace_back(i, xcb_query_tree(c, current[i]));
    }
    if (asked.empty()) break;
    for (const auto& [i, cookie] : asked) {
      auto tree = xReply(xcb_query_tree_reply, c, cookie);
      if (!tree) {
        current[i] = 0;
      } else if (tree->parent == root) {
        frames[i] = current[i];
      } else {
        current[i] = tree->parent;
      }
    }
  }
  return frames;
}

}  // namespace

LinuxStacking LinuxDisplay::stacking() {
  LinuxStacking result;
  auto made = link();
  if (!made) return result;
  xcb_connection_t* c = made->get();
  std::vector<LinuxWindow> managed = windows();
  std::vector<xcb_window_t> ids;
  for (const LinuxWindow& window : managed) ids.push_back(window.id);
  const std::vector<xcb_window_t> frames = framesOf(c, made->root(), ids);
  result.topLevels = topLevelsOf(c, made->root());
  std::map<xcb_window_t, LinuxWindow> byFrame;
  for (std::size_t i = 0; i < managed.size(); ++i) {
    if (frames[i] == 0) continue;
    managed[i].frame = frames[i];
    byFrame.emplace(frames[i], std::move(managed[i]));
  }
  std::vector<xcb_window_t> loose;
  for (const LinuxTopLevel& top : result.topLevels) {
    if (byFrame.count(top.id) == 0 && top.viewable && !top.inputOnly) loose.push_back(top.id);
  }
  std::vector<WindowCookies> cookies;
  cookies.reserve(loose.size());
  for (const xcb_window_t id : loose) cookies.push_back(askWindow(*made, id));
  for (std::size_t i = 0; i < loose.size(); ++i) {
    auto window = collectWindow(*made, loose[i], cookies[i]);
    if (!window) continue;
    window->frame = loose[i];
    byFrame.emplace(loose[i], std::move(*window));
  }
  for (auto top = result.topLevels.rbegin(); top != result.topLevels.rend(); ++top) {
    auto found = byFrame.find(top->id);
    if (found == byFrame.end()) continue;
    result.windows.push_back(std::move(found->second));
  }
  std::vector<xcb_window_t> unnamed;
  for (const LinuxWindow& window : result.windows) {
    if (window.pid <= 0) unnamed.push_back(window.id);
  }
  const std::vector<std::int64_t> pids = clientPids(c, unnamed);
  for (std::size_t i = 0, next = 0; i < result.windows.size(); ++i) {
    if (result.windows[i].pid <= 0) result.windows[i].pid = pids[next++];
  }
  return result;
}

}  // namespace halcy
