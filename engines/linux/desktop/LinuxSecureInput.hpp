#pragma once
// What secure keyboard entry is on X11, where every client can read every key: another client
// holds the keyboard grabbed (a screen locker, a password prompt), or the focused element is a
// password field. While it is on, no watch reports key presses; modifier changes and buttons
// still pass.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "AtSpi.hpp"
#include "LinuxDisplay.hpp"
#include "LinuxInput.hpp"

namespace halcy {

class LinuxSecureInput {
 public:
  LinuxSecureInput(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<LinuxInput> input,
                   std::shared_ptr<AtSpi> atspi);

  bool active();

 private:
  bool passwordFocused();
  std::optional<AtSpiRef> focusedNow();

  std::shared_ptr<LinuxDisplay> display_;
  std::shared_ptr<LinuxInput> input_;
  std::shared_ptr<AtSpi> atspi_;
  std::mutex lock_;
  // The element that last reported gaining the focus, and what it was found to be; each focus
  // change is judged once, so an application that stopped answering costs one timeout.
  bool heard_ = false;
  std::optional<AtSpiRef> focused_;
  std::uint64_t change_ = 0;
  std::optional<std::uint64_t> judged_;
  bool password_ = false;
  Subscription focusEvents_;
};

}  // namespace halcy
