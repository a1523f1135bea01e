#include "LinuxApps.hpp"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "GLibHandles.hpp"

namespace halcy {

namespace fs = std::filesystem;

namespace LinuxAppIdentity {

std::optional<std::string> flatpakInfoId(std::string_view info) {
  bool inApplication = false;
  std::istringstream lines{std::string(info)};
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.front() == '[') {
      inApplication = line == "[Application]";
    } else if (inApplication && line.rfind("name=", 0) == 0 && line.size() > 5) {
      return line.substr(5);
    }
  }
  return std::nullopt;
}

namespace {

std::optional<std::string> flatpakScope(std::string_view unit) {
  constexpr std::string_view prefix = "app-flatpak-";
  if (unit.rfind(prefix, 0) != 0) return std::nullopt;
  std::string_view rest = unit.substr(prefix.size());
  // "<id>-<instance>.scope": the id itself holds dots and may hold dashes, the instance does not.
  const std::size_t dash = rest.rfind('-');
  if (dash == std::string_view::npos || dash == 0) return std::nullopt;
  return std::string(rest.substr(0, dash));
}

std::optional<std::string> snapScope(std::string_view unit) {
  constexpr std::string_view prefix = "snap.";
  if (unit.rfind(prefix, 0) != 0) return std::nullopt;
  std::string_view rest = unit.substr(prefix.size());
  const std::size_t dot = rest.find('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  const std::string_view snap = rest.substr(0, dot);
  std::string_view app = rest.substr(dot + 1);
  app = app.substr(0, std::min(app.find('-'), app.find('.')));
  if (app.empty()) return std::nullopt;
  // Snap installs its entries as "<snap>_<app>.desktop".
  return std::string(snap) + "_" + std::string(app);
}

}  // namespace

std::optional<std::string> cgroupAppId(std::string_view cgroup) {
  std::istringstream lines{std::string(cgroup)};
  for (std::string line; std::getline(lines, line);) {
    std::string_view path(line);
    for (std::size_t start = 0; start < path.size();) {
      const std::size_t end = std::min(path.find('/', start), path.size());
      const std::string_view unit = path.substr(start, end - start);
      if (auto id = flatpakScope(unit)) return id;
      if (auto id = snapScope(unit)) return id;
      start = end + 1;
    }
  }
  return std::nullopt;
}

std::optional<std::uint64_t> startTime(std::string_view stat) {
  // The command name in parentheses may hold spaces and parentheses: count from the last ')'.
  const std::size_t close = stat.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::istringstream fields{std::string(stat.substr(close + 1))};
  std::string field;
  // Fields 3 to 21 come before the start time.
  for (int i = 3; i <= 21; ++i) {
    if (!(fields >> field)) return std::nullopt;
  }
  std::uint64_t start = 0;
  if (!(fields >> start)) return std::nullopt;
  return start;
}

}  // namespace LinuxAppIdentity

namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfo = std::unique_ptr<GDesktopAppInfo, ObjectUnref>;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path procPath(std::int64_t pid) {
  return fs::path("/proc") / std::to_string(pid);
}

std::string withoutSuffix(std::string id) {
  constexpr std::string_view suffix = ".desktop";
  if (id.size() > suffix.size() &&
      id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0) {
    id.resize(id.size() - suffix.size());
  }
  return id;
}

LinuxAppEntry entryOf(GDesktopAppInfo* info) {
  const char* id = g_app_info_get_id(G_APP_INFO(info));
  const char* name = g_app_info_get_name(G_APP_INFO(info));
  const char* file = g_desktop_app_info_get_filename(info);
  return LinuxAppEntry{withoutSuffix(id != nullptr ? id : ""), name != nullptr ? name : "",
                       file != nullptr ? file : ""};
}

fs::path resolvedPath(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  return error ? fs::path() : resolved;
}

// The binary an entry's Exec starts, as a canonical path; empty when it cannot be found.
fs::path entryBinary(GDesktopAppInfo* info) {
  const char* executable = g_app_info_get_executable(G_APP_INFO(info));
  if (executable == nullptr || executable[0] == '\0') return {};
  OwnedText found(g_find_program_in_path(executable));
  return found ? resolvedPath(found.get()) : fs::path();
}

// The process's executable and, for a script started through its interpreter line, the script.
std::vector<fs::path> processBinaries(std::int64_t pid) {
  std::vector<fs::path> binaries;
  if (fs::path exe = resolvedPath(procPath(pid) / "exe"); !exe.empty()) binaries.push_back(exe);
  const std::string cmdline = readFile(procPath(pid) / "cmdline");
  const std::size_t first = cmdline.find('\0');
  if (first != std::string::npos && first + 1 < cmdline.size()) {
    const std::string second = cmdline.substr(first + 1, cmdline.find('\0', first + 1) - first - 1);
    if (fs::path script = resolvedPath(second); !script.empty() && !binaries.empty() &&
                                                script.is_absolute() &&
                                                fs::is_regular_file(script)) {
      binaries.push_back(script);
    }
  }
  return binaries;
}

}  // namespace

// Every installed desktop entry as GIO lists them (XDG_DATA_DIRS order), with the binary each
// starts. Read on first need, once per resolution round.
class LinuxApps::Entries {
 public:
  const std::vector<AppInfo>& infos() {
    load();
    return infos_;
  }
  const std::vector<fs::path>& binaries() {
    load();
    return binaries_;
  }

 private:
  void load() {
    if (loaded_) return;
    loaded_ = true;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item != nullptr; item = item->next) {
      if (!G_IS_DESKTOP_APP_INFO(item->data)) continue;
      infos_.emplace_back(G_DESKTOP_APP_INFO(g_object_ref(item->data)));
      binaries_.push_back(entryBinary(infos_.back().get()));
    }
    g_list_free_full(all, g_object_unref);
  }
  bool loaded_ = false;
  std::vector<AppInfo> infos_;
  std::vector<fs::path> binaries_;
};

namespace {

std::optional<LinuxAppEntry> byWindowClass(LinuxApps::Entries& entries,
                                           const std::vector<const LinuxWindow*>& windows) {
  for (const LinuxWindow* window : windows) {
    for (const std::string* wanted : {&window->wmClass, &window->wmInstance}) {
      if (wanted->empty()) continue;
      for (const AppInfo& info : entries.infos()) {
        const char* wmClass = g_desktop_app_info_get_startup_wm_class(info.get());
        if (wmClass != nullptr && *wanted == wmClass) return entryOf(info.get());
      }
    }
  }
  return std::nullopt;
}

std::optional<LinuxAppEntry> byBinary(LinuxApps::Entries& entries, std::int64_t pid) {
  const std::vector<fs::path> binaries = processBinaries(pid);
  if (binaries.empty()) return std::nullopt;
  for (std::size_t i = 0; i < entries.infos().size(); ++i) {
    const fs::path& binary = entries.binaries()[i];
    if (!binary.empty() && std::find(binaries.begin(), binaries.end(), binary) != binaries.end()) {
      return entryOf(entries.infos()[i].get());
    }
  }
  return std::nullopt;
}

std::optional<std::string> sandboxAppId(std::int64_t pid) {
  if (auto id =
          LinuxAppIdentity::flatpakInfoId(readFile(procPath(pid) / "root" / ".flatpak-info"))) {
    return id;
  }
  return LinuxAppIdentity::cgroupAppId(readFile(procPath(pid) / "cgroup"));
}

std::string processName(std::int64_t pid) {
  std::string name = readFile(procPath(pid) / "comm");
  while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
  return name;
}

std::optional<std::uint64_t> processStart(std::int64_t pid) {
  return LinuxAppIdentity::startTime(readFile(procPath(pid) / "stat"));
}

FrontApp named(std::int64_t pid, std::optional<std::string> bundleId) {
  FrontApp app{pid, std::move(bundleId), std::nullopt};
  if (app.bundleId) {
    if (auto found = LinuxApps::entry(*app.bundleId)) app.name = found->name;
  }
  if (!app.name) {
    std::string name = processName(pid);
    if (!name.empty()) app.name = std::move(name);
  }
  return app;
}

}  // namespace

std::optional<LinuxAppEntry> LinuxApps::entry(const std::string& bundleId) {
  if (bundleId.empty()) return std::nullopt;
  AppInfo info(g_desktop_app_info_new((bundleId + ".desktop").c_str()));
  if (!info) return std::nullopt;
  return entryOf(info.get());
}

LinuxApps::LinuxApps(LinuxDisplay& display) : display_(display) {}

std::optional<FrontApp> LinuxApps::resolve(std::int64_t pid,
                                           const std::vector<LinuxWindow>& windows,
                                           Entries& entries) {
  std::vector<const LinuxWindow*> own;
  for (const LinuxWindow& window : windows) {
    if (window.pid == pid) own.push_back(&window);
  }
  for (const LinuxWindow* window : own) {
    if (window->gtkApplicationId && !window->gtkApplicationId->empty()) {
      return named(pid, *window->gtkApplicationId);
    }
  }
  if (auto id = sandboxAppId(pid)) return named(pid, *id);
  if (auto found = byWindowClass(entries, own)) return FrontApp{pid, found->id, found->name};
  if (auto found = byBinary(entries, pid)) return FrontApp{pid, found->id, found->name};
  return named(pid, std::nullopt);
}

std::optional<FrontApp> LinuxApps::app(std::int64_t pid) {
  if (pid <= 0 || pid > 0x7fffffff) return std::nullopt;
  const auto start = processStart(pid);
  if (!start) {
    std::lock_guard guard(lock_);
    known_.erase(pid);
    return std::nullopt;
  }
  {
    std::lock_guard guard(lock_);
    if (auto found = known_.find(pid); found != known_.end() && found->second.startTime == *start) {
      return found->second.app;
    }
  }
  Entries entries;
  std::optional<FrontApp> app = resolve(pid, display_.windows(), entries);
  // Only a found identity is kept: a process without one may still open the window that tells.
  if (app && app->bundleId) {
    std::lock_guard guard(lock_);
    known_[pid] = Known{*start, *app};
  }
  return app;
}

std::vector<std::int64_t> LinuxApps::pids(const std::string& bundleId) {
  std::vector<std::int64_t> result;
  if (bundleId.empty()) return result;
  {
    // Forget processes that ended, so the table only holds the living.
    std::lock_guard guard(lock_);
    std::erase_if(
        known_, [](const auto& item) { return processStart(item.first) != item.second.startTime; });
  }
  const std::vector<LinuxWindow> windows = display_.windows();
  Entries entries;
  std::error_code error;
  for (const auto& dir : fs::directory_iterator("/proc", error)) {
    const std::string name = dir.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
    const std::int64_t pid = std::stoll(name);
    std::optional<FrontApp> app;
    {
      std::lock_guard guard(lock_);
      if (auto found = known_.find(pid); found != known_.end()) app = found->second.app;
    }
    if (!app) app = resolve(pid, windows, entries);
    if (app && app->bundleId == bundleId) result.push_back(pid);
  }
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace halcy
