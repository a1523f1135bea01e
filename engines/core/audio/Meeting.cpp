#include "Meeting.hpp"

namespace halcy {

MeetingController::MeetingController(std::shared_ptr<AudioSources> host, LineOutput& output,
                                     Clock clock)
    : host_(std::move(host)), output_(output), clock_(std::move(clock)) {}

MeetingStarted MeetingController::start(const MeetingStart&) {
  throw notBuiltYet();
}
MeetingStopped MeetingController::stop() {
  throw notBuiltYet();
}
MeetingReopened MeetingController::reopen(const MeetingReopen&) {
  throw notBuiltYet();
}
MeetingSnapped MeetingController::snap(const MeetingSnap&) {
  throw notBuiltYet();
}
void MeetingController::answered() {}
bool MeetingController::holdsStream() {
  return false;
}
void MeetingController::shutdown() {}

}  // namespace halcy
