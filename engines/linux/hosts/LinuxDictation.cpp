#include "LinuxDictation.hpp"

#include "LinuxMicrophone.hpp"

namespace halcy {

PermissionState LinuxDictationHost::microphonePermission() {
  return sound_->serverReachable() ? PermissionState::granted : PermissionState::denied;
}

std::unique_ptr<MeetingCapture> LinuxDictationHost::dictationMicrophone() {
  return std::make_unique<LinuxMeetingMicrophone>(sound_);
}

std::shared_ptr<DictationArea> makeLinuxDictationArea(LineOutput& output,
                                                      std::shared_ptr<LinuxSound> sound) {
  return std::make_shared<DictationController>(
      std::make_unique<LinuxDictationHost>(std::move(sound)), output, uptimeSeconds);
}

}  // namespace halcy
