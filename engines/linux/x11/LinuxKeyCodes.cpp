#include "LinuxKeyCodes.hpp"

#include <linux/input-event-codes.h>

#include <array>

namespace halcy::LinuxKeyCodes {

namespace {

struct Row {
  std::uint32_t evdev;
  std::uint16_t virtualKey;
};

constexpr std::array rows{
    // letters
    Row{KEY_A, 0},
    Row{KEY_S, 1},
    Row{KEY_D, 2},
    Row{KEY_F, 3},
    Row{KEY_H, 4},
    Row{KEY_G, 5},
    Row{KEY_Z, 6},
    Row{KEY_X, 7},
    Row{KEY_C, 8},
    Row{KEY_V, 9},
    Row{KEY_B, 11},
    Row{KEY_Q, 12},
    Row{KEY_W, 13},
    Row{KEY_E, 14},
    Row{KEY_R, 15},
    Row{KEY_Y, 16},
    Row{KEY_T, 17},
    Row{KEY_O, 31},
    Row{KEY_U, 32},
    Row{KEY_I, 34},
    Row{KEY_P, 35},
    Row{KEY_L, 37},
    Row{KEY_J, 38},
    Row{KEY_K, 40},
    Row{KEY_N, 45},
    Row{KEY_M, 46},
    // digits and their row
    Row{KEY_1, 18},
    Row{KEY_2, 19},
    Row{KEY_3, 20},
    Row{KEY_4, 21},
    Row{KEY_6, 22},
    Row{KEY_5, 23},
    Row{KEY_EQUAL, 24},
    Row{KEY_9, 25},
    Row{KEY_7, 26},
    Row{KEY_MINUS, 27},
    Row{KEY_8, 28},
    Row{KEY_0, 29},
    // punctuation
    Row{KEY_RIGHTBRACE, 30},
    Row{KEY_LEFTBRACE, 33},
    Row{KEY_APOSTROPHE, 39},
    Row{KEY_SEMICOLON, 41},
    Row{KEY_BACKSLASH, 42},
    Row{KEY_COMMA, 43},
    Row{KEY_SLASH, 44},
    Row{KEY_DOT, 47},
    Row{KEY_GRAVE, 50},
    // The extra ISO key beside the left Shift.
    Row{KEY_102ND, 10},
    // editing and whitespace
    Row{KEY_ENTER, 36},
    Row{KEY_TAB, 48},
    Row{KEY_SPACE, 49},
    Row{KEY_BACKSPACE, 51},
    Row{KEY_ESC, 53},
    Row{KEY_DELETE, 117},
    // Insert sits where the Help key is on a full-size Mac keyboard.
    Row{KEY_INSERT, 114},
    Row{KEY_HELP, 114},
    // modifiers
    Row{KEY_RIGHTMETA, 54},
    Row{KEY_LEFTMETA, 55},
    Row{KEY_LEFTSHIFT, 56},
    Row{KEY_CAPSLOCK, 57},
    Row{KEY_LEFTALT, 58},
    Row{KEY_LEFTCTRL, 59},
    Row{KEY_RIGHTSHIFT, 60},
    Row{KEY_RIGHTALT, 61},
    Row{KEY_RIGHTCTRL, 62},
    Row{KEY_FN, 63},
    // navigation
    Row{KEY_HOME, 115},
    Row{KEY_PAGEUP, 116},
    Row{KEY_END, 119},
    Row{KEY_PAGEDOWN, 121},
    Row{KEY_LEFT, 123},
    Row{KEY_RIGHT, 124},
    Row{KEY_DOWN, 125},
    Row{KEY_UP, 126},
    // function keys
    Row{KEY_F1, 122},
    Row{KEY_F2, 120},
    Row{KEY_F3, 99},
    Row{KEY_F4, 118},
    Row{KEY_F5, 96},
    Row{KEY_F6, 97},
    Row{KEY_F7, 98},
    Row{KEY_F8, 100},
    Row{KEY_F9, 101},
    Row{KEY_F10, 109},
    Row{KEY_F11, 103},
    Row{KEY_F12, 111},
    Row{KEY_F13, 105},
    Row{KEY_F14, 107},
    Row{KEY_F15, 113},
    Row{KEY_F16, 106},
    Row{KEY_F17, 64},
    Row{KEY_F18, 79},
    Row{KEY_F19, 80},
    Row{KEY_F20, 90},
    // Print Screen, Scroll Lock and Pause are F13 to F15 where a PC keyboard meets a Mac.
    Row{KEY_SYSRQ, 105},
    Row{KEY_SCROLLLOCK, 107},
    Row{KEY_PAUSE, 113},
    // keypad; Num Lock sits where the keypad's Clear key is
    Row{KEY_NUMLOCK, 71},
    Row{KEY_KPDOT, 65},
    Row{KEY_KPASTERISK, 67},
    Row{KEY_KPPLUS, 69},
    Row{KEY_KPSLASH, 75},
    Row{KEY_KPENTER, 76},
    Row{KEY_KPMINUS, 78},
    Row{KEY_KPEQUAL, 81},
    Row{KEY_KP0, 82},
    Row{KEY_KP1, 83},
    Row{KEY_KP2, 84},
    Row{KEY_KP3, 85},
    Row{KEY_KP4, 86},
    Row{KEY_KP5, 87},
    Row{KEY_KP6, 88},
    Row{KEY_KP7, 89},
    Row{KEY_KP8, 91},
    Row{KEY_KP9, 92},
    // media
    Row{KEY_VOLUMEUP, 72},
    Row{KEY_VOLUMEDOWN, 73},
    Row{KEY_MUTE, 74},
    // Japanese keyboards
    Row{KEY_YEN, 93},
    Row{KEY_RO, 94},
    Row{KEY_KPCOMMA, 95},
    Row{KEY_MUHENKAN, 102},
    Row{KEY_HENKAN, 104},
    // The context-menu key has no Mac key; 110 is the code Macs give it on PC keyboards.
    Row{KEY_COMPOSE, 110},
};

}  // namespace

std::optional<std::uint16_t> virtualKeyCode(std::uint32_t xKeycode) {
  if (xKeycode < evdevOffset) return std::nullopt;
  const std::uint32_t evdev = xKeycode - evdevOffset;
  for (const Row& row : rows) {
    if (row.evdev == evdev) return row.virtualKey;
  }
  return std::nullopt;
}

// Where two keys share a code (Insert and Help), the first row is the key to press.
std::optional<std::uint32_t> xKeycode(std::uint16_t virtualKey) {
  for (const Row& row : rows) {
    if (row.virtualKey == virtualKey) return row.evdev + evdevOffset;
  }
  return std::nullopt;
}

}  // namespace halcy::LinuxKeyCodes
