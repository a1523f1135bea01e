// What raw input becomes for the keys and input watches, and the clock of its time stamps.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "LinuxInput.hpp"
#include "LinuxKeys.hpp"
#include "LinuxPointer.hpp"

namespace halcy {
namespace {

using Kind = LinuxInput::Event::Kind;

constexpr std::uint32_t keyV = 55;         // evdev 47 + 8, the caller's key 9
constexpr std::uint32_t keyControl = 37;   // left Control
constexpr std::uint32_t keyUnknown = 255;  // no key of the caller's keyboard

LinuxInput::Event event(Kind kind, std::uint32_t detail, double at, bool modifier = false,
                        std::uint64_t flags = 0, std::uint64_t buttons = 0) {
  return LinuxInput::Event{kind, detail, modifier, flags, buttons, at};
}

TEST(ServerClock, ReadsServerTimeOnTheEngineClock) {
  struct Step {
    const char* name;
    std::uint32_t serverMs;
    double now;
    double at;
  };
  const std::vector<Step> steps = {
      {"the first event sets the offset", 1000, 101.0, 101.0},
      {"a late delivery keeps its own time", 1500, 101.6, 101.5},
      {"a quicker delivery corrects the offset", 2000, 101.95, 101.95},
      {"later events use the corrected offset", 2100, 102.5, 102.05},
  };
  ServerClock clock;
  for (const Step& step : steps) {
    EXPECT_NEAR(clock.toEngine(step.serverMs, step.now), step.at, 1e-9) << step.name;
  }
  clock.reset();
  EXPECT_NEAR(clock.toEngine(5, 7.0), 7.0, 1e-9);
}

TEST(ServerClock, FollowsTheStampAcrossItsWrap) {
  ServerClock clock;
  EXPECT_NEAR(clock.toEngine(4294967290U, 50.0), 50.0, 1e-6);
  EXPECT_NEAR(clock.toEngine(6, 50.016), 50.012, 1e-6);
  // A stamp from just before the wrap, heard after it.
  EXPECT_NEAR(clock.toEngine(4294967295U, 50.02), 50.005, 1e-6);
  EXPECT_NEAR(clock.toEngine(10, 50.03), 50.016, 1e-6);
}

TEST(KeysTranslator, ModifiersChangeFlagsKeysAndButtonsPress) {
  struct Step {
    const char* name;
    LinuxInput::Event input;
    bool secure;
    std::optional<KeysEvent> expected;
  };
  const std::vector<Step> steps = {
      {"Control down", event(Kind::keyDown, keyControl, 1.0, true, 0x40000), false,
       KeysEvent::flagsChanged(0x40000, 1.0)},
      {"a modifier that changes nothing", event(Kind::keyDown, 62, 1.1, true, 0x40000), false,
       std::nullopt},
      {"V", event(Kind::keyDown, keyV, 1.2, false, 0x40000), false, KeysEvent::keyPressed(9, 1.2)},
      {"V released", event(Kind::keyUp, keyV, 1.3), false, std::nullopt},
      {"V under secure input", event(Kind::keyDown, keyV, 1.4), true, std::nullopt},
      {"a key with no code", event(Kind::keyDown, keyUnknown, 1.5), false, std::nullopt},
      {"left button", event(Kind::buttonDown, 1, 1.6), false, KeysEvent::buttonPressed(1.6)},
      {"middle button is another button", event(Kind::buttonDown, 2, 1.7), false,
       KeysEvent::buttonPressed(1.7)},
      {"back button", event(Kind::buttonDown, 8, 1.75), false, KeysEvent::buttonPressed(1.75)},
      {"the wheel scrolls", event(Kind::buttonDown, 4, 1.8), false, std::nullopt},
      {"a release", event(Kind::buttonUp, 1, 1.9), false, std::nullopt},
      {"a motion", event(Kind::motion, 0, 2.0), false, std::nullopt},
      {"Control up", event(Kind::keyUp, keyControl, 2.1, true, 0), false,
       KeysEvent::flagsChanged(0, 2.1)},
  };
  KeysTranslator translator(0);
  for (const Step& step : steps) {
    EXPECT_EQ(translator.translate(step.input, step.secure), step.expected) << step.name;
  }
  EXPECT_TRUE(KeysTranslator::needsSecureAnswer(event(Kind::keyDown, keyV, 0)));
  EXPECT_FALSE(KeysTranslator::needsSecureAnswer(event(Kind::keyDown, keyControl, 0, true)));
  EXPECT_FALSE(KeysTranslator::needsSecureAnswer(event(Kind::buttonDown, 1, 0)));
}

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
