#pragma once
// Dictation: the microphone streamed to the caller as 100 ms chunks of PCM16.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AudioPorts.hpp"
#include "Clock.hpp"
#include "DictationProtocol.hpp"
#include "FifoGate.hpp"
#include "Output.hpp"
#include "Permission.hpp"
#include "SerialQueue.hpp"

namespace halcy {

namespace DictationFormat {
inline constexpr std::int64_t sampleRate = 16000;
inline constexpr std::size_t chunkSamples = 1600;
// A leftover below a chunk is sent once deliveries pause for longer than this.
inline constexpr double stallSeconds = 0.25;
}  // namespace DictationFormat

class DictationArea {
 public:
  virtual ~DictationArea() = default;
  virtual DictationStarted start() = 0;
  virtual DictationStopped stop() = 0;
  virtual void shutdown() = 0;
};

class UnbuiltDictation : public DictationArea {
 public:
  DictationStarted start() override { throw notBuiltYet(); }
  DictationStopped stop() override { throw notBuiltYet(); }
  void shutdown() override {}
};

class DictationHost {
 public:
  virtual ~DictationHost() = default;
  virtual PermissionState microphonePermission() = 0;
  // A new, unstarted capture for each call.
  virtual std::unique_ptr<MeetingCapture> dictationMicrophone() = 0;
};

// Turns the capture's float blocks into "dictation.audio" notices of 1600 samples each.
class DictationStream final : public MeetingSink,
                              public std::enable_shared_from_this<DictationStream> {
 public:
  using OnEnd = std::function<void(const std::shared_ptr<DictationStream>& stream,
                                   MeetingInterruption reason, std::optional<std::string> message)>;

  DictationStream(Clock clock, LineOutput& output, OnEnd onEnd);

  void receive(const std::vector<float>& samples) override;
  void interrupt(MeetingInterruption reason, std::optional<std::string> message) override;
  // Sends what is pending as a last chunk; final and idempotent.
  void close();
  // Closes without sending anything, for a capture that never started.
  void discard();

 private:
  void emitLocked(std::size_t count, double at);

  Clock clock_;
  LineOutput& output_;
  OnEnd onEnd_;
  std::mutex lock_;
  std::vector<float> pending_;
  double pendingAt_ = 0;
  bool closed_ = false;
  bool ended_ = false;
};

class DictationController final : public DictationArea,
                                  public std::enable_shared_from_this<DictationController> {
 public:
  // Build with std::make_shared: interruptions reach the controller through a weak reference.
  DictationController(std::unique_ptr<DictationHost> host, LineOutput& output, Clock clock);

  DictationStarted start() override;
  DictationStopped stop() override;
  void shutdown() override;

 private:
  struct Running {
    std::unique_ptr<MeetingCapture> capture;
    std::shared_ptr<DictationStream> stream;
  };

  void ended(const std::shared_ptr<DictationStream>& stream, MeetingInterruption reason,
             std::optional<std::string> message);
  std::shared_ptr<DictationStream> makeStream();
  // Takes `running` out, stops its capture and closes its stream; the gate must be held.
  void finishRunning();

  std::unique_ptr<DictationHost> host_;
  LineOutput& output_;
  Clock clock_;
  std::optional<Running> running_;
  std::atomic<bool> shut_{false};
  FifoGate gate_;
  // Where a capture's end is handled, off the capture's thread; last, so it stops first.
  SerialQueue endings_;
};

}  // namespace halcy
