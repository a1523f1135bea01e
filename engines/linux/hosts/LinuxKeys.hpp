#pragma once
// The keys host on an X11 desktop: global keys and buttons from XInput2 raw events, the modifier
// state as the caller's flag bits, the front application from the window manager's active
// window, and activation through the window manager.

#include <cstdint>
#include <memory>
#include <optional>

#include "Keys.hpp"
#include "LinuxApps.hpp"
#include "LinuxDisplay.hpp"
#include "LinuxInput.hpp"
#include "LinuxSecureInput.hpp"

namespace halcy {

class LinuxKeys final : public KeysHost {
 public:
  LinuxKeys(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<LinuxInput> input,
            std::shared_ptr<LinuxSecureInput> secure);
  ~LinuxKeys() override;
  LinuxKeys(const LinuxKeys&) = delete;
  LinuxKeys& operator=(const LinuxKeys&) = delete;

  void startWatching(EventHandler handler) override;
  void stopWatching() override;
  std::int64_t flagsNow() override;
  std::int64_t buttonsNow() override;
  std::optional<FrontApp> frontApp() override;
  bool activate(std::int64_t pid) override;
  void observeFront(FrontHandler handler) override;

 private:
  std::shared_ptr<LinuxDisplay> display_;
  std::shared_ptr<LinuxInput> input_;
  std::shared_ptr<LinuxSecureInput> secure_;
  LinuxApps apps_;
};

// How one input event reaches the keys watch: a modifier key changes the flags and is never a key
// press; the wheel's buttons are scrolls, not presses; a key press under secure input is not told.
class KeysTranslator {
 public:
  explicit KeysTranslator(std::uint64_t flags) : flags_(flags) {}
  std::optional<KeysEvent> translate(const LinuxInput::Event& event, bool secureInput);
  // Only key presses need the secure-input answer, which costs a round trip to ask.
  static bool needsSecureAnswer(const LinuxInput::Event& event) {
    return event.kind == LinuxInput::Event::Kind::keyDown && !event.modifier;
  }

 private:
  std::uint64_t flags_;
};

}  // namespace halcy
