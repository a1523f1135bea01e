#pragma once
// The two microphone captures over the shared sound connection: one for dictation and the meeting's
// microphone, one for recordings. Each object is made for one capture and not restarted.

#include <memory>

#include "AudioPorts.hpp"
#include "LinuxSound.hpp"

namespace halcy {

namespace LinuxMicrophoneFragments {
// Dictation chunks are 100 ms; one delivery per chunk keeps their cadence without extra wakeups.
inline constexpr double meetingSeconds = 0.1;
// Small blocks let the recorder's level notices come ten times a second.
inline constexpr double recorderSeconds = 0.025;
}  // namespace LinuxMicrophoneFragments

class LinuxMeetingMicrophone final : public MeetingCapture {
 public:
  explicit LinuxMeetingMicrophone(std::shared_ptr<LinuxSound> sound) : sound_(std::move(sound)) {}
  void start(std::shared_ptr<MeetingSink> sink) override;
  void stop() override;

 private:
  std::shared_ptr<LinuxSound> sound_;
  std::unique_ptr<SourceRecording> recording_;
};

class LinuxMicrophone final : public MicCapture {
 public:
  explicit LinuxMicrophone(std::shared_ptr<LinuxSound> sound) : sound_(std::move(sound)) {}
  void start(std::shared_ptr<MicSink> sink) override;
  void stop() override;

 private:
  std::shared_ptr<LinuxSound> sound_;
  std::unique_ptr<SourceRecording> recording_;
};

}  // namespace halcy
