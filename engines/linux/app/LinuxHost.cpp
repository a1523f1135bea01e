#include "LinuxHost.hpp"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

#include <fstream>
#include <vector>

#include "Areas.hpp"
#include "LinuxMicrophone.hpp"
#include "LinuxPermissions.hpp"

namespace halcy {

namespace {

PermissionState grantedIf(bool usable) {
  return usable ? PermissionState::granted : PermissionState::denied;
}

std::string osReleaseName() {
  std::ifstream release("/etc/os-release");
  std::string line;
  while (std::getline(release, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string name = line.substr(12);
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'')) {
      name = name.substr(1, name.size() - 2);
    }
    return name;
  }
  return "Linux";
}

}  // namespace

std::string userHomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

std::string userDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return data;
  return userHomeFolder() + "/.local/share";
}

LinuxHost::LinuxHost(std::shared_ptr<LinuxSound> sound, std::shared_ptr<XConnection> display)
    : sound_(std::move(sound)),
      display_(std::move(display)),
      calendar_(userHomeFolder(), userDataFolder()) {}

std::string linuxVersionText() {
  utsname system{};
  if (uname(&system) != 0) return osReleaseName();
  return osReleaseName() + "; kernel " + system.release;
}

Hello LinuxHost::hello() {
  return Hello{EngineProtocol::version,
               "halcy-engine-linux",
               "0.0.1",
               "linux",
               linuxVersionText(),
               static_cast<std::int64_t>(getpid())};
}

PermissionsStatus LinuxHost::permissions() {
  return PermissionsStatus{grantedIf(LinuxPermissions::accessibilityUsable()),
                           grantedIf(LinuxPermissions::displayReachable(*display_)),
                           grantedIf(sound_->serverReachable())};
}

PermissionState LinuxHost::request(Permission permission) {
  switch (permission) {
    case Permission::accessibility:
      switchAccessibilityOn();
      return grantedIf(LinuxPermissions::accessibilityUsable());
    case Permission::screenRecording:
      return grantedIf(LinuxPermissions::displayReachable(*display_));
    case Permission::microphone:
      return grantedIf(sound_->serverReachable());
  }
  return PermissionState::undetermined;
}

void LinuxHost::switchAccessibilityOn() {
  LinuxPermissions::setAccessibilityEnabled();
}

std::unique_ptr<MicCapture> LinuxHost::microphone() {
  return std::make_unique<LinuxMicrophone>(sound_);
}
std::unique_ptr<MeetingCapture> LinuxHost::meetingMicrophone() {
  return std::make_unique<LinuxMeetingMicrophone>(sound_);
}
std::unique_ptr<MeetingCapture> LinuxHost::systemAudio(const std::vector<std::int64_t>&) {
  return nullptr;
}

PermissionState LinuxHost::calendarAccess() {
  return calendar_.calendarAccess();
}
PermissionState LinuxHost::requestCalendarAccess() {
  return calendar_.requestCalendarAccess();
}
std::vector<std::int64_t> LinuxHost::runningApps(const std::string&) {
  return {};
}
std::vector<std::string> LinuxHost::windowTitles(std::int64_t) {
  return {};
}

}  // namespace halcy
