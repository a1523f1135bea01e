#pragma once
// Who the engine is, the permission vocabulary, and the host the dispatcher asks for both.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AudioPorts.hpp"
#include "Json.hpp"

namespace halcy {

namespace EngineProtocol {
inline constexpr std::int64_t version = 1;
}

struct HelloParams {
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

enum class Permission { accessibility, screenRecording, microphone };
enum class PermissionState { granted, denied, undetermined, unsupported };

std::string_view wireName(Permission permission);
std::string_view wireName(PermissionState state);

struct PermissionsStatus {
  PermissionState accessibility = PermissionState::undetermined;
  PermissionState screenRecording = PermissionState::undetermined;
  PermissionState microphone = PermissionState::undetermined;
  Json toJson() const;
};

struct PermissionRequest {
  Permission permission = Permission::accessibility;
  static PermissionRequest decode(const JsonObject& params);
};

struct PermissionAnswer {
  PermissionState state = PermissionState::undetermined;
  Json toJson() const;
};

struct CalendarFact;

// The dispatcher's view of the platform. None of the operations fails; capture objects report
// their own failures when started.
class EngineHost {
 public:
  virtual ~EngineHost() = default;
  virtual Hello hello() = 0;
  virtual PermissionsStatus permissions() = 0;
  virtual PermissionState request(Permission permission) = 0;
  virtual std::unique_ptr<MicCapture> microphone() = 0;
  virtual std::unique_ptr<MeetingCapture> meetingMicrophone() = 0;
  virtual std::unique_ptr<MeetingCapture> systemAudio(
      const std::vector<std::int64_t>& excluding) = 0;
  virtual PermissionState calendarAccess() = 0;
  virtual PermissionState requestCalendarAccess() = 0;
  // Instants are seconds since 1970-01-01T00:00:00Z.
  virtual std::vector<CalendarFact> calendarEvents(double from, double to) = 0;
  virtual std::vector<std::int64_t> runningApps(const std::string& bundleId) = 0;
  virtual std::vector<std::string> windowTitles(std::int64_t pid) = 0;
};

}  // namespace halcy
