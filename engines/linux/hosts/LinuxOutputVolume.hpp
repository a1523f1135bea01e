#pragma once
// The output volume through the sound server: the default sink's volume and mute, and a watch on
// sink and server changes that calls back from its own thread ("halcy-engine.volume").

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "LinuxSound.hpp"
#include "Volume.hpp"

namespace halcy {

class LinuxOutputVolume final : public VolumeHost {
 public:
  explicit LinuxOutputVolume(std::shared_ptr<LinuxSound> sound);
  ~LinuxOutputVolume() override;
  LinuxOutputVolume(const LinuxOutputVolume&) = delete;
  LinuxOutputVolume& operator=(const LinuxOutputVolume&) = delete;

  OutputVolume current() override;
  void startWatching(std::function<void()> onChange) override;
  void stopWatching() override;

 private:
  // Sound-server events arrive with the sound loop locked, where reading the volume again would
  // wait on that very loop; the queue thread does the calling back instead. The queue's state is
  // shared with its thread, which may outlive the host when the host is dropped from a callback.
  struct Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::function<void()> sink;
    bool pending = false;
    bool ending = false;

    void signal();
    void run();
  };

  std::shared_ptr<LinuxSound> sound_;
  std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
  // Touched only by `startWatching`, `stopWatching` and the destructor, which the controller
  // never runs at once.
  std::unique_ptr<SinkWatch> watch_;
  std::thread thread_;
};

}  // namespace halcy
