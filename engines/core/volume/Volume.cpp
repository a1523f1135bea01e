#include "Volume.hpp"

#include <utility>

namespace halcy {

VolumeController::VolumeController(std::unique_ptr<VolumeHost> host, LineOutput& output)
    : host_(std::move(host)), output_(output) {}

OutputVolume VolumeController::watch(const VolumeWatch& request) {
  const OutputVolume now = host_->current();
  std::lock_guard guard(lock_);
  if (request.watch && !watching_) {
    std::weak_ptr<VolumeController> weak = weak_from_this();
    host_->startWatching([weak] {
      if (auto controller = weak.lock()) controller->changed();
    });
  } else if (!request.watch && watching_) {
    host_->stopWatching();
  }
  watching_ = request.watch;
  last_ = now;
  return now;
}

void VolumeController::changed() {
  const OutputVolume now = host_->current();
  std::lock_guard guard(lock_);
  if (!watching_) return;
  if (last_ && *last_ == now) return;
  last_ = now;
  output_.write(Frames::notice("volume.changed", now.toJson()));
}

void VolumeController::shutdown() {
  std::lock_guard guard(lock_);
  if (watching_) host_->stopWatching();
  watching_ = false;
}

}  // namespace halcy
