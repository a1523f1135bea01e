#pragma once
// The media-decode records on the wire: parameters decode strictly, results encode in field order.

#include <cstdint>
#include <string>
#include <string_view>

#include "Json.hpp"

namespace halcy {

struct MediaDecodeRequest {
  // Both are checked by the decoder itself, which answers bad paths in its own words.
  std::string path;
  std::string out;
  static constexpr std::string_view keyNames[] = {"path", "out"};
  static MediaDecodeRequest decode(const JsonObject& params);
};

struct MediaDecoded {
  std::int64_t durationMs = 0;
  std::int64_t sampleRate = 16000;
  std::int64_t channels = 1;
  Json toJson() const;
};

}  // namespace halcy
