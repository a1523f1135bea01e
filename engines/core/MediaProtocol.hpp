#pragma once
// The media-decode records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct MediaDecodeRequest {
  static MediaDecodeRequest decode(const JsonObject& params);
};

struct MediaDecoded {
  Json toJson() const;
};

}  // namespace halcy
