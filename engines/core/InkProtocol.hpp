#pragma once
// The ink records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct InkCapture {
  static InkCapture decode(const JsonObject& params);
};

struct InkCaptured {
  Json toJson() const;
};

struct InkCompose {
  static InkCompose decode(const JsonObject& params);
};

struct InkComposed {
  Json toJson() const;
};

struct InkRelease {
  static InkRelease decode(const JsonObject& params);
};

}  // namespace halcy
