#include "Protocol.hpp"

namespace halcy {

HelloParams HelloParams::decode(const JsonObject& params) {
  return {params.integer("protocol")};
}

Json Hello::toJson() const {
  return Json::object({{"protocol", protocol},
                       {"engine", engine},
                       {"version", version},
                       {"os", os},
                       {"osVersion", osVersion},
                       {"pid", pid}});
}

Json PermissionsStatus::toJson() const {
  return Json::object({{"permissions", Json::object({{"accessibility", wireName(accessibility)},
                                                     {"screenRecording", wireName(screenRecording)},
                                                     {"microphone", wireName(microphone)}})}});
}

PermissionRequest PermissionRequest::decode(const JsonObject& params) {
  if (auto permission = permissionNamed(params.text("permission"))) return {*permission};
  throw DecodeError("Unknown permission.");
}

}  // namespace halcy
