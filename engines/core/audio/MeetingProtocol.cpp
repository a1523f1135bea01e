#include "MeetingProtocol.hpp"

#include "Decode.hpp"

namespace halcy {

std::string_view wireName(AudioSource source) {
  return source == AudioSource::microphone ? "microphone" : "system";
}

MeetingStart::System MeetingStart::System::decode(const JsonObject& object) {
  decode::onlyKeys(object, keyNames);
  return {object.integers("excludePids")};
}

MeetingStart MeetingStart::decode(const JsonObject& params) {
  MeetingStart start;
  start.microphone = params.boolean("microphone");
  start.system = decode::nullable<System>(
      params, "system", [](const Json& value) { return System::decode(JsonObject(value)); });
  return start;
}

Json MeetingStarted::toJson() const {
  return Json::object();
}

Json MeetingStopped::toJson() const {
  return Json::object();
}

MeetingReopen MeetingReopen::decode(const JsonObject& params) {
  const std::string name = params.text("source");
  for (const AudioSource source : {AudioSource::microphone, AudioSource::system}) {
    if (wireName(source) == name) return {source};
  }
  throw DecodeError("Unknown source.");
}

Json MeetingReopened::toJson() const {
  return Json::object();
}

}  // namespace halcy
