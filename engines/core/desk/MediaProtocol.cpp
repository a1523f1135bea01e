#include "MediaProtocol.hpp"

namespace halcy {

MediaDecodeRequest MediaDecodeRequest::decode(const JsonObject& params) {
  return {params.text("path"), params.text("out")};
}

Json MediaDecoded::toJson() const {
  return Json::object(
      {{"durationMs", durationMs}, {"sampleRate", sampleRate}, {"channels", channels}});
}

}  // namespace halcy
