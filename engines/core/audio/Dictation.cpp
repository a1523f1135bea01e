#include "Dictation.hpp"

#include <cmath>
#include <thread>

#include "Base64.hpp"
#include "DictationProtocol.hpp"

namespace halcy {

std::int16_t PCM16::sample(float x) {
  if (std::isnan(x)) return 0;
  if (x < -1.0f) return -32767;
  // In double, so that halves such as 0.5 x 32767 are exact before rounding.
  return static_cast<std::int16_t>(std::round(static_cast<double>(std::min(x, 1.0f)) * 32767.0));
}

std::vector<std::int16_t> PCM16::samples(std::span<const float> floats) {
  std::vector<std::int16_t> values;
  values.reserve(floats.size());
  for (float x : floats) values.push_back(sample(x));
  return values;
}

std::string PCM16::chunkText(std::span<const float> floats) {
  std::string bytes;
  bytes.reserve(2 * floats.size());
  for (float x : floats) {
    const auto word = static_cast<std::uint16_t>(sample(x));
    bytes.push_back(static_cast<char>(word & 0xFF));
    bytes.push_back(static_cast<char>(word >> 8));
  }
  return base64Encode(bytes);
}

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
const EngineFailure notAllowed(ErrorCode::notPermitted,
                               "Halcy is not allowed to use the microphone.");
const EngineFailure didNotStart(ErrorCode::failed, "The microphone did not start.");
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
  // The interruption arrives on the audio thread; it must never wait for the gate there.
  auto onEnd = [weak](const std::shared_ptr<DictationStream>& stream, MeetingInterruption reason,
                      std::optional<std::string> message) {
    std::thread([weak, stream, reason, message = std::move(message)]() mutable {
      if (auto controller = weak.lock()) controller->ended(stream, reason, std::move(message));
    }).detach();
  };
  return std::make_shared<DictationStream>(clock_, output_, std::move(onEnd));
}

DictationStarted DictationController::start() {
  FifoGate::Pass pass(gate_);
  if (shut_) throw stopping;
  if (running_) throw alreadyCapturing;
  if (host_->microphonePermission() != PermissionState::granted) throw notAllowed;
  auto stream = makeStream();
  auto capture = host_->dictationMicrophone();
  try {
    if (!capture) throw didNotStart;
    capture->start(stream);
  } catch (const EngineFailure&) {
    stream->discard();
    throw;
  } catch (...) {
    stream->discard();
    throw didNotStart;
  }
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
  FifoGate::Pass pass(gate_);
  if (running_) finishRunning();
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
