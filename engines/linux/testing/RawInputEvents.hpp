#pragma once
// Raw input events as LinuxInput hands them to the hosts, for the hosts' translation tests.

#include <cstdint>

#include "LinuxInput.hpp"

namespace halcy {

using Kind = LinuxInput::Event::Kind;

constexpr std::uint32_t keyV = 55;         // evdev 47 + 8, the caller's key 9
constexpr std::uint32_t keyControl = 37;   // left Control
constexpr std::uint32_t keyUnknown = 255;  // no key of the caller's keyboard

inline LinuxInput::Event event(Kind kind, std::uint32_t detail, double at, bool modifier = false,
                               std::uint64_t flags = 0, std::uint64_t buttons = 0) {
  return LinuxInput::Event{kind, detail, modifier, flags, buttons, at};
}

}  // namespace halcy
