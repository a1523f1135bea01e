#include "Microphone.hpp"

#include <filesystem>

#include "CaptureStart.hpp"
#include "FilePaths.hpp"
#include "PCM16.hpp"
#include "SerialQueue.hpp"

namespace halcy {

MicStartRules::PathKind MicStartRules::onDisk(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return PathKind::missing;
  return std::filesystem::is_directory(status) ? PathKind::folder : PathKind::file;
}

namespace {

EngineFailure invalid(std::string message) {
  return EngineFailure(ErrorCode::invalidParams, std::move(message));
}

}  // namespace

std::optional<EngineFailure> MicStartRules::failure(const MicStart& request,
                                                    const PathClassifier& kind) {
  if (request.maxSeconds < 1 || request.maxSeconds > MicFormat::maxSeconds) {
    return invalid("maxSeconds must be 1 to " + std::to_string(MicFormat::maxSeconds) + ".");
  }
  if (request.path.empty() || request.path.front() != '/') {
    return invalid("The path must be absolute.");
  }
  if (kind(request.path) == PathKind::folder) return invalid("The path is a folder.");
  if (kind(folderOf(request.path)) != PathKind::folder) {
    return invalid("The path's folder does not exist.");
  }
  return std::nullopt;
}

Take::Take(std::unique_ptr<WaveFileWriter> writer, Clock clock, SampleBudget budget,
           OnLevel onLevel, OnEnd onEnd)
    : path_(writer->path()),
      clock_(std::move(clock)),
      onLevel_(std::move(onLevel)),
      onEnd_(std::move(onEnd)),
      writer_(std::move(writer)),
      budget_(budget) {}

void Take::receive(const std::vector<float>& samples) {
  std::optional<double> level;
  std::optional<End> end;
  {
    std::lock_guard lock(lock_);
    if (over_) return;
    const auto count =
        static_cast<std::size_t>(budget_.take(static_cast<std::int64_t>(samples.size())));
    const std::span<const float> taken(samples.data(), count);
    try {
      writer_->append(PCM16::samples(taken));
    } catch (...) {
      over_ = true;
      end = End{MicEndReason::failed, "Could not write the recording."};
    }
    if (!end) {
      if (count > 0) level = meter_.add(taken, clock_());
      if (budget_.isSpent()) {
        over_ = true;
        end = End{MicEndReason::limit, std::nullopt};
      }
    }
  }
  if (level && onLevel_) onLevel_(*level);
  if (end && onEnd_) onEnd_(shared_from_this(), end->reason, std::move(end->message));
}

void Take::fail(const std::string& message) {
  bool wasOver = false;
  {
    std::lock_guard lock(lock_);
    wasOver = over_;
    over_ = true;
  }
  if (!wasOver && onEnd_) onEnd_(shared_from_this(), MicEndReason::failed, message);
}

std::uint64_t Take::finish() {
  std::lock_guard lock(lock_);
  over_ = true;
  writer_->finish();
  return writer_->samples();
}

std::uint64_t Take::samples() {
  std::lock_guard lock(lock_);
  return writer_->samples();
}

void Take::discard() {
  {
    std::lock_guard lock(lock_);
    over_ = true;
    writer_->abandon();
  }
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

namespace {

const EngineFailure alreadyRecording(ErrorCode::busy, "The microphone is already recording.");
const EngineFailure cannotCreate(ErrorCode::failed, "Could not create the recording file.");
const EngineFailure nothingRecording(ErrorCode::unavailable, "Nothing is recording.");
const EngineFailure cannotFinish(ErrorCode::failed, "Could not finish the recording.");

double secondsOf(std::uint64_t samples) {
  return static_cast<double>(samples) / static_cast<double>(MicFormat::sampleRate);
}

}  // namespace

struct MicController::State : std::enable_shared_from_this<State> {
  struct Current {
    std::shared_ptr<Take> take;
    std::unique_ptr<MicCapture> capture;
  };

  State(std::shared_ptr<AudioSources> host, LineOutput& output, PathClassifier pathKind,
        Clock clock)
      : host(std::move(host)),
        output(output),
        pathKind(std::move(pathKind)),
        clock(std::move(clock)) {}

  std::shared_ptr<Take> makeTake(const MicStart& request);
  void ended(const std::shared_ptr<Take>& take, MicEndReason reason,
             std::optional<std::string> message);
  // Takes the current take out and stops its capture; `serial` must be held.
  Current stopCurrent();

  std::shared_ptr<AudioSources> host;
  LineOutput& output;
  PathClassifier pathKind;
  Clock clock;
  // The recorder's one lock: one operation at a time, the ended path included.
  std::mutex serial;
  std::optional<Current> current;
  // Where a take's end is handled, off the capture's thread; last, so it stops first.
  SerialQueue endings;
};

std::shared_ptr<Take> MicController::State::makeTake(const MicStart& request) {
  std::unique_ptr<WaveFileWriter> writer;
  try {
    writer = std::make_unique<WaveFileWriter>(request.path, MicFormat::sampleRate);
  } catch (...) {
    throw cannotCreate;
  }
  auto onLevel = [&output = output](double level) {
    output.write(Frames::notice("mic.level", MicLevel{level}.toJson()));
  };
  std::weak_ptr<State> weak = weak_from_this();
  // The end arrives on the capture's thread; it must never wait for the recorder there. The queue
  // stops before the state goes, so its tasks may hold the state plainly.
  auto onEnd = [weak](const std::shared_ptr<Take>& take, MicEndReason reason,
                      std::optional<std::string> message) {
    auto state = weak.lock();
    if (!state) return;
    state->endings.post(
        [state = state.get(), take, reason, message = std::move(message)]() mutable {
          state->ended(take, reason, std::move(message));
        });
  };
  return std::make_shared<Take>(std::move(writer), clock,
                                SampleBudget::of(request.maxSeconds, MicFormat::sampleRate),
                                std::move(onLevel), std::move(onEnd));
}

void MicController::State::ended(const std::shared_ptr<Take>& take, MicEndReason reason,
                                 std::optional<std::string> message) {
  std::lock_guard lock(serial);
  if (!current || current->take != take) return;
  const Current ending = stopCurrent();
  MicEnded notice{take->path(), 0, reason, std::move(message)};
  try {
    notice.seconds = secondsOf(take->finish());
  } catch (...) {
    // The file still holds the samples written before finishing failed.
    notice.seconds = secondsOf(take->samples());
    notice.reason = MicEndReason::failed;
    notice.message = cannotFinish.message;
  }
  output.write(Frames::notice("mic.ended", notice.toJson()));
}

MicController::State::Current MicController::State::stopCurrent() {
  Current stopping = std::move(*current);
  current.reset();
  stopping.capture->stop();
  return stopping;
}

MicController::MicController(std::shared_ptr<AudioSources> host, LineOutput& output,
                             PathClassifier pathKind, Clock clock)
    : state_(std::make_shared<State>(std::move(host), output, std::move(pathKind),
                                     std::move(clock))) {}

MicStarted MicController::start(const MicStart& request) {
  State& state = *state_;
  std::lock_guard lock(state.serial);
  if (auto broken = MicStartRules::failure(request, state.pathKind)) throw *broken;
  if (state.current) throw alreadyRecording;
  CaptureStart::requireMicrophone(state.host->microphonePermission());
  auto take = state.makeTake(request);
  auto capture = state.host->microphone();
  CaptureStart::startOrDiscard(capture.get(), take);
  state.current = State::Current{std::move(take), std::move(capture)};
  return MicStarted::pcm16kMono;
}

MicRecording MicController::stop() {
  State& state = *state_;
  std::lock_guard lock(state.serial);
  if (!state.current) throw nothingRecording;
  State::Current stopping = state.stopCurrent();
  try {
    return MicRecording{stopping.take->path(), secondsOf(stopping.take->finish())};
  } catch (...) {
    throw cannotFinish;
  }
}

void MicController::shutdown() {
  State& state = *state_;
  {
    std::lock_guard lock(state.serial);
    if (state.current) {
      State::Current stopping = state.stopCurrent();
      try {
        stopping.take->finish();
      } catch (...) {
        // Nobody is left to tell.
      }
    }
  }
  // Ends handed over before this still run (and find nothing recording); none outlives shutdown.
  state.endings.stop();
}

}  // namespace halcy
