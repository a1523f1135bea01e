#include "Protocol.hpp"

#include <array>

namespace halcy {

namespace {
constexpr std::array<std::string_view, 3> permissionNames = {"accessibility", "screenRecording",
                                                             "microphone"};
constexpr std::array<std::string_view, 4> permissionStateNames = {"granted", "denied",
                                                                  "undetermined", "unsupported"};
}  // namespace

std::string_view wireName(Permission permission) {
  return permissionNames[static_cast<int>(permission)];
}

std::string_view wireName(PermissionState state) {
  return permissionStateNames[static_cast<int>(state)];
}

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
  const std::string name = params.text("permission");
  for (std::size_t index = 0; index < permissionNames.size(); ++index) {
    if (permissionNames[index] == name) return {static_cast<Permission>(index)};
  }
  throw DecodeError("Unknown permission.");
}

Json PermissionAnswer::toJson() const {
  return Json::object({{"state", wireName(state)}});
}

}  // namespace halcy
