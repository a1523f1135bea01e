#include "KeysProtocol.hpp"

namespace halcy {

KeysWatch KeysWatch::decode(const JsonObject&) { return {}; }

Json KeysWatching::toJson() const { return Json::object(); }

Json KeysState::toJson() const { return Json::object(); }

Json AppsFront::toJson() const { return Json::object(); }

AppsActivate AppsActivate::decode(const JsonObject&) { return {}; }

}  // namespace halcy
