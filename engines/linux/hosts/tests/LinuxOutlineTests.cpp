// What the outline host makes of AT-SPI answers and X events, without a desktop.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "LinuxOutline.hpp"
#include "LinuxOutlineWalk.hpp"
#include "LinuxOutlineWatch.hpp"
#include "LinuxOutlineWindows.hpp"

namespace halcy {
namespace {

const AtSpiStates noStates{};

AtSpiEvent eventOf(const char* kind, const char* member, const char* detail,
                   std::int32_t detail1 = 0) {
  AtSpiEvent event;
  event.kind = kind;
  event.member = member;
  event.detail = detail;
  event.detail1 = detail1;
  return event;
}

// Each change arrives once: windows moving and resizing and menus opening and closing come from
// the X server, everything else from AT-SPI.
TEST(LinuxOutlineWatch, EventsStandForNotificationsExceptWhatTheDisplayTells) {
  struct Case {
    const char* what;
    AtSpiEvent event;
    AtSpiRole role;
    AtSpiStates states;
    std::optional<std::string_view> notification;
  };
  const AtSpiStates modal = noStates.with(AtSpiState::modal);
  const std::vector<Case> cases = {
      {"typing", eventOf("object", "text-changed", "insert"), AtSpiRole::text, noStates,
       "AXValueChanged"},
      {"focus", eventOf("object", "state-changed", "focused", 1), AtSpiRole::pushButton, noStates,
       "AXFocusedUIElementChanged"},
      {"a shown button", eventOf("object", "state-changed", "showing", 1), AtSpiRole::pushButton,
       noStates, "AXLayoutChanged"},
      {"a shown menu: from the display", eventOf("object", "state-changed", "showing", 1),
       AtSpiRole::menu, noStates, std::nullopt},
      {"a button's bounds", eventOf("object", "bounds-changed", ""), AtSpiRole::pushButton,
       noStates, "AXResized"},
      {"a window's bounds: from the display", eventOf("object", "bounds-changed", ""),
       AtSpiRole::frame, noStates, std::nullopt},
      {"a window moving: from the display", eventOf("window", "move", ""), AtSpiRole::frame,
       noStates, std::nullopt},
      {"a modal dialog", eventOf("window", "create", ""), AtSpiRole::dialog, modal,
       "AXSheetCreated"},
      {"a window", eventOf("window", "create", ""), AtSpiRole::frame, noStates, "AXWindowCreated"},
      {"a name", eventOf("object", "property-change", "accessible-name"), AtSpiRole::label,
       noStates, "AXTitleChanged"},
      {"nothing the table knows", eventOf("object", "state-changed", "armed", 1),
       AtSpiRole::pushButton, noStates, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinuxOutlineWatch::notificationOf(c.event, c.role, c.states), c.notification)
        << c.what;
  }
}

TEST(LinuxOutlineWatch, RegistersOnlyEventsAnOutlineReports) {
  const std::vector<std::string> types = LinuxOutlineWatch::eventTypes();
  const auto registered = [&](const char* type) {
    return std::find(types.begin(), types.end(), type) != types.end();
  };
  for (const char* type : {"object:text-changed:insert", "object:state-changed:focused",
                           "object:state-changed:showing", "object:bounds-changed", "window:create",
                           "object:children-changed:add", "object:property-change:accessible-name",
                           "object:selection-changed"}) {
    EXPECT_TRUE(registered(type)) << type;
  }
  // Caret moves and expanded rows are no outline change; typing would wake the engine for nothing.
  for (const char* type : {"object:text-caret-moved", "object:text-selection-changed",
                           "object:state-changed:expanded"}) {
    EXPECT_FALSE(registered(type)) << type;
  }
}

TEST(LinuxOutlineWatch, WindowEventsOfTheApplicationAreMovesResizesAndMenus) {
  using Kind = LinuxOutlineWindows::Event::Kind;
  const XRect at{100, 50, 640, 480};
  struct Case {
    const char* what;
    bool ours;
    bool menu;
    bool popup;
    LinuxOutlineWindows::Event event;
    std::vector<std::string> heard;
  };
  const std::vector<Case> cases = {
      {"moved", true, false, false, {Kind::configured, 7, {120, 50, 640, 480}}, {"AXMoved"}},
      {"resized", true, false, false, {Kind::configured, 7, {100, 50, 700, 480}}, {"AXResized"}},
      {"both", true, false, false, {Kind::configured, 7, {0, 0, 10, 10}}, {"AXMoved", "AXResized"}},
      {"restacked only", true, false, false, {Kind::configured, 7, at}, {}},
      {"another application's", false, false, false, {Kind::configured, 7, {0, 0, 10, 10}}, {}},
      {"a popup follows its menu", true, false, true, {Kind::configured, 7, {0, 0, 10, 10}}, {}},
      {"a menu opens", true, true, true, {Kind::mapped, 7, {}}, {"AXMenuOpened"}},
      {"a menu closes", true, true, true, {Kind::unmapped, 7, {}}, {"AXMenuClosed"}},
      {"another application's menu", false, true, true, {Kind::mapped, 7, {}}, {}},
      {"a window maps", true, false, false, {Kind::mapped, 7, {}}, {}},
      {"a window goes", true, false, false, {Kind::destroyed, 7, {}}, {}},
  };
  for (const Case& c : cases) {
    LinuxOutlineWatch::Known known{c.ours, {42, "Editor", c.menu, c.popup, at}};
    std::vector<std::string> heard;
    for (const OutlineHeard& one : LinuxOutlineWatch::heardOf(c.event, known)) {
      heard.push_back(one.notification);
      EXPECT_EQ(one.role, c.menu ? "AXMenu" : "AXWindow") << c.what;
      if (!c.menu) {
        EXPECT_EQ(one.title, "Editor") << c.what;
      }
    }
    EXPECT_EQ(heard, c.heard) << c.what;
    if (c.event.kind == Kind::configured) {
      EXPECT_EQ(known.owner.bounds, c.event.bounds) << c.what;
    }
  }
}

TEST(LinuxOutlineWindows, OnlyTheServersRootSubstructureEventsCount) {
  using Kind = LinuxOutlineWindows::Event::Kind;
  const xcb_window_t root = 0x100;
  xcb_configure_notify_event_t configure{};
  configure.response_type = XCB_CONFIGURE_NOTIFY;
  configure.event = root;
  configure.window = 0x200;
  configure.x = -5;
  configure.y = 30;
  configure.width = 640;
  configure.height = 480;
  const auto& generic = reinterpret_cast<const xcb_generic_event_t&>(configure);
  auto heard = LinuxOutlineWindows::eventOf(generic, root);
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->kind, Kind::configured);
  EXPECT_EQ(heard->window, 0x200U);
  EXPECT_EQ(heard->bounds, (XRect{-5, 30, 640, 480}));
  // Of a window inside another one, or made by a client rather than the server: not counted.
  configure.event = 0x300;
  EXPECT_FALSE(LinuxOutlineWindows::eventOf(generic, root));
  configure.event = root;
  configure.response_type = XCB_CONFIGURE_NOTIFY | 0x80;
  EXPECT_FALSE(LinuxOutlineWindows::eventOf(generic, root));

  xcb_unmap_notify_event_t unmap{};
  unmap.response_type = XCB_UNMAP_NOTIFY;
  unmap.event = root;
  unmap.window = 0x201;
  heard = LinuxOutlineWindows::eventOf(reinterpret_cast<const xcb_generic_event_t&>(unmap), root);
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->kind, Kind::unmapped);
  xcb_generic_event_t other{};
  other.response_type = XCB_PROPERTY_NOTIFY;
  EXPECT_FALSE(LinuxOutlineWindows::eventOf(other, root));
}

TEST(LinuxOutlineHost, FactsComeFromRoleStatesAndContent) {
  struct Case {
    const char* what;
    AtSpiRole role;
    AtSpiStates states;
    std::optional<std::string> value;
    ElementFacts facts;
  };
  const AtSpiStates enabled = noStates.with(AtSpiState::enabled);
  const std::vector<Case> cases = {
      {"a field", AtSpiRole::text, enabled, "hello", {"hello", false, {}, {}, true}},
      {"a password is never read",
       AtSpiRole::passwordText,
       enabled,
       "hunter2",
       {std::nullopt, true, {}, {}, true}},
      {"a checked box",
       AtSpiRole::checkBox,
       enabled.with(AtSpiState::checked),
       std::nullopt,
       {"1", false, {}, {}, true}},
      {"an unchecked radio button",
       AtSpiRole::radioButton,
       noStates,
       std::nullopt,
       {"0", false, {}, {}, false}},
      {"a selected row",
       AtSpiRole::listItem,
       enabled.with(AtSpiState::selectable).with(AtSpiState::selected),
       std::nullopt,
       {std::nullopt, false, true, {}, true}},
      {"a collapsed expander",
       AtSpiRole::toggleButton,
       enabled.with(AtSpiState::expandable),
       std::nullopt,
       {"0", false, {}, false, true}},
      {"a slider", AtSpiRole::slider, enabled, "0.5", {"0.5", false, {}, {}, true}},
  };
  for (const Case& c : cases) {
    const ElementFacts facts = LinuxOutlineHost::factsFrom(c.role, c.states, c.value);
    EXPECT_EQ(facts.value, c.facts.value) << c.what;
    EXPECT_EQ(facts.secure, c.facts.secure) << c.what;
    EXPECT_EQ(facts.selected, c.facts.selected) << c.what;
    EXPECT_EQ(facts.expanded, c.facts.expanded) << c.what;
    EXPECT_EQ(facts.enabled, c.facts.enabled) << c.what;
  }
}

TEST(LinuxOutlineWalk, NamesAndFramesFromWhatAtSpiTells) {
  struct Case {
    const char* what;
    std::string role;
    LinuxNameSources sources;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"the accessible name is the title", "AXButton", {"  Save ", "Saves", {}, "x", 1}, "Save"},
      {"then the description", "AXButton", {"", "Close", {}, {}, {}}, "Close"},
      {"a field's placeholder",
       "AXTextField",
       {"", "", {{"placeholder-text", "Search"}}, "typed", {}},
       "Search"},
      {"never a field's text", "AXTextField", {"", "", {}, "typed", {}}, ""},
      {"a label's text", "AXStaticText", {"", "", {}, "Hello", {}}, "Hello"},
      {"a slider's number", "AXSlider", {"", "", {}, {}, 0.25}, "0.25"},
      {"nothing", "AXRow", {}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(outlineName(c.role, c.sources), c.name) << c.what;

  const std::int32_t nowhere = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(frameOf(AtSpiRect{10, 20, 30, 40}), (ScreenRect{10, 20, 30, 40}));
  EXPECT_EQ(frameOf(AtSpiRect{nowhere, nowhere, 720, 23}), std::nullopt);
  EXPECT_EQ(frameOf(std::nullopt), std::nullopt);
}

}  // namespace
}  // namespace halcy
