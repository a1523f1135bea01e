#include "ScreenGeometry.hpp"

#include <algorithm>

namespace halcy {

ScreenRect ScreenRect::decode(const JsonObject& object) {
  ScreenRect rect{object.number("x"), object.number("y"), object.number("width"),
                  object.number("height")};
  if (!(rect.width >= 0 && rect.height >= 0)) throw DecodeError("A negative size.");
  return rect;
}

Json ScreenRect::toJson() const {
  return Json::object({{"x", x}, {"y", y}, {"width", width}, {"height", height}});
}

std::optional<ScreenRect> ScreenRect::intersection(const ScreenRect& other) const {
  const double left = std::max(x, other.x);
  const double right = std::min(x + width, other.x + other.width);
  const double top = std::max(y, other.y);
  const double bottom = std::min(y + height, other.y + other.height);
  if (!(left < right && top < bottom)) return std::nullopt;
  return ScreenRect{left, top, right - left, bottom - top};
}

ScreenPoint ScreenPoint::decode(const JsonObject& object) {
  return {object.number("x"), object.number("y")};
}

Json ScreenPoint::toJson() const {
  return Json::object({{"x", x}, {"y", y}});
}

PixelSize PixelSize::decode(const JsonObject& object) {
  return {object.integer("width"), object.integer("height")};
}

Json PixelSize::toJson() const {
  return Json::object({{"width", width}, {"height", height}});
}

}  // namespace halcy
