#include "ScreenRules.hpp"

#include <algorithm>
#include <cstdio>

#include "GrayRaster.hpp"

namespace halcy::ScreenRules {

bool hides(std::optional<std::int64_t> owner, const std::optional<std::string>& bundleId,
           const std::vector<std::int64_t>& excluding, const std::vector<std::string>& neverLook) {
  return DesktopRules::hides(owner, bundleId, excluding, neverLook);
}

bool allows(const std::optional<std::string>& bundleId, const std::vector<std::string>& neverLook) {
  if (!bundleId) return true;
  return std::find(neverLook.begin(), neverLook.end(), *bundleId) == neverLook.end();
}

std::optional<ScreenRect> frontWindow(std::int64_t pid, const std::vector<WindowFact>& windows) {
  for (const WindowFact& window : windows) {
    if (window.pid == pid && window.layer == 0 && window.bounds.width > 1 &&
        window.bounds.height > 1) {
      return window.bounds;
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> index(const std::optional<ScreenRect>& rect,
                                 const std::vector<ScreenRect>& among) {
  return DesktopRules::index(rect, among);
}

namespace {

std::vector<ScreenRect> boundsOf(const std::vector<DisplayFact>& displays) {
  std::vector<ScreenRect> bounds;
  bounds.reserve(displays.size());
  for (const DisplayFact& display : displays) bounds.push_back(display.bounds);
  return bounds;
}

}  // namespace

std::optional<DisplayFact> target(std::optional<std::int64_t> pid,
                                  const std::function<std::vector<WindowFact>()>& windows,
                                  const std::vector<DisplayFact>& displays, std::uint32_t main) {
  if (pid) {
    if (auto found = index(frontWindow(*pid, windows()), boundsOf(displays))) {
      return displays[*found];
    }
  }
  for (const DisplayFact& display : displays) {
    if (display.id == main) return display;
  }
  if (!displays.empty()) return displays.front();
  return std::nullopt;
}

std::optional<PixelSize> size(std::int64_t width, std::int64_t height, std::int64_t longEdge) {
  if (width <= 0 || height <= 0) return std::nullopt;
  const double scale =
      std::min(static_cast<double>(longEdge) / static_cast<double>(std::max(width, height)), 1.0);
  const auto scaledWidth = static_cast<std::int64_t>(scale * static_cast<double>(width));
  const auto scaledHeight = static_cast<std::int64_t>(scale * static_cast<double>(height));
  if (scaledWidth <= 0 || scaledHeight <= 0) return std::nullopt;
  return PixelSize{scaledWidth, scaledHeight};
}

std::optional<std::pair<DisplayFact, ScreenRect>> region(const ScreenRect& rect,
                                                         const std::vector<DisplayFact>& displays) {
  const auto found = index(rect, boundsOf(displays));
  if (!found) return std::nullopt;
  const DisplayFact& display = displays[*found];
  const auto clipped = rect.intersection(display.bounds);
  if (!clipped) return std::nullopt;
  return std::make_pair(display, *clipped);
}

std::optional<std::vector<std::uint8_t>> grayCells(const std::vector<std::uint8_t>& raster) {
  if (raster.size() != static_cast<std::size_t>(grayWidth) * grayHeight) return std::nullopt;
  constexpr std::int32_t cell = 8;
  std::vector<std::uint8_t> cells;
  cells.reserve(gridCells);
  for (std::int32_t row = 0; row < hashRows; ++row) {
    for (std::int32_t column = 0; column < hashColumns; ++column) {
      std::uint32_t sum = 0;
      for (std::int32_t y = row * cell; y < (row + 1) * cell; ++y) {
        for (std::int32_t x = column * cell; x < (column + 1) * cell; ++x) {
          sum += raster[static_cast<std::size_t>(y * grayWidth + x)];
        }
      }
      cells.push_back(static_cast<std::uint8_t>(sum / (cell * cell)));
    }
  }
  return cells;
}

std::optional<std::vector<std::uint8_t>> gray(const Picture& picture) {
  auto raster = GrayRaster::of(picture, grayWidth, grayHeight);
  if (!raster) return std::nullopt;
  return grayCells(*raster);
}

std::optional<std::string> dHash(const std::vector<std::uint8_t>& grid) {
  if (grid.size() != gridCells) return std::nullopt;
  std::uint64_t bits = 0;
  for (std::int32_t row = 0; row < hashRows; ++row) {
    for (std::int32_t column = 0; column + 1 < hashColumns; ++column) {
      const auto at = [&](std::int32_t c) {
        return grid[static_cast<std::size_t>(row * hashColumns + c)];
      };
      bits = bits << 1 | (at(column + 1) < at(column) ? 1U : 0U);
    }
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
  return std::string(text);
}

bool isDocumentRoot(const std::optional<std::string>& role, std::size_t valueLength) {
  if (!role) return false;
  if (*role == "AXWebArea") return true;
  if (*role == "AXTextArea" || *role == "AXScrollArea") return valueLength > documentValueThreshold;
  return false;
}

}  // namespace halcy::ScreenRules
