#pragma once
// The engine host on a Linux X11 desktop: who the engine is, and whether the display, the
// accessibility bus and the sound server are there to be used.

#include <memory>

#include "Calendar.hpp"
#include "LinuxCalendar.hpp"
#include "LinuxSound.hpp"
#include "Protocol.hpp"
#include "XConnection.hpp"

namespace halcy {

class LinuxHost final : public EngineHost {
 public:
  // Captures share the one sound-server connection; the display is the adapter's one connection.
  LinuxHost(std::shared_ptr<LinuxSound> sound, std::shared_ptr<XConnection> display);
  Hello hello() override;
  PermissionsStatus permissions() override;
  PermissionState request(Permission permission) override;
  std::unique_ptr<MicCapture> microphone() override;
  std::unique_ptr<MeetingCapture> meetingMicrophone() override;
  std::unique_ptr<MeetingCapture> systemAudio(const std::vector<std::int64_t>& excluding) override;
  PermissionState calendarAccess() override;
  PermissionState requestCalendarAccess() override;
  std::vector<std::int64_t> runningApps(const std::string& bundleId) override;
  std::vector<std::string> windowTitles(std::int64_t pid) override;

  // Asks running applications to expose their accessibility trees for this session.
  static void switchAccessibilityOn();

 private:
  std::shared_ptr<LinuxSound> sound_;
  std::shared_ptr<XConnection> display_;
  // Answers the calendar's permission; the calendar area reads the events through its own.
  LinuxCalendar calendar_;
};

// "Debian GNU/Linux 12 (bookworm); kernel 6.1.0-18-amd64".
std::string linuxVersionText();

// The user's home folder: $HOME when it is an absolute path, else the password database's.
std::string userHomeFolder();
// Where the user's applications keep their data: $XDG_DATA_HOME, else ~/.local/share.
std::string userDataFolder();

}  // namespace halcy
