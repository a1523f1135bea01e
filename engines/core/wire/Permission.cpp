#include "Permission.hpp"

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

std::optional<Permission> permissionNamed(std::string_view wire) {
  for (std::size_t index = 0; index < permissionNames.size(); ++index) {
    if (permissionNames[index] == wire) return static_cast<Permission>(index);
  }
  return std::nullopt;
}

Json PermissionAnswer::toJson() const {
  return Json::object({{"state", wireName(state)}});
}

}  // namespace halcy
