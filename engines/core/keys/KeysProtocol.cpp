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
  return Json::object({{"watching", watching}, {"flags", flags}, {"at", at}});
}

Json KeysState::toJson() const {
  return Json::object({{"flags", flags}, {"buttons", buttons}, {"at", at}});
}

Json AppsFront::toJson() const {
  return Json::object({{"app", orNull(app)}});
}

AppsActivate AppsActivate::decode(const JsonObject& params) {
  return {decode::pid(params, "pid")};
}

Json AppsActive::toJson() const {
  return Json::object({{"pid", app.pid},
                       {"bundleId", orNull(app.bundleId)},
                       {"name", orNull(app.name)},
                       {"at", at}});
}

Json KeysEvent::toJson() const {
  switch (kind) {
    case Kind::flags:
      return Json::object({{"type", "flags"}, {"flags", flags}, {"at", at}});
    case Kind::key:
      return Json::object({{"type", "key"}, {"keyCode", keyCode}, {"at", at}});
    case Kind::pointer:
      break;
  }
  return Json::object({{"type", "pointer"}, {"at", at}});
}

}  // namespace halcy
