#include "LinuxNotifications.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace halcy::LinuxNotifications {

namespace {

constexpr std::string_view eventInterfacePrefix = "org.a11y.atspi.Event.";

enum class When { any, set, cleared };

struct Row {
  std::string_view type;  // "kind:member" or "kind:member:detail"
  When when;              // what detail1 must say for state changes
  std::string_view notification;
};

// The first row whose type and condition match decides.
constexpr std::array rows{
    Row{"object:state-changed:focused", When::set, "AXFocusedUIElementChanged"},
    // Focus moving inside a list or tree is reported on the container as its active descendant.
    Row{"object:active-descendant-changed", When::any, "AXFocusedUIElementChanged"},
    Row{"window:activate", When::any, "AXFocusedWindowChanged"},
    Row{"window:create", When::any, "AXWindowCreated"},
    Row{"object:text-changed:insert", When::any, "AXValueChanged"},
    Row{"object:text-changed:delete", When::any, "AXValueChanged"},
    Row{"object:property-change:accessible-value", When::any, "AXValueChanged"},
    Row{"object:value-changed", When::any, "AXValueChanged"},
    // A check box's value is its checked state.
    Row{"object:state-changed:checked", When::any, "AXValueChanged"},
    Row{"window:move", When::any, "AXMoved"},
    Row{"window:resize", When::any, "AXResized"},
    // Bounds events do not say whether the element moved or changed size; either way its frame
    // must be read again.
    Row{"object:bounds-changed", When::any, "AXResized"},
    Row{"object:state-changed:defunct", When::set, "AXUIElementDestroyed"},
    Row{"window:destroy", When::any, "AXUIElementDestroyed"},
    Row{"object:children-changed:add", When::any, "AXLayoutChanged"},
    Row{"object:children-changed:remove", When::any, "AXLayoutChanged"},
    Row{"object:visible-data-changed", When::any, "AXLayoutChanged"},
    Row{"object:state-changed:showing", When::any, "AXLayoutChanged"},
    Row{"object:state-changed:visible", When::any, "AXLayoutChanged"},
    Row{"object:property-change:accessible-name", When::any, "AXTitleChanged"},
    Row{"object:selection-changed", When::any, "AXSelectedChildrenChanged"},
    Row{"object:text-selection-changed", When::any, "AXSelectedTextChanged"},
    Row{"object:text-caret-moved", When::any, "AXSelectedTextChanged"},
    Row{"object:state-changed:expanded", When::set, "AXRowExpanded"},
    Row{"object:state-changed:expanded", When::cleared, "AXRowCollapsed"},
};

bool holds(When when, std::int32_t detail1) {
  switch (when) {
    case When::set:
      return detail1 != 0;
    case When::cleared:
      return detail1 == 0;
    case When::any:
      return true;
  }
  return false;
}

bool isMenu(AtSpiRole role) {
  return role == AtSpiRole::menu || role == AtSpiRole::popupMenu;
}

bool isDialog(AtSpiRole role) {
  return role == AtSpiRole::dialog || role == AtSpiRole::alert;
}

// Menus open and close by being shown and hidden; there is no event of their own.
std::optional<std::string_view> menuShown(const AtSpiEvent& event, AtSpiRole role) {
  if (!isMenu(role) || event.type() != "object:state-changed:showing") return std::nullopt;
  return event.detail1 != 0 ? "AXMenuOpened" : "AXMenuClosed";
}

// A modal dialog over a window is what a sheet is elsewhere.
bool sheetCreated(const AtSpiEvent& event, AtSpiRole role, AtSpiStates states) {
  return event.type() == "window:create" && isDialog(role) && states.has(AtSpiState::modal);
}

}  // namespace

std::optional<std::string_view> notificationName(const AtSpiEvent& event, AtSpiRole sourceRole,
                                                 AtSpiStates sourceStates) {
  if (auto menu = menuShown(event, sourceRole)) return menu;
  if (sheetCreated(event, sourceRole, sourceStates)) return "AXSheetCreated";
  const std::string type = event.type();
  for (const Row& row : rows) {
    if (row.type == type && holds(row.when, event.detail1)) return row.notification;
  }
  return std::nullopt;
}

const std::vector<std::string>& listenedEvents() {
  static const std::vector<std::string> events = [] {
    std::vector<std::string> types;
    for (const Row& row : rows) {
      if (types.empty() || types.back() != row.type) types.emplace_back(row.type);
    }
    return types;
  }();
  return events;
}

std::vector<std::string> eventsFor(const std::vector<std::string_view>& notifications) {
  const auto wanted = [&](std::string_view name) {
    return std::find(notifications.begin(), notifications.end(), name) != notifications.end();
  };
  std::vector<std::string> types;
  const auto add = [&](std::string_view type) {
    if (std::find(types.begin(), types.end(), type) == types.end()) types.emplace_back(type);
  };
  for (const Row& row : rows) {
    if (wanted(row.notification)) add(row.type);
  }
  if (wanted("AXMenuOpened") || wanted("AXMenuClosed")) add("object:state-changed:showing");
  if (wanted("AXSheetCreated")) add("window:create");
  return types;
}

std::optional<std::string> eventKind(std::string_view interface) {
  if (interface.substr(0, eventInterfacePrefix.size()) != eventInterfacePrefix) return std::nullopt;
  std::string kind(interface.substr(eventInterfacePrefix.size()));
  for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return kind;
}

std::string eventMember(std::string_view signalMember) {
  std::string member;
  for (const char c : signalMember) {
    if (std::isupper(static_cast<unsigned char>(c)) != 0) {
      if (!member.empty()) member += '-';
      member += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else {
      member += c;
    }
  }
  return member;
}

}  // namespace halcy::LinuxNotifications
