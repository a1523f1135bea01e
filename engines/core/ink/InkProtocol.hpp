#pragma once
// The ink records on the wire: parameters decode strictly, results encode in field order.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"
#include "ScreenGeometry.hpp"

namespace halcy {

namespace InkLimits {
inline constexpr std::size_t capturesKept = 8;
inline constexpr std::size_t marksMax = 5;
inline constexpr std::size_t textMax = 600;
inline constexpr std::size_t lineMax = 4000;
inline constexpr double maxDimension = 1568.0;
inline constexpr double contextDimension = 1024.0;
inline constexpr double quality = 0.8;
inline constexpr double fallbackQuality = 0.6;
inline constexpr std::size_t base64Budget = 1500000;
}  // namespace InkLimits

// Only points and arrows are drawn differently; the others are drawn from their line alone.
enum class InkKind { region, point, underline, arrow, cross };

std::string_view wireName(InkKind kind);

struct InkCapture {
  double x = 0;
  double y = 0;
  std::vector<std::int64_t> excludePids;
  std::vector<std::string> neverLook;
  static constexpr std::string_view keyNames[] = {"x", "y", "excludePids", "neverLook"};
  static InkCapture decode(const JsonObject& params);
};

struct InkCaptured {
  Json toJson() const;
};

// One numbered mark, in global desktop points. Unknown keys are ignored.
struct InkComposeMark {
  std::int64_t n = 0;
  InkKind kind = InkKind::region;
  std::vector<ScreenPoint> line;
  ScreenRect focus;
  std::optional<ScreenPoint> from;
  // An arrow's tip.
  std::optional<ScreenPoint> to;
  static InkComposeMark decode(const JsonObject& object);
};

// One tile: a rectangle of a held capture and the marks drawn on it. Unknown keys are ignored.
struct InkPiece {
  std::int64_t capture = 0;
  ScreenRect rect;
  std::vector<std::int64_t> marks;
  static InkPiece decode(const JsonObject& object);
};

struct InkCompose {
  std::vector<InkPiece> pieces;
  std::vector<InkComposeMark> marks;
  // A handle whose display gets a context picture; none for no context picture.
  std::optional<std::int64_t> context;
  bool readText = false;
  static constexpr std::string_view keyNames[] = {"pieces", "marks", "context", "readText"};
  static InkCompose decode(const JsonObject& params);
};

struct InkComposed {
  Json toJson() const;
};

struct InkRelease {
  std::vector<std::int64_t> captures;
  static constexpr std::string_view keyNames[] = {"captures"};
  static InkRelease decode(const JsonObject& params);
};

}  // namespace halcy
