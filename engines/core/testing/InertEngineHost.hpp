#pragma once
// An engine host with nothing behind it: every permission undetermined, no captures, no calendar,
// no applications. Tests derive from it and answer only what they look at.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Calendar.hpp"
#include "Protocol.hpp"

namespace halcy {

class InertEngineHost : public EngineHost {
 public:
  Hello hello() override { return Hello{}; }
  PermissionsStatus permissions() override { return PermissionsStatus{}; }
  PermissionState request(Permission) override { return PermissionState::undetermined; }
  std::unique_ptr<MicCapture> microphone() override { return nullptr; }
  std::unique_ptr<MeetingCapture> meetingMicrophone() override { return nullptr; }
  std::unique_ptr<MeetingCapture> systemAudio(const std::vector<std::int64_t>&) override {
    return nullptr;
  }
  PermissionState calendarAccess() override { return PermissionState::undetermined; }
  PermissionState requestCalendarAccess() override { return PermissionState::undetermined; }
  std::vector<std::int64_t> runningApps(const std::string&) override { return {}; }
  std::vector<std::string> windowTitles(std::int64_t) override { return {}; }
};

}  // namespace halcy
