#include "MicProtocol.hpp"

namespace halcy {

MicStart MicStart::decode(const JsonObject&) { return {}; }

Json MicStarted::toJson() const { return Json::object(); }

Json MicRecording::toJson() const { return Json::object(); }

}  // namespace halcy
