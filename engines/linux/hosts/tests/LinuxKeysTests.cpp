// What raw input becomes for the keys watch.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "LinuxKeys.hpp"
#include "RawInputEvents.hpp"

namespace halcy {
namespace {

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

}  // namespace
}  // namespace halcy
