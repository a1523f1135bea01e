#pragma once
// X pointer buttons in the caller's button bits: bit 0 the primary button, bit 1 the secondary,
// bit 2 the middle one, then the side buttons.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace halcy::LinuxButtons {

// The bit of an X button number (1 left, 2 middle, 3 right, 8 back, 9 forward); none for the
// wheel's buttons 4 to 7, which are scrolls and never held.
std::optional<std::uint64_t> buttonBit(std::uint32_t xButton);

// The held buttons of a core X state mask (Button1Mask 0x100 ... Button5Mask 0x1000).
std::uint64_t buttonsFromState(std::uint16_t xState);

// "left" or "right" for the buttons whose presses are reported by name; none for the others.
std::optional<std::string_view> pressName(std::uint32_t xButton);

// One wheel notch of buttons 4 to 7 as (dx, dy) in lines: up and left are positive.
struct Notch {
  int dx = 0;
  int dy = 0;
  bool operator==(const Notch&) const = default;
};
std::optional<Notch> wheelNotch(std::uint32_t xButton);

// A wheel notch scrolls this much in the caller's scroll unit, as a line-based wheel does there.
inline constexpr double pointsPerNotch = 10;

// Buttons 4 to 7 are the wheel: their presses are scrolls, never button presses.
bool isWheel(std::uint32_t xButton);

// The logical button of a physical one through the server's pointer mapping (entry i is the
// logical number of physical button i + 1); a button past the mapping keeps its number, and 0
// means the button is switched off.
std::uint32_t logicalButton(std::uint32_t physical, const std::vector<std::uint8_t>& mapping);

}  // namespace halcy::LinuxButtons
