#pragma once
// Who the engine is, the permission vocabulary, and the host the dispatcher asks for both.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AudioPorts.hpp"
#include "Calendar.hpp"
#include "Json.hpp"
#include "Permission.hpp"
#include "Windows.hpp"

namespace halcy {

namespace EngineProtocol {
inline constexpr std::int64_t version = 1;
}

struct HelloParams {
  // The one request whose keys are not checked: other keys may come from newer callers.
  static constexpr bool takesAnyKeys = true;
  std::int64_t protocol = 0;
  static HelloParams decode(const JsonObject& params);
};

struct Hello {
  std::int64_t protocol = EngineProtocol::version;
  std::string engine;
  std::string version;
  std::string os;
  std::string osVersion;
  std::int64_t pid = 0;
  Json toJson() const;
};

struct PermissionsStatus {
  PermissionState accessibility = PermissionState::undetermined;
  PermissionState screenRecording = PermissionState::undetermined;
  PermissionState microphone = PermissionState::undetermined;
  Json toJson() const;
};

struct PermissionRequest {
  Permission permission = Permission::accessibility;
  static constexpr std::string_view keyNames[] = {"permission"};
  static PermissionRequest decode(const JsonObject& params);
};

// The dispatcher's view of the platform. The sound sources, the calendar's permission and the
// window facts are the ports their areas declare; the host answers them all. None of the
// operations fails; capture objects report their own failures when started.
class EngineHost : public AudioSources, public CalendarPermission, public WindowSource {
 public:
  virtual Hello hello() = 0;
  virtual PermissionsStatus permissions() = 0;
  virtual PermissionState request(Permission permission) = 0;
  PermissionState microphonePermission() override { return permissions().microphone; }
};

}  // namespace halcy
