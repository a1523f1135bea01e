#pragma once
// The one fake sound capture, for the microphone of dictation (a MeetingCapture) and of the
// recorder (a MicCapture): the test scripts what it does and reads what it saw.

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioPorts.hpp"

namespace halcy {

template <class Sink>
struct CaptureScript {
  std::mutex mutex;
  std::condition_variable changed;
  int starts = 0;
  int stops = 0;
  // Capture calls in the order they happened.
  std::vector<std::string> calls;
  // The sink of the last start, kept after a failed start too.
  std::shared_ptr<Sink> sink;
  // Thrown by start, after `duringStart` has run.
  std::exception_ptr failure;
  std::function<void(Sink&)> duringStart;
  std::function<void()> duringStop;
  // A start waits here until released.
  bool holdStart = false;

  void release() {
    std::lock_guard lock(mutex);
    holdStart = false;
    changed.notify_all();
  }
};

template <class Capture, class Sink>
class FakeCapture final : public Capture {
 public:
  explicit FakeCapture(std::shared_ptr<CaptureScript<Sink>> script) : script_(std::move(script)) {}

  void start(std::shared_ptr<Sink> sink) override {
    {
      std::unique_lock lock(script_->mutex);
      ++script_->starts;
      script_->calls.push_back("start");
      script_->sink = sink;
      script_->changed.notify_all();
      script_->changed.wait(lock, [&] { return !script_->holdStart; });
    }
    if (script_->duringStart) script_->duringStart(*sink);
    if (script_->failure) std::rethrow_exception(script_->failure);
  }

  void stop() override {
    if (script_->duringStop) script_->duringStop();
    std::lock_guard lock(script_->mutex);
    ++script_->stops;
    script_->calls.push_back("stop");
  }

 private:
  std::shared_ptr<CaptureScript<Sink>> script_;
};

using MeetingCaptureScript = CaptureScript<MeetingSink>;
using FakeMeetingCapture = FakeCapture<MeetingCapture, MeetingSink>;
using MicCaptureScript = CaptureScript<MicSink>;
using FakeMicCapture = FakeCapture<MicCapture, MicSink>;

}  // namespace halcy
