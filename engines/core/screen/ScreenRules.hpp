#pragma once
// The pure rules of screen pictures: which windows are left out, which display a picture shows,
// how big it is, where a region lies, and the gray grid and difference hash of a picture.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DesktopFacts.hpp"
#include "Picture.hpp"
#include "ScreenGeometry.hpp"

namespace halcy::ScreenRules {

inline constexpr std::size_t documentValueThreshold = 400;
inline constexpr std::int32_t hashColumns = 9;
inline constexpr std::int32_t hashRows = 8;
// The gray raster the grid is made from: 8 x 8 pixels a cell.
inline constexpr std::int32_t grayWidth = 72;
inline constexpr std::int32_t grayHeight = 64;
inline constexpr std::size_t gridCells = hashColumns * hashRows;

bool hides(std::optional<std::int64_t> owner, const std::optional<std::string>& bundleId,
           const std::vector<std::int64_t>& excluding, const std::vector<std::string>& neverLook);
bool allows(const std::optional<std::string>& bundleId, const std::vector<std::string>& neverLook);

// The bounds of the pid's frontmost ordinary window that is more than a point wide and tall.
std::optional<ScreenRect> frontWindow(std::int64_t pid, const std::vector<WindowFact>& windows);
std::optional<std::size_t> index(const std::optional<ScreenRect>& rect,
                                 const std::vector<ScreenRect>& among);

// The display holding the pid's front window, else the main display, else the first. The window
// list is asked for only when a pid is given.
std::optional<DisplayFact> target(std::optional<std::int64_t> pid,
                                  const std::function<std::vector<WindowFact>()>& windows,
                                  const std::vector<DisplayFact>& displays, std::uint32_t main);

// The picture size for a display: never larger than the display, the long edge at most longEdge.
std::optional<PixelSize> size(std::int64_t width, std::int64_t height, std::int64_t longEdge);

// The display holding most of the rectangle, and the rectangle clipped to it.
std::optional<std::pair<DisplayFact, ScreenRect>> region(const ScreenRect& rect,
                                                         const std::vector<DisplayFact>& displays);

// The 72 cell means (row by row) of a 72 x 64 gray raster; none for a raster of another size.
std::optional<std::vector<std::uint8_t>> grayCells(const std::vector<std::uint8_t>& raster);
// The picture drawn into the gray raster, then its cells.
std::optional<std::vector<std::uint8_t>> gray(const Picture& picture);
// 16 lowercase hex digits: bit per neighbour pair of each row, 1 where the right cell is darker.
std::optional<std::string> dHash(const std::vector<std::uint8_t>& grid);

bool isDocumentRoot(const std::optional<std::string>& role, std::size_t valueLength);

}  // namespace halcy::ScreenRules
