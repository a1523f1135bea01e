#include "OutlineProtocol.hpp"

namespace halcy {

OutlineRead OutlineRead::decode(const JsonObject&) { return {}; }

Json Outline::toJson() const { return Json::object(); }

OutlineFrames OutlineFrames::decode(const JsonObject&) { return {}; }

Json OutlineFramesRead::toJson() const { return Json::object(); }

Json OutlineStates::toJson() const { return Json::object(); }

OutlineFind OutlineFind::decode(const JsonObject&) { return {}; }

Json OutlineFoundControls::toJson() const { return Json::object(); }

OutlineWatch OutlineWatch::decode(const JsonObject&) { return {}; }

Json OutlineWatching::toJson() const { return Json::object(); }

}  // namespace halcy
