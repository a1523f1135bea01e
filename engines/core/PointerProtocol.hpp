#pragma once
// The pointer and input-watch records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct PointerState {
  Json toJson() const;
};

struct PointerElementRequest {
  static PointerElementRequest decode(const JsonObject& params);
};

struct PointerElement {
  Json toJson() const;
};

struct InputWatch {
  static InputWatch decode(const JsonObject& params);
};

struct InputWatching {
  Json toJson() const;
};

}  // namespace halcy
