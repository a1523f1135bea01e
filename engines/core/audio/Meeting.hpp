#pragma once
// The meeting area behind "meeting.start", "meeting.stop", "meeting.reopen" and "meeting.snap".
// Every operation but `answered`, `holdsStream` and `shutdown` may throw an EngineFailure.

#include "MeetingProtocol.hpp"
#include "Output.hpp"
#include "SnapProtocol.hpp"

namespace halcy {

class MeetingArea {
 public:
  virtual ~MeetingArea() = default;
  virtual MeetingStarted start(const MeetingStart& request) = 0;
  virtual MeetingStopped stop() = 0;
  virtual MeetingReopened reopen(const MeetingReopen& request) = 0;
  virtual MeetingSnapped snap(const MeetingSnap& request) = 0;
  // Runs after a start or reopen reply has been handed to the writer, so held notices follow it.
  virtual void answered() = 0;
  // Whether a meeting holds the screen's stream; screen and ink captures ask it first.
  virtual bool holdsStream() = 0;
  virtual void shutdown() = 0;
};

class UnbuiltMeeting : public MeetingArea {
 public:
  MeetingStarted start(const MeetingStart&) override { throw notBuiltYet(); }
  MeetingStopped stop() override { throw notBuiltYet(); }
  MeetingReopened reopen(const MeetingReopen&) override { throw notBuiltYet(); }
  MeetingSnapped snap(const MeetingSnap&) override { throw notBuiltYet(); }
  void answered() override {}
  bool holdsStream() override { return false; }
  void shutdown() override {}
};

}  // namespace halcy
