#pragma once
// The output-volume records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct VolumeWatch {
  // False ends watching; either way the answer is the volume now.
  bool watch = false;

  static VolumeWatch decode(const JsonObject& params);
};

struct OutputVolume {
  Json toJson() const;
};

}  // namespace halcy
