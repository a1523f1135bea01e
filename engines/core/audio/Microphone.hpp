#pragma once
// The microphone recorder behind "mic.start" and "mic.stop": one take at a time into a WAV file,
// with a time limit and level notices.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "AudioPorts.hpp"
#include "Clock.hpp"
#include "Metering.hpp"
#include "MicProtocol.hpp"
#include "Output.hpp"
#include "Wave.hpp"

namespace halcy {

namespace MicStartRules {
enum class PathKind { missing, file, folder };
PathKind onDisk(const std::string& path);
}  // namespace MicStartRules

using PathClassifier = std::function<MicStartRules::PathKind(const std::string& path)>;

namespace MicStartRules {
// The first rule the request breaks, all with code invalid_params; nothing when it keeps them all.
std::optional<EngineFailure> failure(const MicStart& request, const PathClassifier& kind);
}  // namespace MicStartRules

// One recording: takes samples from the capture's thread until its budget is spent, it fails, or
// the controller finishes it.
class Take final : public MicSink, public std::enable_shared_from_this<Take> {
 public:
  using OnLevel = std::function<void(double level)>;
  using OnEnd = std::function<void(const std::shared_ptr<Take>& take, MicEndReason reason,
                                   std::optional<std::string> message)>;

  Take(std::unique_ptr<WaveFileWriter> writer, Clock clock, SampleBudget budget, OnLevel onLevel,
       OnEnd onEnd);

  void receive(const std::vector<float>& samples) override;
  void fail(const std::string& message) override;

  // Accepts nothing more and finishes the file; returns the samples in it, or throws what finishing
  // threw.
  std::uint64_t finish();
  // The samples written so far, also after finishing failed.
  std::uint64_t samples();
  // Accepts nothing more, closes the file and deletes it.
  void discard();
  const std::string& path() const { return path_; }

 private:
  struct End {
    MicEndReason reason;
    std::optional<std::string> message;
  };

  const std::string path_;
  Clock clock_;
  OnLevel onLevel_;
  OnEnd onEnd_;
  std::mutex lock_;
  std::unique_ptr<WaveFileWriter> writer_;
  SampleBudget budget_;
  LevelMeter meter_;
  bool over_ = false;
};

class MicController {
 public:
  MicController(std::shared_ptr<AudioSources> host, LineOutput& output, PathClassifier pathKind,
                Clock clock);
  MicStarted start(const MicStart& request);
  MicRecording stop();
  void shutdown();

 private:
  struct State;
  // Shared, so that a take ending on the capture's thread reaches the recorder only while it lives.
  std::shared_ptr<State> state_;
};

}  // namespace halcy
