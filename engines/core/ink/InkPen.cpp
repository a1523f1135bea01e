#include "InkPen.hpp"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <numbers>

#include "InkComposer.hpp"

namespace halcy {

namespace {

struct PatternFree {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using Pattern = std::unique_ptr<FcPattern, PatternFree>;

struct BadgeFont {
  cairo_font_face_t* face = nullptr;  // kept for the life of the process
  std::optional<std::string> family;
};

std::optional<std::string> familyOf(const FcPattern* pattern) {
  FcChar8* family = nullptr;
  if (FcPatternGetString(pattern, FC_FAMILY, 0, &family) != FcResultMatch) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(family));
}

// A face cairo can really draw with: fontconfig may answer a file FreeType cannot open.
bool drawable(cairo_font_face_t* face) {
  if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) return false;
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &identity, &identity, options);
  const bool fine = cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS;
  cairo_scaled_font_destroy(scaled);
  cairo_font_options_destroy(options);
  return fine;
}

// fontconfig answers its nearest font for any family asked; an exact request takes only that
// family, the last resort whatever fontconfig substitutes.
std::optional<BadgeFont> boldFace(const char* family, bool exact) {
  Pattern pattern(FcPatternCreate());
  if (!pattern) return std::nullopt;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_BOLD);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  Pattern match(FcFontMatch(nullptr, pattern.get(), &result));
  if (!match) return std::nullopt;
  const auto found = familyOf(match.get());
  if (!found || (exact && *found != family)) return std::nullopt;
  cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match.get());
  if (!drawable(face)) {
    cairo_font_face_destroy(face);
    return std::nullopt;
  }
  return BadgeFont{face, found};
}

const BadgeFont& badgeFont() {
  static const BadgeFont font = [] {
    for (const char* family : {"Noto Sans", "DejaVu Sans"}) {
      if (auto face = boldFace(family, true)) return *face;
    }
    return boldFace("sans-serif", false).value_or(BadgeFont{});
  }();
  return font;
}

struct Colour {
  double red;
  double green;
  double blue;
};

constexpr Colour colourOf(std::uint32_t rgb) {
  return {(rgb >> 16 & 0xFFU) / 255.0, (rgb >> 8 & 0xFFU) / 255.0, (rgb & 0xFFU) / 255.0};
}

constexpr Colour white = colourOf(InkComposer::white);
constexpr Colour accent = colourOf(InkComposer::accent);

cairo_surface_t* surfaceOver(const Picture& picture) {
  return cairo_image_surface_create_for_data(picture.pixels, CAIRO_FORMAT_RGB24, picture.width,
                                             picture.height, static_cast<int>(picture.stride));
}

bool finite(ScreenPoint point) {
  return std::isfinite(point.x) && std::isfinite(point.y);
}

void trace(cairo_t* cr, const InkPath& path) {
  cairo_new_path(cr);
  if (path.circle && finite(path.circle->centre)) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, path.circle->centre.x, path.circle->centre.y, path.circle->radius, 0,
              2 * std::numbers::pi);
  }
  if (path.polyline.size() >= 2) {
    cairo_move_to(cr, path.polyline.front().x, path.polyline.front().y);
    for (std::size_t i = 1; i < path.polyline.size(); ++i) {
      cairo_line_to(cr, path.polyline[i].x, path.polyline[i].y);
    }
  }
  for (const InkPath::Segment& segment : path.segments) {
    cairo_move_to(cr, segment.from.x, segment.from.y);
    cairo_line_to(cr, segment.to.x, segment.to.y);
  }
}

void disc(cairo_t* cr, ScreenPoint centre, double radius, Colour colour) {
  cairo_new_path(cr);
  cairo_arc(cr, centre.x, centre.y, radius, 0, 2 * std::numbers::pi);
  cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
  cairo_fill(cr);
}

}  // namespace

struct InkPen::Surface {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;

  ~Surface() {
    if (cr != nullptr) cairo_destroy(cr);
    if (surface != nullptr) {
      cairo_surface_flush(surface);
      cairo_surface_destroy(surface);
    }
  }
};

InkPen::InkPen(const Picture& target) : surface_(std::make_unique<Surface>()) {
  if (target.empty()) return;
  surface_->surface = surfaceOver(target);
  surface_->cr = cairo_create(surface_->surface);
}

InkPen::~InkPen() = default;

bool InkPen::usable() const {
  return surface_->cr != nullptr && cairo_status(surface_->cr) == CAIRO_STATUS_SUCCESS;
}

void InkPen::scale(double factor) {
  if (!usable()) return;
  cairo_scale(surface_->cr, factor, factor);
}

void InkPen::paste(const Picture& source, const ScreenRect& rect, double x, double y) {
  if (!usable() || source.empty()) return;
  cairo_t* cr = surface_->cr;
  cairo_surface_t* from = surfaceOver(source);
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, from, x - rect.x, y - rect.y);
  cairo_rectangle(cr, x, y, rect.width, rect.height);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(from);
}

void InkPen::stroke(const InkPath& path, double haloWidth, double accentWidth) {
  if (!usable() || path.empty()) return;
  cairo_t* cr = surface_->cr;
  trace(cr, path);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_source_rgba(cr, white.red, white.green, white.blue, InkComposer::haloAlpha);
  cairo_set_line_width(cr, haloWidth);
  cairo_stroke_preserve(cr);
  cairo_set_source_rgb(cr, accent.red, accent.green, accent.blue);
  cairo_set_line_width(cr, accentWidth);
  cairo_stroke(cr);
}

void InkPen::badge(ScreenPoint centre, double outerRadius, double innerRadius, std::int64_t number,
                   double fontSize) {
  if (!usable() || !finite(centre)) return;
  cairo_t* cr = surface_->cr;
  disc(cr, centre, outerRadius, white);
  disc(cr, centre, innerRadius, accent);
  const BadgeFont& font = badgeFont();
  if (font.face == nullptr) return;
  const std::string digits = std::to_string(number);
  cairo_set_font_face(cr, font.face);
  cairo_set_font_size(cr, fontSize);
  cairo_font_extents_t line;
  cairo_font_extents(cr, &line);
  cairo_text_extents_t text;
  cairo_text_extents(cr, digits.c_str(), &text);
  cairo_new_path(cr);
  cairo_move_to(cr, centre.x - text.x_advance / 2, centre.y + (line.ascent - line.descent) / 2);
  cairo_set_source_rgb(cr, white.red, white.green, white.blue);
  cairo_show_text(cr, digits.c_str());
}

std::optional<std::string> InkPen::badgeFamily() {
  return badgeFont().family;
}

}  // namespace halcy
