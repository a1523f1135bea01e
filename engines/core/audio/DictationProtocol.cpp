#include "DictationProtocol.hpp"

namespace halcy {

Json DictationStarted::toJson() const {
  return Json::object({{"sampleRate", sampleRate}, {"channels", channels}, {"at", at}});
}

Json DictationStopped::toJson() const {
  return Json::object({{"at", at}});
}

Json DictationAudio::toJson() const {
  return Json::object({{"at", at}, {"samples", samples}});
}

Json DictationEnded::toJson() const {
  Json data = Json::object();
  data["reason"] = reason == DictationEndReason::deviceChanged ? "deviceChanged" : "failed";
  if (message) data["message"] = *message;
  return data;
}

}  // namespace halcy
