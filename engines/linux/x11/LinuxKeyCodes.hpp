#pragma once
// X key codes in the caller's virtual key codes, by physical key position: the key where V sits on
// a US keyboard is 9 whatever the layout says it types.

#include <cstdint>
#include <optional>

namespace halcy::LinuxKeyCodes {

// X servers with the evdev driver number keys as the kernel does, plus 8.
inline constexpr std::uint32_t evdevOffset = 8;

std::optional<std::uint16_t> virtualKeyCode(std::uint32_t xKeycode);

// The other way round, for keystrokes the engine makes (the paste key V is 9).
std::optional<std::uint32_t> xKeycode(std::uint16_t virtualKeyCode);

}  // namespace halcy::LinuxKeyCodes
