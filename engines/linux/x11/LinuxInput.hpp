#pragma once
// Global input from XInput2 raw events on the root window: every key, button and motion of every
// device, synthetic XTEST input included, without a grab and without touching the focus. Also the
// pointer and modifier state, the changes of the active window, and whether another client holds
// the keyboard grabbed.
//
// The adapter is one X client, and an XI2 selection replaces the client's earlier one: this is the
// one owner of the root's XI2 selection, merging the wants of every listener. It is made again on
// every new connection, which is sought by itself after a loss while anybody listens.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "Clock.hpp"
#include "Subscription.hpp"
#include "XConnection.hpp"

namespace halcy {

// X server time stamps (milliseconds, wrapping at 32 bits) read on the engine clock. The server's
// clock has its own origin; the offset is the smallest one events show, the one of an event
// delivered without delay.
class ServerClock {
 public:
  double toEngine(std::uint32_t serverMs, double engineNow);
  void reset();

 private:
  std::optional<std::uint32_t> last_;
  std::int64_t epoch_ = 0;  // times the 32-bit stamp wrapped
  std::optional<double> offset_;
};

class LinuxInput {
 public:
  enum Want : unsigned { keys = 1, buttons = 2, motion = 4 };
  // Each host listens through its own slot; listening again replaces its handler and wants.
  enum class Slot { keys, pointer };

  struct Event {
    enum class Kind { keyDown, keyUp, buttonDown, buttonUp, motion };
    Kind kind = Kind::motion;
    std::uint32_t detail = 0;   // the X key code, or the logical button
    bool modifier = false;      // a key that changes the modifier flags
    std::uint64_t flags = 0;    // the caller's modifier flags after the event
    std::uint64_t buttons = 0;  // the caller's button bits held after the event
    double at = 0;              // the event's own time on the engine clock
  };
  using Handler = std::function<void(const Event&)>;

  struct Pointer {
    double x = 0;
    double y = 0;
    std::uint16_t mask = 0;  // the core state: modifiers and buttons 1 to 5
  };

  explicit LinuxInput(std::shared_ptr<XConnection> connection, Clock clock = uptimeSeconds);
  ~LinuxInput();
  LinuxInput(const LinuxInput&) = delete;
  LinuxInput& operator=(const LinuxInput&) = delete;

  // Handlers run on the connection's reader thread, one event at a time.
  void listen(Slot slot, unsigned wants, Handler handler);
  void stop(Slot slot);
  void onActiveWindowChange(std::function<void()> handler);

  // None without a display.
  std::optional<Pointer> pointer();
  std::uint64_t flagsNow();
  // Another client holds the keyboard (a screen locker, a password prompt). Asked without ever
  // taking the grab: the probe window is never mapped.
  bool keyboardGrabbedElsewhere();

  struct State;

 private:
  // Root property changes are selected, and the connection kept, only while somebody listens.
  void holdWhatListenersNeed();

  std::shared_ptr<State> state_;
  std::mutex holdsLock_;
  Subscription rootProperties_;
  Subscription kept_;
  Subscription watch_;
};

}  // namespace halcy
