#pragma once
// The pure picture-making of ink: held captures cut into tiles laid side by side, marks mapped from
// desktop points into the tiles' pixels and drawn with numbered badges, a small context picture of
// a whole display, JPEG under a size budget, and recognised text handed to the marks it lies under.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DesktopFacts.hpp"
#include "InkProtocol.hpp"
#include "Picture.hpp"
#include "ScreenGeometry.hpp"

namespace halcy {

// One recognised line of text; `box` is normalised to 0...1 of the picture with the origin at the
// bottom-left, as text recognisers report it.
struct InkWords {
  std::string text;
  ScreenRect box;
};

namespace InkComposer {

inline constexpr double tileGap = 16.0;
inline constexpr std::uint32_t accent = 0x3B63E6;
inline constexpr std::uint32_t white = 0xFFFFFF;
inline constexpr double haloAlpha = 0.9;
// Marks of a composed picture are sized in units of its width over this, never below 1 pixel.
inline constexpr double strokeUnitWidth = 900.0;
// Rows of recognised words closer than this (composite pixels) are read as one row.
inline constexpr double rowTolerance = 6.0;

// A held capture: the display's picture at its own pixel density, and the display's bounds.
struct Held {
  Picture image;
  ScreenRect display;
};

struct Ends {
  std::optional<ScreenPoint> from;
  std::optional<ScreenPoint> to;
  bool operator==(const Ends&) const = default;
};

// The tiled picture before marks, and every mark's geometry in its pixels.
struct Composite {
  Picture image;
  std::map<std::int64_t, ScreenRect> rects;
  std::map<std::int64_t, std::vector<ScreenPoint>> lines;
  std::map<std::int64_t, Ends> ends;
};

// A picture with its marks drawn, and their geometry in its pixels.
struct Drawn {
  Picture image;
  std::map<std::int64_t, ScreenRect> rects;
  std::map<std::int64_t, Ends> ends;
};

struct Inked {
  std::string base64;
  std::map<std::int64_t, ScreenRect> rects;
  std::map<std::int64_t, Ends> ends;
};

struct Layout {
  std::vector<ScreenPoint> origins;
  PixelSize size;
};

// `rect` (points) in pixels of a picture of `display`, rounded outward and clipped to the picture;
// empty when the display has no area.
ScreenRect pixels(const ScreenRect& rect, const ScreenRect& display, PixelSize imageSize);

// One row, top-aligned, `tileGap` apart.
Layout layout(const std::vector<PixelSize>& sizes);

// Opaque white, of the size truncated to whole pixels; none below one pixel either way.
std::optional<Picture> canvas(double width, double height);

// None when no piece can be cut from a held capture.
std::optional<Composite> compose(const std::vector<InkComposeMark>& marks,
                                 const std::vector<InkPiece>& pieces,
                                 const std::map<std::int64_t, Held>& captures);

// The composite at most `InkLimits::maxDimension` on its long edge, with the marks drawn. The
// composite itself is left as it was.
std::optional<Drawn> draw(const Composite& composite, const std::vector<InkComposeMark>& marks);
std::optional<Inked> inked(const Composite& composite, const std::vector<InkComposeMark>& marks);

// The whole held display at most `InkLimits::contextDimension` on its long edge, with the marks
// whose focus lies on it.
std::optional<Picture> drawContext(const Held& held, const std::vector<InkComposeMark>& marks);
std::optional<std::string> contextPicture(const Held& held,
                                          const std::vector<InkComposeMark>& marks);

// Base64 JPEG at the first quality, or at the fallback quality when that is over the budget.
std::optional<std::string> encode(const Picture& picture);

// The text under each mark, rows top to bottom and words left to right, at most
// `InkLimits::textMax` characters; marks without words are absent.
std::map<std::int64_t, std::string> words(const std::vector<InkWords>& found,
                                          const Composite& composite,
                                          const std::vector<std::int64_t>& order);

}  // namespace InkComposer

namespace InkRules {

// The first display whose bounds hold the point (edges included), else the main one, else the
// first; none without displays.
std::optional<DisplayFact> display(double x, double y, const std::vector<DisplayFact>& among,
                                   std::uint32_t main);

}  // namespace InkRules

}  // namespace halcy
