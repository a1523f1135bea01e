#include "DesktopFacts.hpp"

#include <algorithm>

namespace halcy::DesktopRules {

bool hides(std::optional<std::int64_t> owner, const std::optional<std::string>& bundleId,
           const std::vector<std::int64_t>& excluding, const std::vector<std::string>& neverLook) {
  if (owner && std::find(excluding.begin(), excluding.end(), *owner) != excluding.end()) {
    return true;
  }
  if (bundleId) return std::find(neverLook.begin(), neverLook.end(), *bundleId) != neverLook.end();
  return false;
}

namespace {

double overlapArea(const ScreenRect& a, const ScreenRect& b) {
  const double width = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
  const double height = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
  return width > 0 && height > 0 ? width * height : 0;
}

}  // namespace

std::optional<std::size_t> index(const std::optional<ScreenRect>& rect,
                                 const std::vector<ScreenRect>& among) {
  if (!rect || !(rect->width > 0) || !(rect->height > 0)) return std::nullopt;
  std::optional<std::size_t> best;
  double largest = 0;
  for (std::size_t i = 0; i < among.size(); ++i) {
    const double area = overlapArea(*rect, among[i]);
    if (area > largest) {
      largest = area;
      best = i;
    }
  }
  return best;
}

}  // namespace halcy::DesktopRules
