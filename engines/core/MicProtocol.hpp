#pragma once
// The microphone-recording records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct MicStart {
  static MicStart decode(const JsonObject& params);
};

struct MicStarted {
  Json toJson() const;
};

struct MicRecording {
  Json toJson() const;
};

}  // namespace halcy
