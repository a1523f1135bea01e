#include "VolumeProtocol.hpp"

namespace halcy {

VolumeWatch VolumeWatch::decode(const JsonObject& params) {
  return {params.boolean("watch")};
}

Json OutputVolume::toJson() const {
  return Json::object();
}

}  // namespace halcy
