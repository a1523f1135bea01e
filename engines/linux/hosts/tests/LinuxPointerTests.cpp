// What raw input becomes for an input watch, and which URIs are files.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "LinuxPointer.hpp"
#include "RawInputEvents.hpp"

namespace halcy {
namespace {

TEST(InputTranslation, AWatchAsksForTheEventsItReports) {
  struct Case {
    InputWatch watch;
    unsigned wants;
  };
  const Case cases[] = {
      {{PointerReport::clicks, false, false, false, {}}, LinuxInput::buttons},
      {{PointerReport::drags, false, false, false, {}}, LinuxInput::buttons | LinuxInput::motion},
      {{PointerReport::none, false, true, false, {}}, LinuxInput::motion},
      {{PointerReport::none, false, false, true, {}}, LinuxInput::buttons},
      {{PointerReport::none, true, false, false, {}}, LinuxInput::keys},
      {{PointerReport::none, false, false, false, {}}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(InputTranslation::wants(c.watch), c.wants);
}

TEST(InputTranslation, EventsBecomeWhatTheWatchReports) {
  struct Case {
    const char* name;
    LinuxInput::Event input;
    bool secure;
    std::optional<RawInput> expected;
  };
  const double x = 40;
  const double y = 25;
  const std::vector<Case> cases = {
      {"a key", event(Kind::keyDown, keyV, 1.0), false, RawInput::key(9, 1.0)},
      {"a modifier is no key", event(Kind::keyDown, keyControl, 1.0, true, 0x40000), false,
       std::nullopt},
      {"a key under secure input", event(Kind::keyDown, keyV, 1.0), true, std::nullopt},
      {"a key's release", event(Kind::keyUp, keyV, 1.0), false, std::nullopt},
      {"left press", event(Kind::buttonDown, 1, 1.0), false,
       RawInput::press(PointerButton::left, x, y, 1.0)},
      {"right release", event(Kind::buttonUp, 3, 1.0), false,
       RawInput::release(PointerButton::right, x, y, 1.0)},
      {"middle press", event(Kind::buttonDown, 2, 1.0), false, std::nullopt},
      {"wheel up", event(Kind::buttonDown, 4, 1.0), false, RawInput::scroll(x, y, 0, 10, 1.0)},
      {"wheel down", event(Kind::buttonDown, 5, 1.0), false, RawInput::scroll(x, y, 0, -10, 1.0)},
      {"wheel left", event(Kind::buttonDown, 6, 1.0), false, RawInput::scroll(x, y, 10, 0, 1.0)},
      {"wheel right", event(Kind::buttonDown, 7, 1.0), false, RawInput::scroll(x, y, -10, 0, 1.0)},
      {"a notch's release", event(Kind::buttonUp, 4, 1.0), false, std::nullopt},
      {"a move", event(Kind::motion, 0, 1.0), false, RawInput::move(x, y, 1.0)},
      {"a left drag", event(Kind::motion, 0, 1.0, false, 0, 1), false, RawInput::drag(x, y, 1.0)},
      {"a left drag with the right held too", event(Kind::motion, 0, 1.0, false, 0, 3), false,
       RawInput::drag(x, y, 1.0)},
      {"a right drag", event(Kind::motion, 0, 1.0, false, 0, 2), false, std::nullopt},
  };
  for (const Case& c : cases) {
    int asked = 0;
    const auto place = [&] {
      ++asked;
      return PointerHost::Location{x, y};
    };
    EXPECT_EQ(InputTranslation::translate(c.input, c.secure, place), c.expected) << c.name;
    // The place costs a round trip: it is asked only for what reports one.
    EXPECT_EQ(asked, c.expected && c.expected->kind != RawInput::Kind::key ? 1 : 0) << c.name;
  }
}

TEST(LocalPath, OnlyLocalFileUrisAreFiles) {
  struct Case {
    std::optional<std::string> uri;
    std::optional<std::string> path;
  };
  const Case cases[] = {
      {"file:///etc/hostname", "/etc/hostname"},
      {"file:///tmp/a%20b/%C3%A9.txt", "/tmp/a b/\xC3\xA9.txt"},
      {"file://localhost/etc/hosts", "/etc/hosts"},
      {"file://elsewhere/etc/hosts", std::nullopt},
      {"https://example.org/a.txt", std::nullopt},
      {"file:relative", std::nullopt},
      {"", std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(localPath(c.uri), c.path) << c.uri.value_or("(none)");
}

}  // namespace
}  // namespace halcy
