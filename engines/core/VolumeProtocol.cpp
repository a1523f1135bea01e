#include "VolumeProtocol.hpp"

namespace halcy {

VolumeWatch VolumeWatch::decode(const JsonObject&) { return {}; }

Json OutputVolume::toJson() const { return Json::object(); }

}  // namespace halcy
