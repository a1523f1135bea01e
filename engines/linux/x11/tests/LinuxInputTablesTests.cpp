// The tables that turn X modifiers, key codes and buttons into the caller's vocabulary.

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "LinuxButtons.hpp"
#include "LinuxKeyCodes.hpp"
#include "LinuxModifiers.hpp"

namespace halcy {
namespace {

TEST(LinuxModifiers, MapsEachModifierAndCombinations) {
  struct Case {
    std::uint16_t xState;
    std::uint64_t flags;
  };
  const Case cases[] = {
      {0x0000, 0},        {0x0001, 0x20000},  // Shift
      {0x0002, 0x10000},                      // Lock
      {0x0004, 0x40000},                      // Control
      {0x0008, 0x80000},                      // Mod1
      {0x0040, 0x100000},                     // Mod4
      {0x0080, 0x80000},                      // Mod5
      {0x0010, 0},                            // Mod2: Num Lock
      {0x0020, 0},                            // Mod3
      {0x0100, 0},                            // a held button is no modifier
      {0x0045, 0x160000},                     // Shift + Control + Super
      {0x0088, 0x80000},                      // Alt and AltGr together are one Option
      {0x00ff, 0x1f0000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinuxModifiers::flags(c.xState), c.flags) << std::hex << c.xState;
  }
}

// The modifier mapping of a US keyboard under Xvfb: Shift, Lock, Control, Mod1 to Mod5.
LinuxModifiers::ModifierKeys usModifierKeys() {
  return LinuxModifiers::ModifierKeys(
      std::array<std::vector<std::uint32_t>, 8>{std::vector<std::uint32_t>{50, 62},
                                                {66, 0},
                                                {37, 105},
                                                {64, 108},
                                                {77, 0},
                                                {0, 0},
                                                {133, 134},
                                                {92, 203}});
}

TEST(LinuxModifiers, KnowsWhichKeysAreModifiers) {
  const LinuxModifiers::ModifierKeys keys = usModifierKeys();
  struct Case {
    std::uint32_t keycode;
    std::uint16_t mask;
    bool modifier;
  };
  const Case cases[] =
      {
          {50, 0x01, true}, {62, 0x01, true},  {66, 0x02, true},
          {37, 0x04, true}, {108, 0x08, true}, {133, 0x40, true},
          {92, 0x80, true}, {77, 0x10, false},  // Num Lock changes no flag: an ordinary key
          {55, 0, false},                       // V
          {0, 0, false},                        // the padding of the mapping's rows
      };
  for (const Case& c : cases) {
    EXPECT_EQ(keys.maskOf(c.keycode), c.mask) << c.keycode;
    EXPECT_EQ(keys.isModifier(c.keycode), c.modifier) << c.keycode;
  }
}

TEST(LinuxModifiers, KeyEventsBuildTheFlags) {
  const LinuxModifiers::ModifierKeys keys = usModifierKeys();
  struct Step {
    std::uint32_t keycode;
    bool down;
    bool modifier;
    std::uint64_t flags;
  };
  const Step steps[] = {
      {37, true, true, 0x40000},                               // Control down
      {55, true, false, 0x40000},                              // V: no modifier, no change
      {55, false, false, 0x40000}, {50, true, true, 0x60000},  // and Shift
      {62, true, true, 0x60000},                               // both Shifts
      {50, false, true, 0x60000},                              // one Shift still held
      {62, false, true, 0x40000},  {37, false, true, 0},
      {66, true, true, 0x10000},                          // Caps Lock locks on its press...
      {66, true, true, 0x10000},                          // ...a repeat changes nothing...
      {66, false, true, 0x10000},                         // ...and stays locked after its release
      {66, true, true, 0},                                // the next press unlocks
      {66, false, true, 0},        {62, false, true, 0},  // the release of a key never seen held
      {133, true, true, 0x100000},                        // Super
      {92, true, true, 0x180000},                         // AltGr
  };
  LinuxModifiers::ModifierState state;
  for (const Step& step : steps) {
    EXPECT_EQ(state.apply(step.keycode, step.down, keys), step.modifier) << step.keycode;
    EXPECT_EQ(state.flags(keys), step.flags) << step.keycode << (step.down ? " down" : " up");
  }
}

TEST(LinuxModifiers, StartsFromTheKeysHeldAndTheLock) {
  const LinuxModifiers::ModifierKeys keys = usModifierKeys();
  // V and Num Lock held count for nothing; a held Caps Lock key is not what locks.
  const LinuxModifiers::ModifierState state({55, 77, 66, 133}, false, keys);
  EXPECT_EQ(state.flags(keys), 0x100000U);
  EXPECT_EQ(LinuxModifiers::ModifierState({}, true, keys).flags(keys), 0x10000U);
}

TEST(LinuxKeyCodes, MapsKeysByPosition) {
  struct Case {
    std::uint32_t evdev;
    std::uint16_t virtualKey;
  };
  const Case cases[] = {
      {30, 0},    {31, 1},    {32, 2},   {33, 3},   {35, 4},   {34, 5},    {44, 6},    {45, 7},
      {46, 8},    {47, 9},    {48, 11},  {16, 12},  {17, 13},  {18, 14},   {19, 15},   {21, 16},
      {20, 17},   {2, 18},    {3, 19},   {4, 20},   {5, 21},   {7, 22},    {6, 23},    {13, 24},
      {10, 25},   {8, 26},    {12, 27},  {9, 28},   {11, 29},  {27, 30},   {24, 31},   {22, 32},
      {26, 33},   {23, 34},   {25, 35},  {28, 36},  {38, 37},  {36, 38},   {40, 39},   {37, 40},
      {39, 41},   {43, 42},   {51, 43},  {53, 44},  {49, 45},  {50, 46},   {52, 47},   {15, 48},
      {57, 49},   {41, 50},   {14, 51},  {1, 53},   {126, 54}, {125, 55},  {42, 56},   {58, 57},
      {56, 58},   {29, 59},   {54, 60},  {100, 61}, {97, 62},  {105, 123}, {106, 124}, {108, 125},
      {103, 126}, {59, 122},  {60, 120}, {61, 99},  {62, 118}, {63, 96},   {64, 97},   {65, 98},
      {66, 100},  {67, 101},  {68, 109}, {87, 103}, {88, 111}, {102, 115}, {104, 116}, {111, 117},
      {107, 119}, {109, 121}, {96, 76},  {82, 82},  {79, 83},  {71, 89},   {72, 91},   {73, 92},
      {55, 67},   {78, 69},   {74, 78},  {98, 75},  {83, 65},  {86, 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinuxKeyCodes::virtualKeyCode(c.evdev + 8), c.virtualKey) << "evdev " << c.evdev;
  }
}

TEST(LinuxKeyCodes, UnknownCodesHaveNoKey) {
  for (const std::uint32_t xKeycode : {0U, 7U, 8U, 8U + 240U, 100000U}) {
    EXPECT_EQ(LinuxKeyCodes::virtualKeyCode(xKeycode), std::nullopt) << xKeycode;
  }
}

TEST(LinuxKeyCodes, RoundTripsEveryVirtualKey) {
  for (std::uint32_t xKeycode = 8; xKeycode < 8 + 0x300; ++xKeycode) {
    const auto virtualKey = LinuxKeyCodes::virtualKeyCode(xKeycode);
    if (!virtualKey) continue;
    const auto back = LinuxKeyCodes::xKeycode(*virtualKey);
    ASSERT_TRUE(back.has_value()) << xKeycode;
    EXPECT_EQ(LinuxKeyCodes::virtualKeyCode(*back), virtualKey) << xKeycode;
  }
  EXPECT_EQ(LinuxKeyCodes::xKeycode(9), 47U + 8U);  // the paste key
  EXPECT_EQ(LinuxKeyCodes::xKeycode(52), std::nullopt);
}

TEST(LinuxButtons, MapsButtonsToBits) {
  struct Case {
    std::uint32_t xButton;
    std::optional<std::uint64_t> bit;
    std::optional<std::string_view> press;
  };
  const Case cases[] = {
      {1, 1, "left"},
      {3, 2, "right"},
      {2, 4, std::nullopt},
      {8, 8, std::nullopt},
      {9, 16, std::nullopt},
      {4, std::nullopt, std::nullopt},
      {5, std::nullopt, std::nullopt},
      {6, std::nullopt, std::nullopt},
      {7, std::nullopt, std::nullopt},
      {0, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinuxButtons::buttonBit(c.xButton), c.bit) << c.xButton;
    EXPECT_EQ(LinuxButtons::pressName(c.xButton), c.press) << c.xButton;
  }
}

TEST(LinuxButtons, ReadsHeldButtonsFromState) {
  EXPECT_EQ(LinuxButtons::buttonsFromState(0), 0U);
  EXPECT_EQ(LinuxButtons::buttonsFromState(0x100), 1U);
  EXPECT_EQ(LinuxButtons::buttonsFromState(0x400), 2U);
  EXPECT_EQ(LinuxButtons::buttonsFromState(0x200), 4U);
  EXPECT_EQ(LinuxButtons::buttonsFromState(0x0700 | 0x0045), 7U);
  EXPECT_EQ(LinuxButtons::buttonsFromState(0x1800), 0U);  // the wheel is never held
}

TEST(LinuxButtons, WheelNotches) {
  using Notch = LinuxButtons::Notch;
  EXPECT_EQ(LinuxButtons::wheelNotch(4), (Notch{0, 1}));
  EXPECT_EQ(LinuxButtons::wheelNotch(5), (Notch{0, -1}));
  EXPECT_EQ(LinuxButtons::wheelNotch(6), (Notch{1, 0}));
  EXPECT_EQ(LinuxButtons::wheelNotch(7), (Notch{-1, 0}));
  EXPECT_EQ(LinuxButtons::wheelNotch(1), std::nullopt);
  for (std::uint32_t button = 1; button <= 9; ++button) {
    EXPECT_EQ(LinuxButtons::isWheel(button), button >= 4 && button <= 7) << button;
  }
}

TEST(LinuxButtons, PhysicalButtonsGoThroughThePointerMapping) {
  const std::vector<std::uint8_t> leftHanded = {3, 2, 1, 4, 5, 6, 7};
  const std::vector<std::uint8_t> secondOff = {1, 0, 3};
  struct Case {
    std::uint32_t physical;
    const std::vector<std::uint8_t>& mapping;
    std::uint32_t logical;
  };
  const std::vector<std::uint8_t> none;
  const Case cases[] = {
      {1, leftHanded, 3}, {3, leftHanded, 1}, {2, leftHanded, 2},
      {4, leftHanded, 4}, {9, leftHanded, 9},  // past the mapping: unchanged
      {2, secondOff, 0},  {1, none, 1},       {0, leftHanded, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinuxButtons::logicalButton(c.physical, c.mapping), c.logical) << c.physical;
  }
}

}  // namespace
}  // namespace halcy
