#include "LinuxModifiers.hpp"

#include <array>

namespace halcy::LinuxModifiers {

namespace {

struct Row {
  std::uint16_t xMask;
  std::uint64_t flag;
};

constexpr std::array rows{
    Row{0x0001, shiftFlag},     // Shift
    Row{0x0002, capsLockFlag},  // Lock
    Row{0x0004, controlFlag},   // Control
    Row{0x0008, optionFlag},    // Mod1: Alt
    Row{0x0040, commandFlag},   // Mod4: Super
    // Mod5: AltGr, the third-level key, is the right Option key's job on the other side.
    Row{0x0080, optionFlag},
    // Mod2 (Num Lock) and Mod3 have no flag: Num Lock is a lock, not a held key.
};

}  // namespace

std::uint64_t flags(std::uint16_t xState) {
  std::uint64_t result = 0;
  for (const Row& row : rows) {
    if ((xState & row.xMask) != 0) result |= row.flag;
  }
  return result;
}

}  // namespace halcy::LinuxModifiers
