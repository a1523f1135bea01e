#pragma once
// X modifier state in the caller's modifier flag bits.

#include <cstdint>

namespace halcy::LinuxModifiers {

inline constexpr std::uint64_t capsLockFlag = 0x10000;
inline constexpr std::uint64_t shiftFlag = 0x20000;
inline constexpr std::uint64_t controlFlag = 0x40000;
inline constexpr std::uint64_t optionFlag = 0x80000;
inline constexpr std::uint64_t commandFlag = 0x100000;

// The modifier bits of an X key, button or pointer state (the low byte of the mask), with the
// usual server mapping: Mod1 is Alt, Mod4 is Super, Mod5 is AltGr.
std::uint64_t flags(std::uint16_t xState);

}  // namespace halcy::LinuxModifiers
