#pragma once
// The dictation area on Linux: the core's controller over the shared sound connection.

#include <memory>

#include "Dictation.hpp"
#include "LinuxSound.hpp"

namespace halcy {

class LinuxDictationHost final : public DictationHost {
 public:
  explicit LinuxDictationHost(std::shared_ptr<LinuxSound> sound) : sound_(std::move(sound)) {}
  // No per-application prompt exists: granted while a server with an input source is reachable.
  PermissionState microphonePermission() override;
  std::unique_ptr<MeetingCapture> dictationMicrophone() override;

 private:
  std::shared_ptr<LinuxSound> sound_;
};

std::shared_ptr<DictationArea> makeLinuxDictationArea(LineOutput& output,
                                                      std::shared_ptr<LinuxSound> sound);

}  // namespace halcy
