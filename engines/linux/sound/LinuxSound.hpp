#pragma once
// The one connection to the sound server (PulseAudio's protocol, also served by PipeWire), shared
// by every capture: a threaded main loop, a context made on first use and made again after the
// server was lost, and record streams on the default input source.

#include <pulse/pulseaudio.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace halcy {

class LinuxSound;

// One record stream of mono float samples at 16 000 Hz from the source that was the default when it
// opened. Both callbacks run on the sound thread; `onBroken` may come more than once.
class SourceRecording {
 public:
  struct Handlers {
    std::function<void(const std::vector<float>& samples)> onSamples;
    // The source changed, went away, or the server was lost.
    std::function<void()> onBroken;
  };

  ~SourceRecording();
  SourceRecording(const SourceRecording&) = delete;
  SourceRecording& operator=(const SourceRecording&) = delete;

  // After it returns no handler runs any more. Idempotent.
  void stop();

 private:
  friend class LinuxSound;
  SourceRecording(std::shared_ptr<LinuxSound> sound, Handlers handlers);

  static void onRead(pa_stream* stream, std::size_t bytes, void* self);
  static void onState(pa_stream* stream, void* self);
  void readAvailable();
  void broken();

  std::shared_ptr<LinuxSound> sound_;
  Handlers handlers_;
  pa_stream* stream_ = nullptr;
  std::string sourceName_;
  std::uint32_t sourceIndex_ = 0;
  bool stopped_ = false;
  bool ready_ = false;
  std::vector<float> block_;
};

// The default sink's levels as the server reports them.
struct SinkLevels {
  // Each channel's volume relative to 100 % (what pactl prints as a percentage, over 100).
  std::vector<float> channels;
  bool muted = false;
};

// Calls its callback on the sound thread, with the loop locked, whenever the default sink or its
// volume or mute may have changed, or the server was lost or found again. The callback must not
// call into LinuxSound.
class SinkWatch {
 public:
  ~SinkWatch();
  SinkWatch(const SinkWatch&) = delete;
  SinkWatch& operator=(const SinkWatch&) = delete;

 private:
  friend class LinuxSound;
  SinkWatch(std::shared_ptr<LinuxSound> sound, std::function<void()> onChange);

  std::shared_ptr<LinuxSound> sound_;
  std::function<void()> onChange_;
};

class LinuxSound : public std::enable_shared_from_this<LinuxSound> {
 public:
  static constexpr std::uint32_t sampleRate = 16000;

  LinuxSound();
  ~LinuxSound();
  LinuxSound(const LinuxSound&) = delete;
  LinuxSound& operator=(const LinuxSound&) = delete;

  // X11 has no privacy gate on sound: the engine may use the microphone whenever a sound server
  // answers; whether an input is there is the capture's own question.
  bool serverReachable();

  // Opens a record stream on the default source, delivering about every `fragmentSeconds`.
  // Throws EngineFailure: unavailable "No microphone is connected." when there is no server or no
  // input source; failed "The microphone did not start: ..." when the stream does not open.
  std::unique_ptr<SourceRecording> record(double fragmentSeconds,
                                          SourceRecording::Handlers handlers);

  // Nothing when there is no server or no default sink.
  std::optional<SinkLevels> defaultSinkLevels();
  // While a sink watch lives, a lost server is looked for again every few seconds.
  std::unique_ptr<SinkWatch> watchSinks(std::function<void()> onChange);

 private:
  friend class SourceRecording;
  friend class SinkWatch;
  struct Source {
    std::string name;
    std::uint32_t index = 0;
  };
  class Lock;

  // Both run with the loop locked.
  bool connectedLocked();
  bool startConnectingLocked();
  std::optional<Source> defaultInputLocked();
  void forget(SourceRecording* recording);
  void waitLocked(const std::function<bool()>& done, double seconds);
  bool loopRunning();
  void dropContextLocked();

  static void onContextState(pa_context* context, void* self);
  static void onServerEvent(pa_context* context, pa_subscription_event_type_t event,
                            std::uint32_t index, void* self);
  void defaultSourceMayHaveChanged();
  void serverLost();
  void sinksMayHaveChanged();
  void retryConnectingLater();

  std::once_flag loopStarted_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  // Live recordings, touched only with the loop locked.
  std::vector<SourceRecording*> recordings_;
  std::vector<SinkWatch*> sinkWatches_;
  pa_time_event* retry_ = nullptr;
  // The context reached READY since it was made.
  bool contextReady_ = false;
};

}  // namespace halcy
