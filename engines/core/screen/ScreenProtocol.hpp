#pragma once
// The screen text and capture records on the wire: parameters decode strictly, results encode in
// field order.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FrontApp.hpp"
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
  FrontApp app;
  std::optional<std::string> windowTitle;
  std::string text;
  bool gated = false;
  Json toJson() const;
  bool operator==(const ScreenText&) const = default;
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
  std::string jpeg;  // Base64
  std::int64_t width = 0;
  std::int64_t height = 0;
  ScreenRect display;
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
  std::string jpeg;  // Base64
  std::int64_t width = 0;
  std::int64_t height = 0;
  ScreenRect rect;
  std::string hash;
  Json toJson() const;
};

}  // namespace halcy
