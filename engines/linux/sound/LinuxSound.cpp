#include "LinuxSound.hpp"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

#include "Output.hpp"

namespace halcy {

namespace {

constexpr double connectSeconds = 2.0;
constexpr double querySeconds = 2.0;
constexpr double streamOpenSeconds = 3.0;
constexpr double reconnectSeconds = 2.0;

const EngineFailure noMicrophone(ErrorCode::unavailable, "No microphone is connected.");

EngineFailure didNotStart(const char* reason) {
  return EngineFailure(ErrorCode::failed, std::string("The microphone did not start: ") + reason);
}

}  // namespace

class LinuxSound::Lock {
 public:
  explicit Lock(LinuxSound& sound) : loop_(sound.loop_) { pa_threaded_mainloop_lock(loop_); }
  ~Lock() { pa_threaded_mainloop_unlock(loop_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

LinuxSound::LinuxSound() = default;

LinuxSound::~LinuxSound() {
  if (loop_ == nullptr) return;
  {
    Lock lock(*this);
    if (retry_ != nullptr) pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
    retry_ = nullptr;
    dropContextLocked();
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

bool LinuxSound::loopRunning() {
  // The sound thread starts with the first capture, not with the engine.
  std::call_once(loopStarted_, [this] {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (loop == nullptr) return;
    if (pa_threaded_mainloop_start(loop) < 0) {
      pa_threaded_mainloop_free(loop);
      return;
    }
    loop_ = loop;
  });
  return loop_ != nullptr;
}

void LinuxSound::waitLocked(const std::function<bool()>& done, double seconds) {
  struct Timer {
    pa_threaded_mainloop* loop;
    bool expired = false;
  } timer{loop_};
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  timeval when{};
  pa_gettimeofday(&when);
  pa_timeval_add(&when, static_cast<pa_usec_t>(seconds * PA_USEC_PER_SEC));
  pa_time_event* event = api->time_new(
      api, &when,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
        auto* expiring = static_cast<Timer*>(data);
        expiring->expired = true;
        pa_threaded_mainloop_signal(expiring->loop, 0);
      },
      &timer);
  while (!done() && !timer.expired) pa_threaded_mainloop_wait(loop_);
  api->time_free(event);
}

void LinuxSound::dropContextLocked() {
  if (context_ == nullptr) return;
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_set_subscribe_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
  contextReady_ = false;
}

void LinuxSound::onContextState(pa_context* context, void* self) {
  auto* sound = static_cast<LinuxSound*>(self);
  const pa_context_state_t state = pa_context_get_state(context);
  if (context == sound->context_ && state == PA_CONTEXT_READY) {
    // Subscribed here rather than by the waiting caller, so a connection made again in the
    // background by a sink watch is subscribed too.
    pa_context_set_subscribe_callback(context, onServerEvent, sound);
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK);
    if (pa_operation* operation = pa_context_subscribe(context, mask, nullptr, nullptr)) {
      pa_operation_unref(operation);
    }
    sound->contextReady_ = true;
    sound->sinksMayHaveChanged();
  }
  if (context == sound->context_ && !PA_CONTEXT_IS_GOOD(state)) sound->serverLost();
  pa_threaded_mainloop_signal(sound->loop_, 0);
}

bool LinuxSound::startConnectingLocked() {
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "halcy-engine");
  if (context_ == nullptr) return false;
  pa_context_set_state_callback(context_, onContextState, this);
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    dropContextLocked();
    return false;
  }
  return true;
}

bool LinuxSound::connectedLocked() {
  if (context_ != nullptr && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
    // The server went away; a new connection finds it again if it came back.
    dropContextLocked();
  }
  if (context_ == nullptr && !startConnectingLocked()) return false;
  // A connection may already be on its way (started by a sink watch): wait for it either way.
  // Another caller waiting meanwhile may have given up and dropped it.
  waitLocked(
      [this] {
        if (context_ == nullptr) return true;
        const auto state = pa_context_get_state(context_);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
      },
      connectSeconds);
  if (context_ == nullptr) return false;
  if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
    dropContextLocked();
    return false;
  }
  return true;
}

namespace {

struct Query {
  pa_threaded_mainloop* loop = nullptr;
  std::optional<std::string> defaultSource;
  bool sourceFound = false;
  bool sourceIsMonitor = false;
  std::uint32_t sourceIndex = 0;
};

// Waits for an operation, cancelling it on timeout so its callback never sees a dead query.
template <class Wait>
void finish(pa_operation* operation, Wait&& wait) {
  if (operation == nullptr) return;
  wait([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
  if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
  pa_operation_unref(operation);
}

}  // namespace

std::optional<LinuxSound::Source> LinuxSound::defaultInputLocked() {
  Query query;
  query.loop = loop_;
  auto wait = [this](const std::function<bool()>& done) { waitLocked(done, querySeconds); };
  finish(pa_context_get_server_info(
             context_,
             [](pa_context*, const pa_server_info* info, void* data) {
               auto* asked = static_cast<Query*>(data);
               if (info != nullptr && info->default_source_name != nullptr) {
                 asked->defaultSource = info->default_source_name;
               }
               pa_threaded_mainloop_signal(asked->loop, 0);
             },
             &query),
         wait);
  // Waiting lets other callers in: one that found the server gone has dropped the connection.
  if (context_ == nullptr || !query.defaultSource || query.defaultSource->empty()) {
    return std::nullopt;
  }
  finish(pa_context_get_source_info_by_name(
             context_, query.defaultSource->c_str(),
             [](pa_context*, const pa_source_info* info, int eol, void* data) {
               auto* asked = static_cast<Query*>(data);
               if (eol == 0 && info != nullptr) {
                 asked->sourceFound = true;
                 asked->sourceIndex = info->index;
                 // A sink's monitor is the sound going out, never a microphone.
                 asked->sourceIsMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
               }
               pa_threaded_mainloop_signal(asked->loop, 0);
             },
             &query),
         wait);
  if (context_ == nullptr || !query.sourceFound || query.sourceIsMonitor) return std::nullopt;
  return Source{*query.defaultSource, query.sourceIndex};
}

bool LinuxSound::serverReachable() {
  if (!loopRunning()) return false;
  Lock lock(*this);
  return connectedLocked();
}

std::unique_ptr<SourceRecording> LinuxSound::record(double fragmentSeconds,
                                                    SourceRecording::Handlers handlers) {
  if (!loopRunning()) throw noMicrophone;
  Lock lock(*this);
  if (!connectedLocked()) throw noMicrophone;
  const auto source = defaultInputLocked();
  if (!source) throw noMicrophone;

  std::unique_ptr<SourceRecording> recording(
      new SourceRecording(shared_from_this(), std::move(handlers)));
  recording->sourceName_ = source->name;
  recording->sourceIndex_ = source->index;
  const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, sampleRate, 1};
  recording->stream_ = pa_stream_new(context_, "microphone", &sampleFormat, nullptr);
  if (recording->stream_ == nullptr) throw didNotStart(pa_strerror(pa_context_errno(context_)));
  pa_stream_set_state_callback(recording->stream_, SourceRecording::onState, recording.get());
  pa_stream_set_read_callback(recording->stream_, SourceRecording::onRead, recording.get());
  recordings_.push_back(recording.get());

  // Without a fragment size the server delivers in blocks of about two seconds.
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(-1);
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(fragmentSeconds * sampleRate) * sizeof(float);
  // Kept on its source: a stream moved elsewhere would record a microphone nobody chose.
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(recording->stream_, source->name.c_str(), &attributes, flags) < 0) {
    throw didNotStart(pa_strerror(pa_context_errno(context_)));
  }
  pa_stream* stream = recording->stream_;
  waitLocked([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
             streamOpenSeconds);
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if (state == PA_STREAM_CREATING) throw didNotStart(pa_strerror(PA_ERR_TIMEOUT));
  if (state != PA_STREAM_READY) throw didNotStart(pa_strerror(pa_context_errno(context_)));
  recording->ready_ = true;
  // A change of the default while the stream opened was not reported to it; look once more.
  const auto current = defaultInputLocked();
  if (!current || current->name != source->name) recording->broken();
  return recording;
}

void LinuxSound::forget(SourceRecording* recording) {
  recordings_.erase(std::remove(recordings_.begin(), recordings_.end(), recording),
                    recordings_.end());
}

void LinuxSound::serverLost() {
  for (SourceRecording* recording : recordings_) recording->broken();
  // Only a connection that was up is news to a sink watch: a failed attempt changes nothing, and
  // reporting it would make the watch ask again at once, in a loop.
  if (contextReady_) sinksMayHaveChanged();
  contextReady_ = false;
  retryConnectingLater();
}

void LinuxSound::sinksMayHaveChanged() {
  for (SinkWatch* watch : sinkWatches_) watch->onChange_();
}

void LinuxSound::retryConnectingLater() {
  if (sinkWatches_.empty() || retry_ != nullptr) return;
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  timeval when{};
  pa_gettimeofday(&when);
  pa_timeval_add(&when, static_cast<pa_usec_t>(reconnectSeconds * PA_USEC_PER_SEC));
  retry_ = api->time_new(
      api, &when,
      [](pa_mainloop_api* loopApi, pa_time_event* event, const timeval*, void* self) {
        auto* sound = static_cast<LinuxSound*>(self);
        loopApi->time_free(event);
        sound->retry_ = nullptr;
        if (sound->sinkWatches_.empty()) return;
        if (sound->context_ != nullptr &&
            PA_CONTEXT_IS_GOOD(pa_context_get_state(sound->context_))) {
          return;
        }
        // Without waiting: this runs on the sound thread. A failed attempt reports the loss
        // again through the state callback, which schedules the next one.
        sound->dropContextLocked();
        if (!sound->startConnectingLocked()) sound->retryConnectingLater();
      },
      this);
}

namespace {

struct SinkQuery {
  pa_threaded_mainloop* loop = nullptr;
  std::optional<SinkLevels> levels;
};

}  // namespace

std::optional<SinkLevels> LinuxSound::defaultSinkLevels() {
  if (!loopRunning()) return std::nullopt;
  Lock lock(*this);
  if (!connectedLocked()) return std::nullopt;
  SinkQuery query;
  query.loop = loop_;
  // The server resolves the default's name itself: one round trip instead of two.
  finish(pa_context_get_sink_info_by_name(
             context_, "@DEFAULT_SINK@",
             [](pa_context*, const pa_sink_info* info, int eol, void* data) {
               auto* asked = static_cast<SinkQuery*>(data);
               if (eol == 0 && info != nullptr) {
                 SinkLevels levels;
                 for (std::uint8_t channel = 0; channel < info->volume.channels; ++channel) {
                   levels.channels.push_back(static_cast<float>(info->volume.values[channel]) /
                                             static_cast<float>(PA_VOLUME_NORM));
                 }
                 levels.muted = info->mute != 0;
                 asked->levels = std::move(levels);
               }
               pa_threaded_mainloop_signal(asked->loop, 0);
             },
             &query),
         [this](const std::function<bool()>& done) { waitLocked(done, querySeconds); });
  return query.levels;
}

std::unique_ptr<SinkWatch> LinuxSound::watchSinks(std::function<void()> onChange) {
  std::unique_ptr<SinkWatch> watch(new SinkWatch(shared_from_this(), std::move(onChange)));
  if (!loopRunning()) return watch;
  Lock lock(*this);
  sinkWatches_.push_back(watch.get());
  // Events flow only over a live connection; without a server, keep looking for one.
  if (!connectedLocked()) retryConnectingLater();
  return watch;
}

SinkWatch::SinkWatch(std::shared_ptr<LinuxSound> sound, std::function<void()> onChange)
    : sound_(std::move(sound)), onChange_(std::move(onChange)) {}

SinkWatch::~SinkWatch() {
  if (sound_->loop_ == nullptr) return;
  LinuxSound::Lock lock(*sound_);
  auto& watches = sound_->sinkWatches_;
  watches.erase(std::remove(watches.begin(), watches.end(), this), watches.end());
}

void LinuxSound::onServerEvent(pa_context* context, pa_subscription_event_type_t event,
                               std::uint32_t index, void* self) {
  auto* sound = static_cast<LinuxSound*>(self);
  const int facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const int type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && type == PA_SUBSCRIPTION_EVENT_REMOVE) {
    for (SourceRecording* recording : sound->recordings_) {
      if (recording->sourceIndex_ == index) recording->broken();
    }
  }
  if (facility == PA_SUBSCRIPTION_EVENT_SERVER && context == sound->context_) {
    sound->defaultSourceMayHaveChanged();
  }
  // A new default sink arrives as a server change.
  if ((facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SERVER) &&
      context == sound->context_) {
    sound->sinksMayHaveChanged();
  }
}

void LinuxSound::defaultSourceMayHaveChanged() {
  pa_operation* operation = pa_context_get_server_info(
      context_,
      [](pa_context*, const pa_server_info* info, void* self) {
        if (info == nullptr || info->default_source_name == nullptr) return;
        const std::string current = info->default_source_name;
        for (SourceRecording* recording : static_cast<LinuxSound*>(self)->recordings_) {
          if (recording->sourceName_ != current) recording->broken();
        }
      },
      this);
  if (operation != nullptr) pa_operation_unref(operation);
}

SourceRecording::SourceRecording(std::shared_ptr<LinuxSound> sound, Handlers handlers)
    : sound_(std::move(sound)), handlers_(std::move(handlers)) {}

SourceRecording::~SourceRecording() {
  stop();
}

void SourceRecording::stop() {
  LinuxSound::Lock lock(*sound_);
  if (stopped_) return;
  stopped_ = true;
  sound_->forget(this);
  if (stream_ == nullptr) return;
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void SourceRecording::broken() {
  if (ready_ && !stopped_ && handlers_.onBroken) handlers_.onBroken();
}

void SourceRecording::onState(pa_stream* stream, void* self) {
  auto* recording = static_cast<SourceRecording*>(self);
  // A stream kept on its source fails when that source is removed or the server goes.
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) recording->broken();
  pa_threaded_mainloop_signal(recording->sound_->loop_, 0);
}

void SourceRecording::onRead(pa_stream*, std::size_t, void* self) {
  static_cast<SourceRecording*>(self)->readAvailable();
}

void SourceRecording::readAvailable() {
  while (pa_stream_readable_size(stream_) > 0) {
    const void* data = nullptr;
    std::size_t bytes = 0;
    if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) break;
    // A hole (no data) carries nothing to deliver.
    if (data != nullptr) {
      const std::size_t count = bytes / sizeof(float);
      const std::size_t at = block_.size();
      block_.resize(at + count);
      std::memcpy(block_.data() + at, data, count * sizeof(float));
    }
    pa_stream_drop(stream_);
  }
  if (block_.empty() || !handlers_.onSamples) return;
  handlers_.onSamples(block_);
  block_.clear();
}

}  // namespace halcy
