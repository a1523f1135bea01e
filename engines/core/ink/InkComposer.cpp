#include "InkComposer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "InkPen.hpp"
#include "Jpeg.hpp"
#include "PictureScale.hpp"
#include "RunMergeSort.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

// Every edge included.
bool holds(const ScreenRect& bounds, ScreenPoint point) {
  return point.x >= bounds.x && point.x <= bounds.x + bounds.width && point.y >= bounds.y &&
         point.y <= bounds.y + bounds.height;
}

}  // namespace

namespace InkComposer {

namespace {

// A mark's sizes in units: a composed picture's unit grows with its width, a context picture's
// is fixed.
constexpr double circleRadius = 10;
constexpr double arrowHead = 16;
constexpr double haloWidth = 8;
constexpr double accentWidth = 4;
constexpr double badgeOuter = 16;
constexpr double badgeInner = 13;
constexpr double badgeFont = 15;
constexpr double contextUnit = 0.8;
constexpr double arrowSpread = 0.82 * std::numbers::pi;
// A long line's direction at its tip is taken from this many points before its end.
constexpr std::size_t arrowBaseBack = 6;

// A piece that can be cut: where in its capture, and the capture's pixels per point.
struct Tile {
  const InkPiece* piece;
  const Held* held;
  ScreenRect crop;
  double scaleX;
  double scaleY;
};

// Desktop points into canvas pixels, relative to where the tile's pixels really start, so that a
// mark stays on what it points at when the piece reaches past its display's edge.
ScreenPoint onCanvas(const Tile& tile, ScreenPoint origin, ScreenPoint point) {
  return {origin.x + (point.x - tile.held->display.x) * tile.scaleX - tile.crop.x,
          origin.y + (point.y - tile.held->display.y) * tile.scaleY - tile.crop.y};
}

ScreenRect between(ScreenPoint a, ScreenPoint b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y)};
}

std::vector<Tile> tilesOf(const std::vector<InkPiece>& pieces,
                          const std::map<std::int64_t, Held>& captures) {
  std::vector<Tile> tiles;
  for (const InkPiece& piece : pieces) {
    const auto held = captures.find(piece.capture);
    if (held == captures.end() || held->second.image.empty()) continue;
    const Picture& image = held->second.image;
    const ScreenRect& display = held->second.display;
    const ScreenRect crop = pixels(piece.rect, display, {image.width, image.height});
    if (crop.width < 1 || crop.height < 1) continue;
    tiles.push_back(
        {&piece, &held->second, crop, image.width / display.width, image.height / display.height});
  }
  return tiles;
}

bool lists(const InkPiece& piece, std::int64_t number) {
  return std::find(piece.marks.begin(), piece.marks.end(), number) != piece.marks.end();
}

void recordMarks(Composite& composite, const Tile& tile, ScreenPoint origin,
                 const std::vector<InkComposeMark>& marks) {
  const auto at = [&](ScreenPoint point) { return onCanvas(tile, origin, point); };
  for (const InkComposeMark& mark : marks) {
    if (!lists(*tile.piece, mark.n)) continue;
    const ScreenRect& focus = mark.focus;
    composite.rects[mark.n] =
        between(at({focus.x, focus.y}), at({focus.x + focus.width, focus.y + focus.height}));
    std::vector<ScreenPoint>& line = composite.lines[mark.n];
    line.clear();
    for (const ScreenPoint& point : mark.line) line.push_back(at(point));
    Ends& ends = composite.ends[mark.n];
    ends.from = mark.from ? std::optional(at(*mark.from)) : std::nullopt;
    ends.to = mark.to ? std::optional(at(*mark.to)) : std::nullopt;
  }
}

InkPath markPath(InkKind kind, const std::vector<ScreenPoint>& line,
                 const std::optional<ScreenPoint>& to, double unit) {
  InkPath path;
  if (line.empty()) return path;
  if (kind == InkKind::point || line.size() < 2) {
    path.circle = InkPath::Circle{line.front(), circleRadius * unit};
  } else {
    path.polyline = line;
  }
  if (kind == InkKind::arrow && to && line.size() >= 2) {
    const ScreenPoint base =
        line.size() >= arrowBaseBack ? line[line.size() - arrowBaseBack] : line.front();
    const double shaft = std::atan2(to->y - base.y, to->x - base.x);
    for (const double side : {arrowSpread, -arrowSpread}) {
      path.segments.push_back({*to,
                               {to->x + arrowHead * unit * std::cos(shaft + side),
                                to->y + arrowHead * unit * std::sin(shaft + side)}});
    }
  }
  return path;
}

// The line with its halo, then the badge over it.
void drawMark(InkPen& pen, const InkComposeMark& mark, const std::vector<ScreenPoint>& line,
              const std::optional<ScreenPoint>& to, const std::optional<ScreenPoint>& badge,
              double unit) {
  pen.stroke(markPath(mark.kind, line, to, unit), haloWidth * unit, accentWidth * unit);
  if (badge) pen.badge(*badge, badgeOuter * unit, badgeInner * unit, mark.n, badgeFont * unit);
}

// `source` at `longEdge` pixels at most on its longer side, in memory of its own.
Picture reduced(const Picture& source, double longEdge) {
  const double scale = std::min(longEdge / std::max(source.width, source.height), 1.0);
  const auto width = static_cast<std::int32_t>(std::lround(source.width * scale));
  const auto height = static_cast<std::int32_t>(std::lround(source.height * scale));
  Picture picture = PictureScale::to(source, width, height);
  // Already small enough: the source itself came back, and it must stay unmarked.
  if (picture.pixels == source.pixels) {
    picture = PictureScale::crop(source, 0, 0, source.width, source.height);
  }
  return picture;
}

ScreenRect scaled(const ScreenRect& rect, double scale) {
  return {rect.x * scale, rect.y * scale, rect.width * scale, rect.height * scale};
}

std::optional<ScreenPoint> scaled(const std::optional<ScreenPoint>& point, double scale) {
  if (!point) return std::nullopt;
  return ScreenPoint{point->x * scale, point->y * scale};
}

// Left and top edges inside, right and bottom outside.
bool covers(const ScreenRect& rect, ScreenPoint point) {
  return point.x >= rect.x && point.x < rect.x + rect.width && point.y >= rect.y &&
         point.y < rect.y + rect.height;
}

using PlacedWords = std::pair<ScreenPoint, std::string>;

// Rows more than `rowTolerance` apart top to bottom, words on one row left to right.
bool readsBefore(const PlacedWords& a, const PlacedWords& b) {
  if (std::abs(a.first.y - b.first.y) > rowTolerance) return a.first.y < b.first.y;
  return a.first.x < b.first.x;
}

std::string joined(std::vector<PlacedWords> placed) {
  RunMergeSort::sort(placed, readsBefore);
  std::string text;
  for (const auto& [point, words] : placed) {
    if (!text.empty()) text += ' ';
    text += words;
  }
  return Graphemes::prefix(text, InkLimits::textMax);
}

}  // namespace

ScreenRect pixels(const ScreenRect& rect, const ScreenRect& display, PixelSize imageSize) {
  if (!(display.width > 0) || !(display.height > 0)) return {};
  const double scaleX = static_cast<double>(imageSize.width) / display.width;
  const double scaleY = static_cast<double>(imageSize.height) / display.height;
  const double left = std::floor((rect.x - display.x) * scaleX);
  const double top = std::floor((rect.y - display.y) * scaleY);
  const double right = std::ceil((rect.x - display.x + rect.width) * scaleX);
  const double bottom = std::ceil((rect.y - display.y + rect.height) * scaleY);
  const double clippedLeft = std::max(left, 0.0);
  const double clippedTop = std::max(top, 0.0);
  const double clippedRight = std::min(right, static_cast<double>(imageSize.width));
  const double clippedBottom = std::min(bottom, static_cast<double>(imageSize.height));
  if (!(clippedRight > clippedLeft) || !(clippedBottom > clippedTop)) return {};
  return {clippedLeft, clippedTop, clippedRight - clippedLeft, clippedBottom - clippedTop};
}

Layout layout(const std::vector<PixelSize>& sizes) {
  Layout laid;
  if (sizes.empty()) return laid;
  std::int64_t x = 0;
  for (const PixelSize& size : sizes) {
    laid.origins.push_back({static_cast<double>(x), 0});
    x += size.width + static_cast<std::int64_t>(tileGap);
    laid.size.height = std::max(laid.size.height, size.height);
  }
  laid.size.width = x - static_cast<std::int64_t>(tileGap);
  return laid;
}

std::optional<Picture> canvas(double width, double height) {
  constexpr double largest = std::numeric_limits<std::int32_t>::max();
  if (!(width >= 1) || !(height >= 1) || width > largest || height > largest) return std::nullopt;
  Picture picture =
      Picture::blank(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
  if (picture.empty()) return std::nullopt;
  picture.fill(0, 0, picture.width, picture.height, white);
  return picture;
}

std::optional<Composite> compose(const std::vector<InkComposeMark>& marks,
                                 const std::vector<InkPiece>& pieces,
                                 const std::map<std::int64_t, Held>& captures) {
  const std::vector<Tile> tiles = tilesOf(pieces, captures);
  if (tiles.empty()) return std::nullopt;
  std::vector<PixelSize> sizes;
  for (const Tile& tile : tiles) {
    sizes.push_back(
        {static_cast<std::int64_t>(tile.crop.width), static_cast<std::int64_t>(tile.crop.height)});
  }
  const Layout laid = layout(sizes);
  auto image = canvas(static_cast<double>(laid.size.width), static_cast<double>(laid.size.height));
  if (!image) return std::nullopt;
  Composite composite{*image, {}, {}, {}};
  InkPen pen(composite.image);
  if (!pen.usable()) return std::nullopt;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    pen.paste(tiles[i].held->image, tiles[i].crop, laid.origins[i].x, laid.origins[i].y);
    recordMarks(composite, tiles[i], laid.origins[i], marks);
  }
  if (!pen.usable()) return std::nullopt;
  return composite;
}

std::optional<Drawn> draw(const Composite& composite, const std::vector<InkComposeMark>& marks) {
  const Picture& source = composite.image;
  if (source.empty()) return std::nullopt;
  const double scale =
      std::min(InkLimits::maxDimension / std::max(source.width, source.height), 1.0);
  Drawn drawn{reduced(source, InkLimits::maxDimension), {}, {}};
  if (drawn.image.empty()) return std::nullopt;
  {
    InkPen pen(drawn.image);
    if (!pen.usable()) return std::nullopt;
    pen.scale(scale);
    const double unit = std::max(source.width / strokeUnitWidth, 1.0);
    for (const InkComposeMark& mark : marks) {
      const auto line = composite.lines.find(mark.n);
      if (line == composite.lines.end()) continue;
      const auto ends = composite.ends.find(mark.n);
      const auto rect = composite.rects.find(mark.n);
      std::optional<ScreenPoint> badge;
      if (rect != composite.rects.end()) {
        badge = ScreenPoint{rect->second.x + rect->second.width, rect->second.y};
      }
      drawMark(pen, mark, line->second,
               ends != composite.ends.end() ? ends->second.to : std::nullopt, badge, unit);
    }
    if (!pen.usable()) return std::nullopt;
  }
  for (const auto& [number, rect] : composite.rects) drawn.rects[number] = scaled(rect, scale);
  for (const auto& [number, ends] : composite.ends) {
    drawn.ends[number] = {scaled(ends.from, scale), scaled(ends.to, scale)};
  }
  return drawn;
}

std::optional<Inked> inked(const Composite& composite, const std::vector<InkComposeMark>& marks) {
  auto drawn = draw(composite, marks);
  if (!drawn) return std::nullopt;
  auto base64 = encode(drawn->image);
  if (!base64) return std::nullopt;
  return Inked{std::move(*base64), std::move(drawn->rects), std::move(drawn->ends)};
}

std::optional<Picture> drawContext(const Held& held, const std::vector<InkComposeMark>& marks) {
  const ScreenRect& display = held.display;
  if (!(display.width > 0) || held.image.empty()) return std::nullopt;
  Picture picture = reduced(held.image, InkLimits::contextDimension);
  if (picture.empty()) return std::nullopt;
  InkPen pen(picture);
  if (!pen.usable()) return std::nullopt;
  const double perPoint = picture.width / display.width;
  const auto at = [&](ScreenPoint point) {
    return ScreenPoint{(point.x - display.x) * perPoint, (point.y - display.y) * perPoint};
  };
  for (const InkComposeMark& mark : marks) {
    const ScreenRect& focus = mark.focus;
    if (!holds(display, {focus.x + focus.width / 2, focus.y + focus.height / 2})) continue;
    std::vector<ScreenPoint> line;
    for (const ScreenPoint& point : mark.line) line.push_back(at(point));
    const auto to = mark.to ? std::optional(at(*mark.to)) : std::nullopt;
    drawMark(pen, mark, line, to, at({focus.x + focus.width, focus.y}), contextUnit);
  }
  if (!pen.usable()) return std::nullopt;
  return picture;
}

std::optional<std::string> contextPicture(const Held& held,
                                          const std::vector<InkComposeMark>& marks) {
  const auto picture = drawContext(held, marks);
  if (!picture) return std::nullopt;
  return encode(*picture);
}

std::optional<std::string> encode(const Picture& picture) {
  auto text = Jpeg::base64(picture, InkLimits::quality);
  if (!text || text->size() <= InkLimits::base64Budget) return text;
  return Jpeg::base64(picture, InkLimits::fallbackQuality);
}

std::map<std::int64_t, std::string> words(const std::vector<InkWords>& found,
                                          const Composite& composite,
                                          const std::vector<std::int64_t>& order) {
  const double width = composite.image.width;
  const double height = composite.image.height;
  std::map<std::int64_t, std::vector<PlacedWords>> byMark;
  for (const InkWords& line : found) {
    const ScreenPoint point{(line.box.x + line.box.width / 2) * width,
                            (1 - (line.box.y + line.box.height / 2)) * height};
    for (const std::int64_t number : order) {
      const auto rect = composite.rects.find(number);
      if (rect == composite.rects.end() || !covers(rect->second, point)) continue;
      byMark[number].emplace_back(point, line.text);
      break;
    }
  }
  std::map<std::int64_t, std::string> texts;
  for (auto& [number, placed] : byMark) texts[number] = joined(std::move(placed));
  return texts;
}

}  // namespace InkComposer

namespace InkRules {

std::optional<DisplayFact> display(double x, double y, const std::vector<DisplayFact>& among,
                                   std::uint32_t main) {
  for (const DisplayFact& display : among) {
    if (holds(display.bounds, {x, y})) return display;
  }
  for (const DisplayFact& display : among) {
    if (display.id == main) return display;
  }
  if (among.empty()) return std::nullopt;
  return among.front();
}

}  // namespace InkRules

}  // namespace halcy
