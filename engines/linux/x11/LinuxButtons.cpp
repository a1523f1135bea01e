#include "LinuxButtons.hpp"

#include <array>

namespace halcy::LinuxButtons {

namespace {

struct Row {
  std::uint32_t xButton;
  std::uint64_t bit;
};

// X numbers the middle button 2 and the right one 3; the bit order is primary, secondary, middle.
constexpr std::array rows{
    Row{1, 1U << 0}, Row{3, 1U << 1}, Row{2, 1U << 2}, Row{8, 1U << 3}, Row{9, 1U << 4},
};

constexpr std::uint16_t firstButtonMask = 0x100;  // Button1Mask; Button2Mask is 0x200 and so on

}  // namespace

std::optional<std::uint64_t> buttonBit(std::uint32_t xButton) {
  for (const Row& row : rows) {
    if (row.xButton == xButton) return row.bit;
  }
  return std::nullopt;
}

std::uint64_t buttonsFromState(std::uint16_t xState) {
  std::uint64_t buttons = 0;
  // The core state has masks for buttons 1 to 3 only as held buttons; 4 and 5 are the wheel.
  for (std::uint32_t button = 1; button <= 3; ++button) {
    if ((xState & (firstButtonMask << (button - 1))) != 0) buttons |= *buttonBit(button);
  }
  return buttons;
}

std::optional<std::string_view> pressName(std::uint32_t xButton) {
  if (xButton == 1) return "left";
  if (xButton == 3) return "right";
  return std::nullopt;
}

std::optional<Notch> wheelNotch(std::uint32_t xButton) {
  switch (xButton) {
    case 4:
      return Notch{0, 1};
    case 5:
      return Notch{0, -1};
    case 6:
      return Notch{1, 0};
    case 7:
      return Notch{-1, 0};
    default:
      return std::nullopt;
  }
}

bool isWheel(std::uint32_t xButton) {
  return wheelNotch(xButton).has_value();
}

std::uint32_t logicalButton(std::uint32_t physical, const std::vector<std::uint8_t>& mapping) {
  if (physical == 0 || physical > mapping.size()) return physical;
  return mapping[physical - 1];
}

}  // namespace halcy::LinuxButtons
