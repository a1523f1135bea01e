#include "PointerRules.hpp"

#include <algorithm>

namespace halcy::PointerRules {

namespace {
bool excluded(std::int64_t pid, const std::vector<std::int64_t>& excluding) {
  return std::find(excluding.begin(), excluding.end(), pid) != excluding.end();
}
}  // namespace

bool contains(const ScreenRect& rect, double x, double y) {
  return rect.x <= x && x <= rect.x + rect.width && rect.y <= y && y <= rect.y + rect.height;
}

std::optional<std::int64_t> ownerBeneath(double x, double y, const std::vector<WindowFact>& among,
                                         const std::vector<std::int64_t>& excluding) {
  for (const WindowFact& window : among) {
    if (window.layer == 0 && !excluded(window.pid, excluding) && contains(window.bounds, x, y)) {
      return window.pid;
    }
  }
  return std::nullopt;
}

bool overHalcy(double x, double y, const std::vector<WindowFact>& among,
               const std::vector<std::int64_t>& excluding) {
  for (const WindowFact& window : among) {
    if (contains(window.bounds, x, y)) return excluded(window.pid, excluding);
  }
  return false;
}

std::optional<WindowFact> deciding(double x, double y, const std::vector<WindowFact>& among,
                                   const std::vector<std::int64_t>& excluding) {
  for (const WindowFact& window : among) {
    if (!contains(window.bounds, x, y)) continue;
    if (window.layer == 0 || excluded(window.pid, excluding)) return window;
  }
  return std::nullopt;
}

bool keepsMove(double at, std::optional<double> earlier) {
  // Millisecond stamps 33 ms apart differ by a hair less than 0.033 in binary: they count as apart.
  constexpr double tolerance = 1e-9;
  return !earlier || at - *earlier >= moveInterval - tolerance || at < *earlier;
}

}  // namespace halcy::PointerRules
