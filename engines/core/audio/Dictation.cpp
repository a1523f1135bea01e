#include "Dictation.hpp"

#include <span>

#include "CaptureStart.hpp"
#include "DictationProtocol.hpp"
#include "PCM16.hpp"

namespace halcy {

DictationStream::DictationStream(Clock clock, LineOutput& output, OnEnd onEnd)
    : clock_(std::move(clock)), output_(output), onEnd_(std::move(onEnd)) {}

void DictationStream::emitLocked(std::size_t count, double at) {
  const std::span<const float> chunk(pending_.data(), count);
  DictationAudio audio{at, PCM16::chunkText(chunk)};
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  output_.write(Frames::notice("dictation.audio", audio.toJson()));
}

void DictationStream::receive(const std::vector<float>& samples) {
  if (samples.empty()) return;
  std::lock_guard lock(lock_);
  if (closed_) return;
  const double now = clock_();
  if (!pending_.empty() && now - pendingAt_ > DictationFormat::stallSeconds) {
    emitLocked(pending_.size(), pendingAt_);
  }
  pending_.insert(pending_.end(), samples.begin(), samples.end());
  pendingAt_ = now;
  while (pending_.size() >= DictationFormat::chunkSamples) {
    emitLocked(DictationFormat::chunkSamples, now);
  }
}

void DictationStream::interrupt(MeetingInterruption reason, std::optional<std::string> message) {
  bool first = false;
  {
    std::lock_guard lock(lock_);
    first = !closed_ && !ended_;
    ended_ = true;
  }
  if (first && onEnd_) onEnd_(shared_from_this(), reason, std::move(message));
}

void DictationStream::close() {
  std::lock_guard lock(lock_);
  if (closed_) return;
  if (!pending_.empty()) emitLocked(pending_.size(), pendingAt_);
  closed_ = true;
}

void DictationStream::discard() {
  std::lock_guard lock(lock_);
  pending_.clear();
  closed_ = true;
}

namespace {

const EngineFailure stopping(ErrorCode::unavailable, "The engine is stopping.");
const EngineFailure alreadyCapturing(ErrorCode::busy, "A dictation is already capturing.");
const EngineFailure notCapturing(ErrorCode::unavailable, "No dictation is capturing.");

DictationEndReason endReasonFor(MeetingInterruption reason) {
  return reason == MeetingInterruption::deviceChanged ? DictationEndReason::deviceChanged
                                                      : DictationEndReason::failed;
}

}  // namespace

DictationController::DictationController(std::unique_ptr<DictationHost> host, LineOutput& output,
                                         Clock clock)
    : host_(std::move(host)), output_(output), clock_(std::move(clock)) {}

std::shared_ptr<DictationStream> DictationController::makeStream() {
  std::weak_ptr<DictationController> weak = weak_from_this();
  // The interruption arrives on the audio thread; it must never wait for the gate there. The
  // queue stops before the controller goes, so its tasks may hold the controller plainly.
  auto onEnd = [weak](const std::shared_ptr<DictationStream>& stream, MeetingInterruption reason,
                      std::optional<std::string> message) {
    auto controller = weak.lock();
    if (!controller) return;
    controller->endings_.post(
        [controller = controller.get(), stream, reason, message = std::move(message)]() mutable {
          controller->ended(stream, reason, std::move(message));
        });
  };
  return std::make_shared<DictationStream>(clock_, output_, std::move(onEnd));
}

DictationStarted DictationController::start() {
  FifoGate::Pass pass(gate_);
  if (shut_) throw stopping;
  if (running_) throw alreadyCapturing;
  CaptureStart::requireMicrophone(host_->microphonePermission());
  auto stream = makeStream();
  auto capture = host_->dictationMicrophone();
  CaptureStart::startOrDiscard(capture.get(), stream);
  const double at = clock_();
  running_ = Running{std::move(capture), std::move(stream)};
  return DictationStarted{DictationFormat::sampleRate, 1, at};
}

void DictationController::finishRunning() {
  Running running = std::move(*running_);
  running_.reset();
  running.capture->stop();
  running.stream->close();
}

DictationStopped DictationController::stop() {
  FifoGate::Pass pass(gate_);
  if (!running_) throw notCapturing;
  finishRunning();
  return DictationStopped{clock_()};
}

void DictationController::shutdown() {
  shut_ = true;
  {
    FifoGate::Pass pass(gate_);
    if (running_) finishRunning();
  }
  // Ends handed over before this still run (and find nothing running); none outlives shutdown.
  endings_.stop();
}

void DictationController::ended(const std::shared_ptr<DictationStream>& stream,
                                MeetingInterruption reason, std::optional<std::string> message) {
  FifoGate::Pass pass(gate_);
  if (!running_ || running_->stream != stream) return;
  finishRunning();
  DictationEnded notice{endReasonFor(reason), std::move(message)};
  output_.write(Frames::notice("dictation.ended", notice.toJson()));
}

}  // namespace halcy
