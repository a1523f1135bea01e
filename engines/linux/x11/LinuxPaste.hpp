#pragma once
// The paste keystroke through XTEST, sent to whatever window has the keyboard focus.

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "XConnection.hpp"

namespace halcy {

class LinuxPaste {
 public:
  explicit LinuxPaste(std::shared_ptr<XConnection> connection);

  // Control+V, or Control+Shift+V into a terminal; answers the window that had the keyboard focus.
  // Throws the EngineFailure the caller sees.
  std::optional<xcb_window_t> paste();

  // Terminals take Control+V as a literal character; they paste with Control+Shift+V.
  static bool isTerminal(std::string_view wmClass);

 private:
  std::shared_ptr<XConnection> connection_;
};

}  // namespace halcy
