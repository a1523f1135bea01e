#pragma once
// The ports through which sound sources meet the core: meeting-style captures (dictation and
// meetings) and the recorder's microphone.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Permission.hpp"

namespace halcy {

enum class MeetingInterruption { deviceChanged, stopped, failed };

inline std::string_view wireName(MeetingInterruption reason) {
  switch (reason) {
    case MeetingInterruption::deviceChanged:
      return "deviceChanged";
    case MeetingInterruption::stopped:
      return "stopped";
    case MeetingInterruption::failed:
      return "failed";
  }
  return "failed";
}

// Receives mono float samples at 16 000 Hz from the capture's own thread.
class MeetingSink {
 public:
  virtual ~MeetingSink() = default;
  virtual void receive(const std::vector<float>& samples) = 0;
  virtual void interrupt(MeetingInterruption reason, std::optional<std::string> message) = 0;
};

struct MeetingSnapCall;
struct SnapImages;

class MeetingCapture {
 public:
  virtual ~MeetingCapture() = default;
  // Throws an EngineFailure (or another error) when the source cannot start.
  virtual void start(std::shared_ptr<MeetingSink> sink) = 0;
  // After it returns the sink receives nothing more.
  virtual void stop() = 0;
};

class MicSink {
 public:
  virtual ~MicSink() = default;
  virtual void receive(const std::vector<float>& samples) = 0;
  virtual void fail(const std::string& message) = 0;
};

class MicCapture {
 public:
  virtual ~MicCapture() = default;
  virtual void start(std::shared_ptr<MicSink> sink) = 0;
  virtual void stop() = 0;
};

// Where the recorder and the meeting get their sources: a new, unstarted capture on each call.
class AudioSources {
 public:
  virtual ~AudioSources() = default;
  virtual PermissionState microphonePermission() = 0;
  virtual std::unique_ptr<MicCapture> microphone() = 0;
  virtual std::unique_ptr<MeetingCapture> meetingMicrophone() = 0;
  virtual std::unique_ptr<MeetingCapture> systemAudio(
      const std::vector<std::int64_t>& excluding) = 0;
};

}  // namespace halcy
