#pragma once
// A dispatcher over a silent host and unbuilt areas, for tests that check the exact reply line a
// request earns: a request that decodes reaches its (unbuilt) area, one that does not never does.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Areas.hpp"
#include "Calendar.hpp"
#include "Dispatcher.hpp"
#include "Output.hpp"
#include "Protocol.hpp"

namespace halcy::wire {

class FakeEngineHost final : public EngineHost {
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
  std::vector<CalendarFact> calendarEvents(double, double) override { return {}; }
  std::vector<std::int64_t> runningApps(const std::string&) override { return {}; }
  std::vector<std::string> windowTitles(std::int64_t) override { return {}; }
};

class CapturingOutput final : public LineOutput {
 public:
  void write(std::string line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Every request is sent with this id, so expected lines can be written out in full.
inline constexpr std::int64_t requestId = 7;

// What a request that decoded earns from an unbuilt area.
inline const std::string notBuiltLine =
    R"({"id":7,"error":{"code":"unavailable","message":"Not built yet."}})";

inline std::string invalidParamsLine(std::string_view message) {
  return R"({"id":7,"error":{"code":"invalid_params","message":")" + std::string(message) +
         R"("}})";
}

// The dispatcher's generic refusal: "Invalid params for <method>."
inline std::string refusedLine(std::string_view method) {
  return invalidParamsLine("Invalid params for " + std::string(method) + ".");
}

class WireHarness {
 public:
  WireHarness()
      : dispatcher_(std::make_shared<FakeEngineHost>(), output_, EngineAreas::unbuilt()) {}

  // `paramsJson` is inserted verbatim, so it may hold any JSON text, well-formed or not.
  std::string replyTo(std::string_view method, std::string_view paramsJson) {
    const std::string line = R"({"id":7,"method":")" + std::string(method) + R"(","params":)" +
                             std::string(paramsJson) + "}";
    return dispatcher_.reply(line);
  }

  CapturingOutput& output() { return output_; }

 private:
  CapturingOutput output_;
  Dispatcher dispatcher_;
};

}  // namespace halcy::wire
