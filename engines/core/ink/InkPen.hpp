#pragma once
// Drawing on a picture with cairo: tiles pasted unscaled, marks stroked with a halo, and round
// number badges. Badge digits are cairo's own text on a FreeType face found through fontconfig,
// so the core needs no text-layout stack: Noto Sans Bold, else DejaVu Sans Bold, else the bold
// sans-serif fontconfig substitutes; with no usable font at all the badges carry no number.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Picture.hpp"
#include "ScreenGeometry.hpp"

namespace halcy {

// One mark's outline: a circle or an open polyline, and the strokes of an arrow's head.
struct InkPath {
  struct Circle {
    ScreenPoint centre;
    double radius = 0;
  };
  struct Segment {
    ScreenPoint from;
    ScreenPoint to;
  };
  std::optional<Circle> circle;
  std::vector<ScreenPoint> polyline;
  std::vector<Segment> segments;
  bool empty() const { return !circle && polyline.size() < 2 && segments.empty(); }
};

class InkPen {
 public:
  // Draws into the picture's own memory, which must outlive the pen.
  explicit InkPen(const Picture& target);
  ~InkPen();
  InkPen(const InkPen&) = delete;
  InkPen& operator=(const InkPen&) = delete;

  // False when cairo cannot draw on the picture (too large, bad stride).
  bool usable() const;
  // From here on one unit is `factor` pixels.
  void scale(double factor);
  // `source`'s rectangle (pixels) copied unscaled to `x`, `y`.
  void paste(const Picture& source, const ScreenRect& rect, double x, double y);
  // Round caps and joins; the white halo first, the accent on top.
  void stroke(const InkPath& path, double haloWidth, double accentWidth);
  // A white disc, an accent disc inside it, and the number in white: centred across, the line's
  // ascent-to-descent box centred on `centre`.
  void badge(ScreenPoint centre, double outerRadius, double innerRadius, std::int64_t number,
             double fontSize);

  // The family the badge digits are drawn in; none when no font can be used.
  static std::optional<std::string> badgeFamily();

 private:
  struct Surface;
  std::unique_ptr<Surface> surface_;
};

}  // namespace halcy
