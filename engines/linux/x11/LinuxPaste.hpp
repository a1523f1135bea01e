#pragma once
// The paste keystroke through XTEST, sent to whatever window has the keyboard focus.

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcy {

class LinuxPaste {
 public:
  LinuxPaste();
  ~LinuxPaste();
  LinuxPaste(const LinuxPaste&) = delete;
  LinuxPaste& operator=(const LinuxPaste&) = delete;

  // Control+V, or Control+Shift+V into a terminal; answers the window that had the keyboard focus.
  // Throws the EngineFailure the caller sees.
  std::optional<xcb_window_t> paste();

  // Terminals take Control+V as a literal character; they paste with Control+Shift+V.
  static bool isTerminal(std::string_view wmClass);

 private:
  std::optional<std::string> windowClass(xcb_window_t window);
  void sendKey(std::uint8_t keycode, bool down);

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = XCB_NONE;
};

}  // namespace halcy
