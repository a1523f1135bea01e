#pragma once
// The permission vocabulary: what the engine may use, and what the platform answers about it.

#include <optional>
#include <string_view>

#include "Json.hpp"

namespace halcy {

enum class Permission { accessibility, screenRecording, microphone };
enum class PermissionState { granted, denied, undetermined, unsupported };

std::string_view wireName(Permission permission);
std::string_view wireName(PermissionState state);
// The permission named on the wire; nothing for any other text.
std::optional<Permission> permissionNamed(std::string_view wire);

struct PermissionAnswer {
  PermissionState state = PermissionState::undetermined;
  Json toJson() const;
};

}  // namespace halcy
