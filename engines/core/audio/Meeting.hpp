#pragma once
// The meeting controller behind "meeting.start", "meeting.stop", "meeting.reopen" and
// "meeting.snap".

#include <memory>

#include "AudioPorts.hpp"
#include "Clock.hpp"
#include "MeetingProtocol.hpp"
#include "Output.hpp"
#include "SnapProtocol.hpp"

namespace halcy {

class MeetingController {
 public:
  MeetingController(std::shared_ptr<AudioSources> host, LineOutput& output, Clock clock);
  MeetingStarted start(const MeetingStart& request);
  MeetingStopped stop();
  MeetingReopened reopen(const MeetingReopen& request);
  MeetingSnapped snap(const MeetingSnap& request);
  // Runs after a start or reopen reply has been handed to the writer, so held notices follow it.
  void answered();
  bool holdsStream();
  void shutdown();

 private:
  std::shared_ptr<AudioSources> host_;
  LineOutput& output_;
  Clock clock_;
};

}  // namespace halcy
