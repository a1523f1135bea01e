#pragma once
// Watching one application for the outline: its AT-SPI events (registered with the registry for
// as long as the watch lives) and the X server's word on its windows moving and its menus
// opening. Handlers (on the main loop, on the X reader thread) only queue what they hear; one
// worker thread reads what each event is about, in pipelined rounds, and hands the notices on in
// order.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "AtSpi.hpp"
#include "LinuxOutlineWindows.hpp"
#include "OutlineController.hpp"

namespace halcy {

class LinuxOutlineWatch {
 public:
  LinuxOutlineWatch(std::shared_ptr<AtSpi> atspi, std::shared_ptr<LinuxDisplay> display,
                    std::int64_t pid, OutlineHost::Sink sink);
  // Stops hearing, releases the registrations and ends the worker.
  ~LinuxOutlineWatch();
  LinuxOutlineWatch(const LinuxOutlineWatch&) = delete;
  LinuxOutlineWatch& operator=(const LinuxOutlineWatch&) = delete;

  // The notification an AT-SPI event stands for in a watch, from the role and states of the
  // element it is about. None for events a watch takes from the X server instead (windows moving
  // or changing size, menus opening and closing), so that each arrives once.
  static std::optional<std::string_view> notificationOf(const AtSpiEvent& event, AtSpiRole role,
                                                        AtSpiStates states);
  // The AT-SPI event types a watch registers.
  static std::vector<std::string> eventTypes();

  // What the X server says of one top-level window, remembered between its events.
  struct Known {
    bool ours = false;
    LinuxOutlineWindows::Owner owner;
  };
  // The notices a window event stands for: a window of the application moved or changed size, a
  // menu of it opened or closed. `known` is the window as it was, and becomes it as it is.
  static std::vector<OutlineHeard> heardOf(const LinuxOutlineWindows::Event& event, Known& known);

 private:
  using Item = std::variant<AtSpiEvent, LinuxOutlineWindows::Event>;
  struct Inbox {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Item> items;
    bool stopping = false;
  };

  void run();
  void hear(std::vector<Item>& items);
  void seedWindows();
  bool fromWatched(const AtSpiRef& source);
  std::vector<OutlineHeard> heardOfWindow(const LinuxOutlineWindows::Event& event);

  std::shared_ptr<AtSpi> atspi_;
  std::int64_t pid_;
  OutlineHost::Sink sink_;
  std::shared_ptr<Inbox> inbox_;
  std::unique_ptr<LinuxOutlineWindows> windows_;
  std::map<xcb_window_t, Known> known_;  // the worker's own
  Subscription events_;
  std::thread worker_;
};

}  // namespace halcy
