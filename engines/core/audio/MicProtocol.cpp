#include "MicProtocol.hpp"

#include "Decode.hpp"

namespace halcy {

MicStart MicStart::decode(const JsonObject& params) {
  MicStart request;
  request.path = params.text("path");
  // The file system would cut the path at a NUL and write somewhere the caller did not name.
  decode::require(request.path.find('\0') == std::string::npos, "NUL in path.");
  request.maxSeconds = params.integer("maxSeconds");
  return request;
}

const MicStarted MicStarted::pcm16kMono{};

Json MicStarted::toJson() const {
  return Json::object({{"sampleRate", sampleRate}, {"channels", channels}});
}

Json MicRecording::toJson() const {
  return Json::object({{"path", path}, {"seconds", seconds}});
}

Json MicLevel::toJson() const {
  return Json::object({{"level", level}});
}

Json MicEnded::toJson() const {
  Json data = Json::object();
  data["path"] = path;
  data["seconds"] = seconds;
  data["reason"] = reason == MicEndReason::limit ? "limit" : "failed";
  if (message) data["message"] = *message;
  return data;
}

}  // namespace halcy
