#pragma once
// The screen text and capture records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct ScreenRead {
  static ScreenRead decode(const JsonObject& params);
};

struct ScreenText {
  Json toJson() const;
};

struct ScreenCapture {
  static ScreenCapture decode(const JsonObject& params);
};

struct ScreenCaptured {
  Json toJson() const;
};

struct ScreenRegion {
  static ScreenRegion decode(const JsonObject& params);
};

struct ScreenRegionCaptured {
  Json toJson() const;
};

}  // namespace halcy
