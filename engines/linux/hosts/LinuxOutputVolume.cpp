#include "LinuxOutputVolume.hpp"

#include <pthread.h>

#include <utility>

namespace halcy {

LinuxOutputVolume::LinuxOutputVolume(std::shared_ptr<LinuxSound> sound)
    : sound_(std::move(sound)) {}

LinuxOutputVolume::~LinuxOutputVolume() {
  watch_.reset();
  {
    std::lock_guard guard(queue_->mutex);
    queue_->ending = true;
  }
  queue_->wake.notify_all();
  if (!thread_.joinable()) return;
  // The last reference to the controller may drop inside a callback on the queue itself.
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

OutputVolume LinuxOutputVolume::current() {
  const auto levels = sound_->defaultSinkLevels();
  // No server or no default sink reads as a device without volume, not muted.
  if (!levels) return OutputVolume::read(std::nullopt, {}, std::nullopt);
  // The server has no main volume apart from its channels.
  return OutputVolume::read(std::nullopt, levels->channels, levels->muted ? 1u : 0u);
}

void LinuxOutputVolume::startWatching(std::function<void()> onChange) {
  watch_.reset();
  {
    std::lock_guard guard(queue_->mutex);
    queue_->sink = std::move(onChange);
    // The followed device is new to the caller: look once.
    queue_->pending = true;
  }
  queue_->wake.notify_all();
  if (!thread_.joinable()) {
    thread_ = std::thread([queue = queue_] {
      pthread_setname_np(pthread_self(), "halcy-volume");
      queue->run();
    });
  }
  watch_ = sound_->watchSinks([queue = queue_] { queue->signal(); });
}

void LinuxOutputVolume::stopWatching() {
  watch_.reset();
  std::lock_guard guard(queue_->mutex);
  queue_->sink = nullptr;
  queue_->pending = false;
}

void LinuxOutputVolume::Queue::signal() {
  {
    std::lock_guard guard(mutex);
    pending = true;
  }
  wake.notify_all();
}

void LinuxOutputVolume::Queue::run() {
  std::unique_lock lock(mutex);
  for (;;) {
    wake.wait(lock, [this] { return ending || (pending && sink); });
    if (ending) return;
    // Events that arrive while the callback runs collapse into one more call.
    pending = false;
    const auto call = sink;
    lock.unlock();
    call();
    lock.lock();
  }
}

}  // namespace halcy
