#pragma once
// The screen text and capture records on the wire: parameters decode strictly, results encode in
// field order.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"
#include "ScreenGeometry.hpp"

namespace halcy {

struct ScreenRead {
  std::int64_t pid = 0;
  std::int64_t maxChars = 0;
  std::vector<std::string> neverLook;
  static constexpr std::string_view keyNames[] = {"pid", "maxChars", "neverLook"};
  static ScreenRead decode(const JsonObject& params);
};

struct ScreenText {
  Json toJson() const;
};

struct ScreenCapture {
  // None when the caller names no application.
  std::optional<std::int64_t> pid;
  std::vector<std::int64_t> excludePids;
  std::vector<std::string> neverLook;
  std::int64_t longEdge = 0;
  double quality = 0;
  static constexpr std::string_view keyNames[] = {"pid", "excludePids", "neverLook", "longEdge",
                                                  "quality"};
  static ScreenCapture decode(const JsonObject& params);
};

struct ScreenCaptured {
  Json toJson() const;
};

struct ScreenRegion {
  ScreenRect rect;
  std::vector<std::int64_t> excludePids;
  std::vector<std::string> neverLook;
  double quality = 0;
  static constexpr std::string_view keyNames[] = {"rect", "excludePids", "neverLook", "quality"};
  static ScreenRegion decode(const JsonObject& params);
};

struct ScreenRegionCaptured {
  Json toJson() const;
};

}  // namespace halcy
