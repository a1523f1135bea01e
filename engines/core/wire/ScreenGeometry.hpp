#pragma once
// Desktop geometry shared by every area: rectangles and points in global desktop points (origin at
// the top-left of the main display, y downward) and picture sizes in pixels.

#include <cstdint>
#include <optional>

#include "Json.hpp"

namespace halcy {

struct ScreenRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  // Every key is required; a negative (or NaN) width or height is refused.
  static ScreenRect decode(const JsonObject& object);
  Json toJson() const;
  // None when the two only touch or do not meet.
  std::optional<ScreenRect> intersection(const ScreenRect& other) const;
  bool operator==(const ScreenRect&) const = default;
};

struct ScreenPoint {
  double x = 0;
  double y = 0;

  static ScreenPoint decode(const JsonObject& object);
  Json toJson() const;
  bool operator==(const ScreenPoint&) const = default;
};

struct PixelSize {
  std::int64_t width = 0;
  std::int64_t height = 0;

  static PixelSize decode(const JsonObject& object);
  Json toJson() const;
  bool operator==(const PixelSize&) const = default;
};

}  // namespace halcy
