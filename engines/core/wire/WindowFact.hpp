#pragma once
// One window as a host reports it, for every area that decides by windows (whose point it is,
// what a picture leaves out). A plain value inside the engine, never on the wire.

#include <cstdint>
#include <optional>
#include <string>

#include "ScreenGeometry.hpp"

namespace halcy {

struct WindowFact {
  std::int64_t pid = 0;
  std::optional<std::string> title;
  std::int64_t layer = 0;  // 0 is the ordinary application layer
  bool onScreen = true;
  ScreenRect bounds;

  bool operator==(const WindowFact&) const = default;
};

}  // namespace halcy
