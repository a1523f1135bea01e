#pragma once
// The window-outline records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct OutlineRead {
  static OutlineRead decode(const JsonObject& params);
};

struct Outline {
  Json toJson() const;
};

struct OutlineFrames {
  static OutlineFrames decode(const JsonObject& params);
};

struct OutlineFramesRead {
  Json toJson() const;
};

struct OutlineStates {
  Json toJson() const;
};

struct OutlineFind {
  static OutlineFind decode(const JsonObject& params);
};

struct OutlineFoundControls {
  Json toJson() const;
};

struct OutlineWatch {
  static OutlineWatch decode(const JsonObject& params);
};

struct OutlineWatching {
  Json toJson() const;
};

}  // namespace halcy
