#pragma once
// Which application a process is. An application's bundle identifier is its desktop-entry id
// without ".desktop"; a process is resolved, in order, by its window's _GTK_APPLICATION_ID, its
// Flatpak or Snap app id, the desktop entry whose StartupWMClass matches its WM_CLASS, and the
// entry whose Exec binary is the process's executable. Its name is that entry's localized Name; a
// process no entry describes is named as the kernel names it (/proc/<pid>/comm, what ps shows).

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FrontApp.hpp"
#include "LinuxDisplay.hpp"

namespace halcy {

struct LinuxAppEntry {
  std::string id;  // "org.gnome.TextEditor"
  std::string name;
  std::string path;  // the desktop-entry file
};

class LinuxApps {
 public:
  explicit LinuxApps(LinuxDisplay& display);

  // None when no process has that pid.
  std::optional<FrontApp> app(std::int64_t pid);
  // Running processes that are that application, lowest pid first.
  std::vector<std::int64_t> pids(const std::string& bundleId);
  // The desktop entry of a bundle identifier, found through XDG_DATA_DIRS.
  static std::optional<LinuxAppEntry> entry(const std::string& bundleId);

  class Entries;

 private:
  struct Known {
    std::uint64_t startTime = 0;  // tells a reused pid from the process that was cached
    FrontApp app;
  };
  std::optional<FrontApp> resolve(std::int64_t pid, const std::vector<LinuxWindow>& windows,
                                  Entries& entries);

  LinuxDisplay& display_;
  std::mutex lock_;
  std::map<std::int64_t, Known> known_;
};

namespace LinuxAppIdentity {

// "[Application]\nname=org.foo.Bar" of /.flatpak-info inside the sandbox.
std::optional<std::string> flatpakInfoId(std::string_view flatpakInfo);
// The app id in a process's cgroup path: "app-flatpak-org.foo.Bar-1234.scope" is "org.foo.Bar",
// "snap.firefox.firefox-….scope" is the snap's entry id "firefox_firefox".
std::optional<std::string> cgroupAppId(std::string_view cgroup);
// The process's start time (field 22 of /proc/<pid>/stat); none when there is no such process.
std::optional<std::uint64_t> startTime(std::string_view stat);

}  // namespace LinuxAppIdentity

}  // namespace halcy
