// Application identity: the parsers of what /proc tells, and resolution against real desktop
// entries in a data folder of the test's own.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "LinuxApps.hpp"

namespace halcy {
namespace {

namespace fs = std::filesystem;

TEST(LinuxAppIdentity, ReadsTheFlatpakInfoName) {
  struct Case {
    const char* info;
    std::optional<std::string> id;
  };
  const Case cases[] = {
      {"[Application]\nname=org.gnome.TextEditor\nruntime=runtime/org.gnome.Platform\n",
       "org.gnome.TextEditor"},
      {"[Instance]\nname=not-this\n[Application]\nname=org.foo.Bar\n", "org.foo.Bar"},
      {"[Runtime]\nname=org.gnome.Platform\n", std::nullopt},
      {"[Application]\nname=\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(LinuxAppIdentity::flatpakInfoId(c.info), c.id) << c.info;
}

TEST(LinuxAppIdentity, ReadsSandboxIdsFromTheCgroup) {
  struct Case {
    const char* cgroup;
    std::optional<std::string> id;
  };
  const Case cases[] = {
      {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
       "app-flatpak-org.gnome.TextEditor-12345.scope\n",
       "org.gnome.TextEditor"},
      {"0::/user.slice/user@1000.service/app.slice/app-flatpak-com.example.My-App-77.scope\n",
       "com.example.My-App"},
      {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
       "snap.firefox.firefox-3f0e7a5e.scope\n",
       "firefox_firefox"},
      {"0::/user.slice/user-1000.slice/session-2.scope\n", std::nullopt},
      {"0::/\n", std::nullopt},
      {"12:pids:/\n0::/system.slice/snapd.service\n", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(LinuxAppIdentity::cgroupAppId(c.cgroup), c.id) << c.cgroup;
}

TEST(LinuxAppIdentity, ReadsTheStartTimeAfterAnOddCommandName) {
  const std::string fields = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 4242 19 20\n";
  EXPECT_EQ(LinuxAppIdentity::startTime("77 (plain)" + fields), 4242U);
  EXPECT_EQ(LinuxAppIdentity::startTime("77 (a) b (c))" + fields), 4242U);
  EXPECT_EQ(LinuxAppIdentity::startTime("77 (short) S 1 2"), std::nullopt);
  EXPECT_EQ(LinuxAppIdentity::startTime(""), std::nullopt);
}

// A data folder holding one desktop entry whose Exec is this very test binary. GIO reads the data
// folders once per process, so they are set before any test runs.
class EntriesFolder : public ::testing::Environment {
 public:
  static fs::path root() {
    return fs::temp_directory_path() / ("halcy-apps-" + std::to_string(getpid()));
  }

  void SetUp() override {
    const fs::path applications = root() / "share" / "applications";
    fs::create_directories(applications);
    fs::create_directories(root() / "home");
    const fs::path self = fs::read_symlink("/proc/self/exe");
    std::ofstream(applications / "org.halcy.ProbeTest.desktop")
        << "[Desktop Entry]\nType=Application\nName=Probe Test\nExec=" << self.string()
        << " --flag %U\nStartupWMClass=ProbeTestClass\n";
    std::ofstream(applications / "org.halcy.Other.desktop")
        << "[Desktop Entry]\nType=Application\nName=Other Thing\nExec=/bin/true\n";
    setenv("XDG_DATA_DIRS", (root() / "share").c_str(), 1);
    setenv("XDG_DATA_HOME", (root() / "home").c_str(), 1);
    // Windows are not what these tests are about.
    unsetenv("DISPLAY");
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(root(), error);
  }
};

const auto* const entriesFolder = ::testing::AddGlobalTestEnvironment(new EntriesFolder);

TEST(LinuxApps, FindsEntriesByBundleId) {
  auto entry = LinuxApps::entry("org.halcy.ProbeTest");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->id, "org.halcy.ProbeTest");
  EXPECT_EQ(entry->name, "Probe Test");
  EXPECT_EQ(fs::path(entry->path).filename(), "org.halcy.ProbeTest.desktop");
  EXPECT_EQ(LinuxApps::entry("org.halcy.Missing"), std::nullopt);
  EXPECT_EQ(LinuxApps::entry(""), std::nullopt);
}

TEST(LinuxApps, ResolvesAProcessByItsExecutable) {
  LinuxDisplay display(std::make_shared<XConnection>());
  LinuxApps apps(display);
  const auto self = apps.app(getpid());
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(*self, (FrontApp{getpid(), "org.halcy.ProbeTest", "Probe Test"}));
  // The second answer comes from the cache and says the same.
  EXPECT_EQ(apps.app(getpid()), self);
  const auto pids = apps.pids("org.halcy.ProbeTest");
  EXPECT_NE(std::find(pids.begin(), pids.end(), getpid()), pids.end());
  EXPECT_TRUE(apps.pids("org.halcy.Other").empty());
  EXPECT_TRUE(apps.pids("").empty());
}

TEST(LinuxApps, NamesProcessesNoEntryDescribesByTheKernelsName) {
  LinuxDisplay display(std::make_shared<XConnection>());
  LinuxApps apps(display);
  // A child that is neither this binary nor any entry's.
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sleep", "sleep", "5", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);
  std::optional<FrontApp> app;
  for (int i = 0; i < 200 && (!app || app->name != "sleep"); ++i) {
    usleep(10'000);
    app = apps.app(child);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(app, (FrontApp{child, std::nullopt, "sleep"}));
  // Once it has ended it is no application at all.
  EXPECT_EQ(apps.app(child), std::nullopt);
}

TEST(LinuxApps, RefusesPidsThatCannotBeProcesses) {
  LinuxDisplay display(std::make_shared<XConnection>());
  LinuxApps apps(display);
  for (const std::int64_t pid : {std::int64_t{0}, std::int64_t{-4}, std::int64_t{1} << 40}) {
    EXPECT_EQ(apps.app(pid), std::nullopt) << pid;
  }
}

}  // namespace
}  // namespace halcy
