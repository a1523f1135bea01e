// The display without a display: empty answers, quickly, and never a crash; the clipboard says it
// cannot be reached. And the window layers read from window-manager hints.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "LinuxClipboard.hpp"
#include "LinuxDisplay.hpp"
#include "Output.hpp"
#include "ScopedEnvironment.hpp"

namespace halcy {
namespace {

TEST(WindowLayer, ReadsLayersFromTypesAndStates) {
  struct Case {
    std::vector<std::string> types;
    std::vector<std::string> states;
    std::int32_t layer;
    bool overrideRedirect = false;
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
      // An override-redirect window without a type is a popup; with one, the type decides.
      {{}, {}, 101, true},
      {{"_NET_WM_WINDOW_TYPE_TOOLTIP"}, {}, 200, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windowLayer(c.types, c.states, c.overrideRedirect), c.layer)
        << (c.types.empty() ? "" : c.types.front()) << " " << c.states.size();
  }
}

TEST_F(NoDesktop, DisplayAnswersNothing) {
  auto connection = std::make_shared<XConnection>();
  LinuxDisplay display(connection);
  EXPECT_EQ(connection->link(), nullptr);
  EXPECT_TRUE(display.windows().empty());
  EXPECT_TRUE(display.stacking().windows.empty());
  EXPECT_EQ(display.activeWindow(), std::nullopt);
  EXPECT_EQ(display.activePid(), std::nullopt);
  EXPECT_TRUE(display.monitors().empty());
  int events = 0;
  int connects = 0;
  auto subscription = connection->watch({[&](XLink&, const xcb_generic_event_t&) { ++events; },
                                         [&](const std::shared_ptr<XLink>&) { ++connects; }});
  EXPECT_EQ(events, 0);
  EXPECT_EQ(connects, 0);
}

TEST_F(NoDesktop, ClipboardCannotBeReached) {
  LinuxClipboard clipboard(std::make_shared<XConnection>());
  const EngineFailure unreachable(ErrorCode::failed, "The clipboard could not be reached.");
  const std::vector<std::pair<const char*, std::function<void()>>> operations = {
      {"save", [&] { clipboard.save(); }},
      {"write", [&] { clipboard.write("x", false); }},
      {"restore", [&] { clipboard.restore({}); }},
      {"changeCount", [&] { clipboard.changeCount(); }},
  };
  for (const auto& [name, operation] : operations) {
    try {
      operation();
      ADD_FAILURE() << name << " answered without a display";
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure, unreachable) << name;
    }
  }
  // Nothing to hand over, and nothing to fail.
  clipboard.handOver();
}

}  // namespace
}  // namespace halcy
