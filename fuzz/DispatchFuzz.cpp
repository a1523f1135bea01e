// Feeds arbitrary bytes to the dispatcher as request lines, with placeholder areas and a host that
// touches nothing outside the process.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "Calendar.hpp"
#include "Dispatcher.hpp"
#include "Entry.hpp"

namespace {

using namespace halcy;

class DiscardOutput final : public LineOutput {
 public:
  void write(std::string) override {}
};

class InertHost final : public EngineHost {
 public:
  Hello hello() override { return {1, "halcy-engine-fuzz", "0.0.1", "fuzz", "fuzz", 1}; }
  PermissionsStatus permissions() override { return {}; }
  PermissionState request(Permission) override { return PermissionState::denied; }
  std::unique_ptr<MicCapture> microphone() override { return nullptr; }
  std::unique_ptr<MeetingCapture> meetingMicrophone() override { return nullptr; }
  std::unique_ptr<MeetingCapture> systemAudio(const std::vector<std::int64_t>&) override {
    return nullptr;
  }
  PermissionState calendarAccess() override { return PermissionState::denied; }
  PermissionState requestCalendarAccess() override { return PermissionState::denied; }
  std::vector<CalendarFact> calendarEvents(double, double) override { return {}; }
  std::vector<std::int64_t> runningApps(const std::string&) override { return {}; }
  std::vector<std::string> windowTitles(std::int64_t) override { return {}; }
};

Dispatcher& dispatcher() {
  static DiscardOutput output;
  static Dispatcher instance(std::make_shared<InertHost>(), output, EngineAreas::unbuilt(),
                             [](const std::string&) { return MicStartRules::PathKind::missing; });
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  InputLines lines([](std::string line) {
    if (!line.empty()) dispatcher().reply(line);
  });
  lines.feed(bytes);
  lines.finish();
  return 0;
}
