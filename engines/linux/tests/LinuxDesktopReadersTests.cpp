// The desktop readers without a desktop: no display and no accessibility bus give empty answers,
// quickly, and never a crash. And the window layers read from window-manager hints.

#include <gtest/gtest.h>

#include <cstdlib>

#include "AtSpi.hpp"
#include "LinuxDisplay.hpp"

namespace halcy {
namespace {

TEST(WindowLayer, ReadsLayersFromTypesAndStates) {
  struct Case {
    std::vector<std::string> types;
    std::vector<std::string> states;
    std::int32_t layer;
  };
  const Case cases[] = {
      {{}, {}, 0},
      {{"_NET_WM_WINDOW_TYPE_NORMAL"}, {}, 0},
      {{"_NET_WM_WINDOW_TYPE_DIALOG"}, {"_NET_WM_STATE_MODAL"}, 0},
      {{"_NET_WM_WINDOW_TYPE_NORMAL"}, {"_NET_WM_STATE_ABOVE"}, 3},
      {{"_NET_WM_WINDOW_TYPE_UTILITY"}, {}, 3},
      {{"_NET_WM_WINDOW_TYPE_NORMAL"}, {"_NET_WM_STATE_BELOW"}, -1},
      {{"_NET_WM_WINDOW_TYPE_DOCK"}, {}, 20},
      {{"_NET_WM_WINDOW_TYPE_POPUP_MENU"}, {}, 101},
      {{"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"}, {}, 101},
      {{"_NET_WM_WINDOW_TYPE_TOOLTIP"}, {}, 200},
      {{"_NET_WM_WINDOW_TYPE_NOTIFICATION"}, {}, 200},
      {{"_NET_WM_WINDOW_TYPE_DND"}, {}, 500},
      {{"_NET_WM_WINDOW_TYPE_DESKTOP"}, {}, -2147483627},
      // The first type is the preferred one; the others are fallbacks for older managers.
      {{"_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_NET_WM_WINDOW_TYPE_NORMAL"}, {}, 0},
      {{"_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_NORMAL"}, {}, 20},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windowLayer(c.types, c.states), c.layer)
        << (c.types.empty() ? "" : c.types.front()) << " " << c.states.size();
  }
}

// Points the process at a display and a session bus that do not exist, and back afterwards.
class NoDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    save("DISPLAY", ":4999");
    save("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/halcy-test-bus");
    save("AT_SPI_BUS_ADDRESS", "");
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  void save(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value[0] == '\0') {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value, 1);
    }
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(NoDesktop, DisplayAnswersNothing) {
  LinuxDisplay display;
  EXPECT_FALSE(display.link().has_value());
  EXPECT_TRUE(display.windows().empty());
  EXPECT_EQ(display.activeWindow(), std::nullopt);
  EXPECT_EQ(display.activePid(), std::nullopt);
  EXPECT_TRUE(display.monitors().empty());
  EXPECT_EQ(display.atom("WM_NAME"), static_cast<xcb_atom_t>(XCB_ATOM_NONE));
  int events = 0;
  auto subscription = display.subscribe([&](const xcb_generic_event_t&) { ++events; });
  EXPECT_EQ(events, 0);
}

TEST_F(NoDesktop, AccessibilityAnswersNothingWithinItsTimeout) {
  AtSpi atspi;
  const AtSpiRef someone{":1.42", "/org/a11y/atspi/accessible/root"};
  EXPECT_FALSE(atspi.reachable(AtSpi::walkTimeout));
  EXPECT_EQ(atspi.focused(AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.focused(1, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_TRUE(atspi.applications(AtSpi::fieldTimeout).empty());
  EXPECT_EQ(atspi.role(someone, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.text(someone, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.pid(someone, AtSpi::fieldTimeout), std::nullopt);
  EXPECT_EQ(atspi.cacheItems(someone.bus, AtSpi::fieldTimeout), std::nullopt);
  const auto facts = atspi.nodeFacts({someone, someone}, AtSpi::walkTimeout);
  ASSERT_EQ(facts.size(), 2U);
  EXPECT_EQ(facts[0].role, std::nullopt);
  auto subscription = atspi.subscribe({"object:state-changed:focused"}, [](const AtSpiEvent&) {});
}

}  // namespace
}  // namespace halcy
