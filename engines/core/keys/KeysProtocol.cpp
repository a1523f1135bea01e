#include "KeysProtocol.hpp"

#include "DecodeHelpers.hpp"
#include "ParamRules.hpp"

namespace halcy {

KeysWatch KeysWatch::decode(const JsonObject& params) {
  KeysWatch request;
  request.watch = params.boolean("watch");
  request.downsWhile = params.integer("downsWhile");
  // A mask is a bit set: compared unsigned, a negative mask is as far out of range as a wide one.
  if (static_cast<std::uint64_t>(request.downsWhile) > flagsMaskMax) {
    throw DecodeError(decode::outOfRange);
  }
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
  return {ParamRules::pid(params, "pid")};
}

}  // namespace halcy
