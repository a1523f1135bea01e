// The tables that turn AT-SPI roles and events into the caller's vocabulary.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "LinuxNotifications.hpp"
#include "LinuxRoles.hpp"

namespace halcy {
namespace {

using LinuxRoles::AxRole;
using LinuxRoles::RoleContext;

const AtSpiStates noStates{};

struct RoleCase {
  AtSpiRole role;
  RoleContext context;
  AxRole expected;
};

TEST(LinuxRoles, MapsRolesInContext) {
  const AtSpiStates multiLine = noStates.with(AtSpiState::multiLine);
  const AtSpiStates singleLine = noStates.with(AtSpiState::singleLine);
  const RoleCase cases[] = {
      {AtSpiRole::passwordText, {}, {"AXSecureTextField", "AXSecureTextField"}},
      {AtSpiRole::passwordText, {multiLine}, {"AXSecureTextField", "AXSecureTextField"}},
      {AtSpiRole::text, {singleLine}, {"AXTextField", ""}},
      {AtSpiRole::entry, {singleLine}, {"AXTextField", ""}},
      {AtSpiRole::text, {}, {"AXTextField", ""}},
      {AtSpiRole::text, {multiLine}, {"AXTextArea", ""}},
      {AtSpiRole::entry, {multiLine}, {"AXTextArea", ""}},
      {AtSpiRole::entry, {singleLine, AtSpiRole::invalid, true}, {"AXTextField", "AXSearchField"}},
      {AtSpiRole::text, {noStates, AtSpiRole::invalid, true}, {"AXTextField", "AXSearchField"}},
      {AtSpiRole::terminal, {}, {"AXTextArea", ""}},
      {AtSpiRole::label, {}, {"AXStaticText", ""}},
      {AtSpiRole::staticText, {}, {"AXStaticText", ""}},
      {AtSpiRole::paragraph, {}, {"AXStaticText", ""}},
      {AtSpiRole::pushButton, {}, {"AXButton", ""}},
      {AtSpiRole::documentWeb, {}, {"AXWebArea", ""}},
      {AtSpiRole::scrollPane, {}, {"AXScrollArea", ""}},
      {AtSpiRole::menu, {noStates, AtSpiRole::menuBar}, {"AXMenuBarItem", ""}},
      {AtSpiRole::menu, {noStates, AtSpiRole::menu}, {"AXMenuItem", ""}},
      {AtSpiRole::menu, {noStates, AtSpiRole::window}, {"AXMenu", ""}},
      {AtSpiRole::popupMenu, {}, {"AXMenu", ""}},
      {AtSpiRole::menuBar, {}, {"AXMenuBar", ""}},
      {AtSpiRole::menuItem, {noStates, AtSpiRole::menu}, {"AXMenuItem", ""}},
      {AtSpiRole::checkMenuItem, {}, {"AXMenuItem", ""}},
      {AtSpiRole::radioMenuItem, {}, {"AXMenuItem", ""}},
      {AtSpiRole::tableCell, {}, {"AXCell", ""}},
      {AtSpiRole::tableColumnHeader, {}, {"AXCell", ""}},
      {AtSpiRole::tableRow, {}, {"AXRow", ""}},
      {AtSpiRole::listItem, {}, {"AXRow", ""}},
      {AtSpiRole::treeItem, {}, {"AXRow", "AXOutlineRow"}},
      {AtSpiRole::table, {}, {"AXTable", ""}},
      {AtSpiRole::list, {}, {"AXList", ""}},
      {AtSpiRole::listBox, {}, {"AXList", ""}},
      {AtSpiRole::tree, {}, {"AXOutline", ""}},
      {AtSpiRole::treeTable, {}, {"AXOutline", ""}},
      {AtSpiRole::comboBox, {noStates.with(AtSpiState::editable)}, {"AXComboBox", ""}},
      {AtSpiRole::comboBox, {}, {"AXPopUpButton", ""}},
      {AtSpiRole::pushButtonMenu, {}, {"AXMenuButton", ""}},
      {AtSpiRole::checkBox, {}, {"AXCheckBox", ""}},
      {AtSpiRole::toggleButton, {}, {"AXCheckBox", "AXToggle"}},
      {AtSpiRole::toggleButton,
       {noStates.with(AtSpiState::expandable)},
       {"AXDisclosureTriangle", ""}},
      {AtSpiRole::radioButton, {}, {"AXRadioButton", ""}},
      {AtSpiRole::link, {}, {"AXLink", ""}},
      {AtSpiRole::pageTab, {}, {"AXTab", "AXTabButton"}},
      {AtSpiRole::slider, {}, {"AXSlider", ""}},
      {AtSpiRole::spinButton, {}, {"AXIncrementor", ""}},
      {AtSpiRole::colorChooser, {}, {"AXColorWell", ""}},
      {AtSpiRole::heading, {}, {"AXHeading", ""}},
      {AtSpiRole::image, {}, {"AXImage", ""}},
      {AtSpiRole::icon, {}, {"AXImage", ""}},
      {AtSpiRole::frame, {}, {"AXWindow", "AXStandardWindow"}},
      {AtSpiRole::dialog, {}, {"AXWindow", "AXDialog"}},
      {AtSpiRole::window, {}, {"AXWindow", ""}},
      {AtSpiRole::application, {}, {"AXApplication", ""}},
      {AtSpiRole::panel, {}, {"AXGroup", ""}},
      {AtSpiRole::filler, {}, {"AXGroup", ""}},
      {AtSpiRole::unknown, {}, {"AXUnknown", ""}},
  };
  for (const RoleCase& c : cases) {
    EXPECT_EQ(LinuxRoles::axRole(c.role, c.context), c.expected)
        << "AT-SPI role " << static_cast<std::uint32_t>(c.role);
  }
}

TEST(LinuxRoles, EveryRoleNumberHasAName) {
  for (std::uint32_t role = 0; role <= 140; ++role) {
    const AxRole ax = LinuxRoles::axRole(role);
    EXPECT_EQ(ax.role.substr(0, 2), "AX") << role;
  }
  EXPECT_EQ(LinuxRoles::axRole(std::uint32_t{9999}).role, "AXUnknown");
}

// Every role the outline, the field reader and the structure read compare against must be one the
// table can produce ("AXDockItem" and "AXSegmentedControl" have no counterpart here).
TEST(LinuxRoles, ProducesEveryRoleTheCallerComparesAgainst) {
  const char* wanted[] = {
      "AXButton",      "AXMenuBarItem",
      "AXMenuItem",    "AXMenuButton",
      "AXPopUpButton", "AXCheckBox",
      "AXRadioButton", "AXTextField",
      "AXTextArea",    "AXComboBox",
      "AXLink",        "AXTab",
      "AXSlider",      "AXDisclosureTriangle",
      "AXIncrementor", "AXCell",
      "AXRow",         "AXColorWell",
      "AXStaticText",  "AXHeading",
      "AXImage",       "AXSecureTextField",
      "AXWebArea",     "AXScrollArea",
      "AXList",        "AXTable",
      "AXOutline",     "AXMenu",
      "AXMenuBar",     "AXWindow",
      "AXApplication",
  };
  // A search field is a text field with its own subrole, as the caller's platform reports it.
  const char* wantedSubroles[] = {"AXSearchField", "AXSecureTextField"};
  std::set<std::string> produced;
  std::set<std::string> producedSubroles;
  const AtSpiStates states[] = {noStates, noStates.with(AtSpiState::multiLine),
                                noStates.with(AtSpiState::editable),
                                noStates.with(AtSpiState::expandable)};
  const AtSpiRole parents[] = {AtSpiRole::invalid, AtSpiRole::menuBar, AtSpiRole::menu};
  for (std::uint32_t role = 0; role <= 140; ++role) {
    for (const AtSpiStates& s : states) {
      for (const AtSpiRole parent : parents) {
        for (const bool search : {false, true}) {
          const AxRole ax = LinuxRoles::axRole(role, RoleContext{s, parent, search});
          produced.emplace(ax.role);
          producedSubroles.emplace(ax.subrole);
        }
      }
    }
  }
  for (const char* role : wanted) {
    EXPECT_EQ(produced.count(role), 1U) << role;
  }
  for (const char* subrole : wantedSubroles) {
    EXPECT_EQ(producedSubroles.count(subrole), 1U) << subrole;
  }
  EXPECT_EQ(produced.count("AXSearchField"), 0U);
}

TEST(LinuxRoles, RecognisesSearchFields) {
  EXPECT_TRUE(LinuxRoles::isSearchField("search", ""));
  EXPECT_TRUE(LinuxRoles::isSearchField("", "searchbox"));
  EXPECT_TRUE(LinuxRoles::isSearchField("", "searchbox textbox"));
  EXPECT_FALSE(LinuxRoles::isSearchField("text", "textbox searchbox"));
  EXPECT_FALSE(LinuxRoles::isSearchField("", ""));
}

struct EventCase {
  AtSpiEvent event;
  AtSpiRole sourceRole;
  AtSpiStates states;
  std::optional<std::string_view> expected;
};

AtSpiEvent event(std::string kind, std::string member, std::string detail = "", int detail1 = 0) {
  return AtSpiEvent{std::move(kind), std::move(member), std::move(detail), detail1, 0, {}};
}

TEST(LinuxNotifications, MapsEventsToNotifications) {
  const AtSpiStates modal = noStates.with(AtSpiState::modal);
  const EventCase cases[] = {
      {event("object", "state-changed", "focused", 1),
       AtSpiRole::text,
       {},
       "AXFocusedUIElementChanged"},
      {event("object", "state-changed", "focused", 0), AtSpiRole::text, {}, std::nullopt},
      {event("object", "active-descendant-changed"),
       AtSpiRole::table,
       {},
       "AXFocusedUIElementChanged"},
      {event("window", "activate"), AtSpiRole::frame, {}, "AXFocusedWindowChanged"},
      {event("window", "create"), AtSpiRole::frame, {}, "AXWindowCreated"},
      {event("window", "create"), AtSpiRole::dialog, {}, "AXWindowCreated"},
      {event("window", "create"), AtSpiRole::dialog, modal, "AXSheetCreated"},
      {event("window", "create"), AtSpiRole::alert, modal, "AXSheetCreated"},
      {event("object", "state-changed", "showing", 1), AtSpiRole::menu, {}, "AXMenuOpened"},
      {event("object", "state-changed", "showing", 0), AtSpiRole::popupMenu, {}, "AXMenuClosed"},
      {event("object", "state-changed", "showing", 1), AtSpiRole::panel, {}, "AXLayoutChanged"},
      {event("object", "text-changed", "insert", 3), AtSpiRole::text, {}, "AXValueChanged"},
      {event("object", "text-changed", "delete", 3), AtSpiRole::text, {}, "AXValueChanged"},
      {event("object", "property-change", "accessible-value"),
       AtSpiRole::slider,
       {},
       "AXValueChanged"},
      {event("object", "state-changed", "checked", 0), AtSpiRole::checkBox, {}, "AXValueChanged"},
      {event("window", "move"), AtSpiRole::frame, {}, "AXMoved"},
      {event("window", "resize"), AtSpiRole::frame, {}, "AXResized"},
      {event("object", "bounds-changed"), AtSpiRole::pushButton, {}, "AXResized"},
      {event("object", "state-changed", "defunct", 1),
       AtSpiRole::pushButton,
       {},
       "AXUIElementDestroyed"},
      {event("object", "state-changed", "defunct", 0), AtSpiRole::pushButton, {}, std::nullopt},
      {event("window", "destroy"), AtSpiRole::frame, {}, "AXUIElementDestroyed"},
      {event("object", "children-changed", "add", 2), AtSpiRole::panel, {}, "AXLayoutChanged"},
      {event("object", "children-changed", "remove", 2), AtSpiRole::panel, {}, "AXLayoutChanged"},
      {event("object", "visible-data-changed"), AtSpiRole::panel, {}, "AXLayoutChanged"},
      {event("object", "property-change", "accessible-name"),
       AtSpiRole::frame,
       {},
       "AXTitleChanged"},
      {event("object", "selection-changed"), AtSpiRole::table, {}, "AXSelectedChildrenChanged"},
      {event("object", "text-caret-moved", "", 4), AtSpiRole::text, {}, "AXSelectedTextChanged"},
      {event("object", "state-changed", "expanded", 1), AtSpiRole::treeItem, {}, "AXRowExpanded"},
      {event("object", "state-changed", "expanded", 0), AtSpiRole::treeItem, {}, "AXRowCollapsed"},
      {event("object", "property-change", "accessible-description"),
       AtSpiRole::frame,
       {},
       std::nullopt},
      {event("window", "deactivate"), AtSpiRole::frame, {}, std::nullopt},
      {event("mouse", "button", "1p"), AtSpiRole::invalid, {}, std::nullopt},
  };
  for (const EventCase& c : cases) {
    EXPECT_EQ(LinuxNotifications::notificationName(c.event, c.sourceRole, c.states), c.expected)
        << c.event.type() << " detail1 " << c.event.detail1;
  }
}

TEST(LinuxNotifications, ListensToEveryMappedEventOnce) {
  const auto& events = LinuxNotifications::listenedEvents();
  const std::set<std::string> unique(events.begin(), events.end());
  EXPECT_EQ(unique.size(), events.size());
  for (const char* type : {"object:state-changed:focused", "window:create", "object:bounds-changed",
                           "object:text-changed:insert", "object:state-changed:showing"}) {
    EXPECT_EQ(unique.count(type), 1U) << type;
  }
}

TEST(LinuxNotifications, NamesEventsFromSignals) {
  EXPECT_EQ(LinuxNotifications::eventKind("org.a11y.atspi.Event.Object"), "object");
  EXPECT_EQ(LinuxNotifications::eventKind("org.a11y.atspi.Event.Window"), "window");
  EXPECT_EQ(LinuxNotifications::eventKind("org.a11y.atspi.Accessible"), std::nullopt);
  EXPECT_EQ(LinuxNotifications::eventMember("StateChanged"), "state-changed");
  EXPECT_EQ(LinuxNotifications::eventMember("ActiveDescendantChanged"),
            "active-descendant-changed");
  EXPECT_EQ(LinuxNotifications::eventMember("Activate"), "activate");
}

}  // namespace
}  // namespace halcy
