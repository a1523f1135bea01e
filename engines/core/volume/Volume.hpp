#pragma once
// The volume area: the output volume and its changes. Every operation may throw an
// EngineFailure; `shutdown` never fails.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "Output.hpp"
#include "VolumeProtocol.hpp"

namespace halcy {

class VolumeArea {
 public:
  virtual ~VolumeArea() = default;
  virtual OutputVolume watch(const VolumeWatch& request) = 0;
  virtual void shutdown() = 0;
};

class UnbuiltVolume : public VolumeArea {
 public:
  OutputVolume watch(const VolumeWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

// The platform's output device. The controller calls `startWatching` and `stopWatching` while
// holding its lock, so neither may call `onChange` itself nor wait for a call of it to end.
class VolumeHost {
 public:
  virtual ~VolumeHost() = default;
  // The state of the current default output device, read now.
  virtual OutputVolume current() = 0;
  // From now on calls `onChange` (from any thread) whenever the default device's volume or mute
  // may have changed, or another device became the default; replaces an earlier watch.
  virtual void startWatching(std::function<void()> onChange) = 0;
  virtual void stopWatching() = 0;
};

// Answers "volume.watch" and, while watching, writes "volume.changed" only when the reported
// state really changed.
class VolumeController final : public VolumeArea,
                               public std::enable_shared_from_this<VolumeController> {
 public:
  // Build with std::make_shared: the host's callbacks reach the controller through a weak
  // reference.
  VolumeController(std::unique_ptr<VolumeHost> host, LineOutput& output);

  OutputVolume watch(const VolumeWatch& request) override;
  void shutdown() override;

 private:
  void changed();

  std::unique_ptr<VolumeHost> host_;
  LineOutput& output_;
  std::mutex lock_;
  bool watching_ = false;
  std::optional<OutputVolume> last_;
};

}  // namespace halcy
