#include "KeysProtocol.hpp"

#include "Decode.hpp"

namespace halcy {

KeysWatch KeysWatch::decode(const JsonObject& params) {
  KeysWatch request;
  request.watch = params.boolean("watch");
  // A mask is a bit set: a negative mask is as far out of range as a wide one.
  request.downsWhile =
      decode::integerWithin(params, "downsWhile", 0, static_cast<std::int64_t>(flagsMaskMax));
  return request;
}

Json KeysWatching::toJson() const {
  return Json::object();
}

Json KeysState::toJson() const {
  return Json::object();
}

Json AppsFront::toJson() const {
  return Json::object();
}

AppsActivate AppsActivate::decode(const JsonObject& params) {
  return {decode::pid(params, "pid")};
}

}  // namespace halcy
