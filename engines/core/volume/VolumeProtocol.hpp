#pragma once
// The output-volume records on the wire: parameters decode strictly, results encode in field order.

#include <string_view>

#include "Json.hpp"

namespace halcy {

struct VolumeWatch {
  // False ends watching; either way the answer is the volume now.
  bool watch = false;

  static constexpr std::string_view keyNames[] = {"watch"};

  static VolumeWatch decode(const JsonObject& params);
};

struct OutputVolume {
  Json toJson() const;
};

}  // namespace halcy
