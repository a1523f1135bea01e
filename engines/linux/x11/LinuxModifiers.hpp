#pragma once
// X modifier state in the caller's modifier flag bits.

#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace halcy::LinuxModifiers {

inline constexpr std::uint64_t capsLockFlag = 0x10000;
inline constexpr std::uint64_t shiftFlag = 0x20000;
inline constexpr std::uint64_t controlFlag = 0x40000;
inline constexpr std::uint64_t optionFlag = 0x80000;
inline constexpr std::uint64_t commandFlag = 0x100000;

inline constexpr std::uint16_t lockMask = 0x0002;

// The modifier bits of an X key, button or pointer state (the low byte of the mask), with the
// usual server mapping: Mod1 is Alt, Mod4 is Super, Mod5 is AltGr.
std::uint64_t flags(std::uint16_t xState);

// Which state bits each key sets, from the server's modifier mapping: eight rows of key codes,
// Shift, Lock, Control, then Mod1 to Mod5.
class ModifierKeys {
 public:
  ModifierKeys() = default;
  explicit ModifierKeys(const std::array<std::vector<std::uint32_t>, 8>& rows);

  std::uint16_t maskOf(std::uint32_t xKeycode) const;
  // A key whose press changes the flags. Num Lock (Mod2) changes none: it is an ordinary key.
  bool isModifier(std::uint32_t xKeycode) const { return flags(maskOf(xKeycode)) != 0; }

 private:
  std::map<std::uint32_t, std::uint16_t> masks_;
};

// The modifier state key events build up: the modifier keys held and the Caps Lock toggle, which
// flips on each press of a Lock key.
class ModifierState {
 public:
  ModifierState() = default;
  ModifierState(const std::vector<std::uint32_t>& heldKeys, bool capsLocked,
                const ModifierKeys& keys);

  // Applies one key event; false (and no change) for a key that is no modifier.
  bool apply(std::uint32_t xKeycode, bool down, const ModifierKeys& keys);
  std::uint64_t flags(const ModifierKeys& keys) const;

 private:
  std::vector<std::uint32_t> held_;
  bool capsLocked_ = false;
};

}  // namespace halcy::LinuxModifiers
