#include "LinuxModifiers.hpp"

#include <algorithm>

namespace halcy::LinuxModifiers {

namespace {

struct Row {
  std::uint16_t xMask;
  std::uint64_t flag;
};

constexpr std::array rows{
    Row{0x0001, shiftFlag},       // Shift
    Row{lockMask, capsLockFlag},  // Lock
    Row{0x0004, controlFlag},     // Control
    Row{0x0008, optionFlag},      // Mod1: Alt
    Row{0x0040, commandFlag},     // Mod4: Super
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

ModifierKeys::ModifierKeys(const std::array<std::vector<std::uint32_t>, 8>& rows) {
  for (std::size_t row = 0; row < rows.size(); ++row) {
    for (const std::uint32_t keycode : rows[row]) {
      // The mapping pads its rows with key code 0.
      if (keycode != 0) masks_[keycode] |= static_cast<std::uint16_t>(1U << row);
    }
  }
}

std::uint16_t ModifierKeys::maskOf(std::uint32_t xKeycode) const {
  auto found = masks_.find(xKeycode);
  return found == masks_.end() ? 0 : found->second;
}

ModifierState::ModifierState(const std::vector<std::uint32_t>& heldKeys, bool capsLocked,
                             const ModifierKeys& keys)
    : capsLocked_(capsLocked) {
  for (const std::uint32_t keycode : heldKeys) {
    if (keys.isModifier(keycode)) held_.push_back(keycode);
  }
}

bool ModifierState::apply(std::uint32_t xKeycode, bool down, const ModifierKeys& keys) {
  if (!keys.isModifier(xKeycode)) return false;
  auto found = std::find(held_.begin(), held_.end(), xKeycode);
  if (down) {
    // A key already held repeats; only a fresh press flips the lock.
    if (found != held_.end()) return true;
    held_.push_back(xKeycode);
    if ((keys.maskOf(xKeycode) & lockMask) != 0) capsLocked_ = !capsLocked_;
  } else if (found != held_.end()) {
    held_.erase(found);
  }
  return true;
}

std::uint64_t ModifierState::flags(const ModifierKeys& keys) const {
  std::uint16_t mask = capsLocked_ ? lockMask : 0;
  for (const std::uint32_t keycode : held_) {
    mask |= static_cast<std::uint16_t>(keys.maskOf(keycode) & ~lockMask);
  }
  return LinuxModifiers::flags(mask);
}

}  // namespace halcy::LinuxModifiers
