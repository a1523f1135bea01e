#include "LinuxFiles.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <system_error>
#include <unordered_set>

#include "FileSearch.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

// File systems a search does not enter when a mount of one lies in the home folder: network
// shares and FUSE mounts can stall a walk for minutes, and virtual ones hold no user files.
constexpr std::array<unsigned long, 24> skippedFileSystems = {
    NFS_SUPER_MAGIC,     SMB_SUPER_MAGIC, CIFS_SUPER_MAGIC,   SMB2_SUPER_MAGIC,
    AFS_SUPER_MAGIC,     AFS_FS_MAGIC,    CEPH_SUPER_MAGIC,   CODA_SUPER_MAGIC,
    NCP_SUPER_MAGIC,     V9FS_MAGIC,      FUSE_SUPER_MAGIC,   AUTOFS_SUPER_MAGIC,
    PROC_SUPER_MAGIC,    SYSFS_MAGIC,     DEVPTS_SUPER_MAGIC, CGROUP_SUPER_MAGIC,
    CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC,   TRACEFS_MAGIC,      SECURITYFS_MAGIC,
    BPF_FS_MAGIC,        EFIVARFS_MAGIC,  PSTOREFS_MAGIC,     OCFS2_SUPER_MAGIC,
};

// A directory stream that closes itself.
struct FolderStream {
  explicit FolderStream(int handle) : stream(::fdopendir(handle)) {
    if (stream == nullptr) ::close(handle);
  }
  ~FolderStream() {
    if (stream != nullptr) ::closedir(stream);
  }
  FolderStream(const FolderStream&) = delete;
  FolderStream& operator=(const FolderStream&) = delete;
  DIR* stream;
};

struct FolderId {
  dev_t device;
  ino_t inode;
  bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
  std::size_t operator()(const FolderId& id) const {
    return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.inode) * 31 +
                                      static_cast<std::uint64_t>(id.device));
  }
};

struct Folder {
  std::string path;
  // The device of the folder it was found in: a change means a mount point.
  dev_t parentDevice;
  // The home folder itself may be reached through a symbolic link.
  bool isHome = false;
};

bool isSkippedFileSystem(int handle) {
  struct statfs facts {};
  if (::fstatfs(handle, &facts) != 0) return true;
  const auto type = static_cast<unsigned long>(facts.f_type);
  return std::find(skippedFileSystems.begin(), skippedFileSystems.end(), type) !=
         skippedFileSystems.end();
}

double millisecondsOf(const timespec& time) {
  return static_cast<double>(time.tv_sec) * 1000.0 + static_cast<double>(time.tv_nsec) / 1e6;
}

}  // namespace

struct LinuxFileSearch::Walk {
  explicit Walk(const FilesSearch& request)
      : matcher(request.names), found(static_cast<std::size_t>(request.limit)) {}

  // Takes the next folder, or nothing once the walk is over or stopped.
  std::optional<Folder> nextFolder() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return stopped || !pending.empty() || busy == 0; });
    if (stopped || pending.empty()) return std::nullopt;
    Folder folder = std::move(pending.back());
    pending.pop_back();
    ++busy;
    return folder;
  }

  void walked(std::vector<Folder> subfolders) {
    {
      std::lock_guard lock(mutex);
      --busy;
      for (auto& folder : subfolders) pending.push_back(std::move(folder));
      finished = pending.empty() && busy == 0;
    }
    changed.notify_all();
  }

  void walker() {
    while (auto folder = nextFolder()) walked(list(*folder));
    std::lock_guard lock(mutex);
    --alive;
  }

  bool firstVisit(const struct stat& facts) {
    std::lock_guard lock(visitedMutex);
    return visited.insert(FolderId{facts.st_dev, facts.st_ino}).second;
  }

  // Offers the folder's matching files and answers its subfolders.
  std::vector<Folder> list(const Folder& folder) {
    std::vector<Folder> subfolders;
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.isHome ? 0 : O_NOFOLLOW);
    const int handle = ::open(folder.path.c_str(), flags);
    if (handle < 0) return subfolders;
    FolderStream dir(handle);
    struct stat facts {};
    if (dir.stream == nullptr || ::fstat(handle, &facts) != 0) return subfolders;
    if (facts.st_dev != folder.parentDevice && isSkippedFileSystem(handle)) return subfolders;
    if (!firstVisit(facts)) return subfolders;
    // The convention of backup and cache tools for "nothing here worth keeping".
    if (::faccessat(handle, "CACHEDIR.TAG", F_OK, AT_SYMLINK_NOFOLLOW) == 0) return subfolders;
    const std::string prefix = folder.path == "/" ? std::string() : folder.path;
    while (const dirent* entry = ::readdir(dir.stream)) {
      if (stopped.load(std::memory_order_relaxed)) break;
      const std::string_view name = entry->d_name;
      if (name.empty() || name.front() == '.' || !isUtf8(name)) continue;
      unsigned char type = entry->d_type;
      if (type == DT_UNKNOWN) type = typeOf(handle, entry->d_name);
      if (type == DT_DIR) {
        subfolders.push_back({prefix + "/" + std::string(name), facts.st_dev});
      } else if ((type == DT_REG || type == DT_LNK) && matcher.matches(name)) {
        offer(handle, prefix, name);
      }
    }
    return subfolders;
  }

  static unsigned char typeOf(int folder, const char* name) {
    struct stat facts {};
    if (::fstatat(folder, name, &facts, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
    if (S_ISDIR(facts.st_mode)) return DT_DIR;
    if (S_ISLNK(facts.st_mode)) return DT_LNK;
    return S_ISREG(facts.st_mode) ? DT_REG : DT_UNKNOWN;
  }

  // A link is reported by its own name with its target's facts; a broken one, or one that leads
  // to anything but a file, is not.
  void offer(int folder, const std::string& prefix, std::string_view name) {
    const std::string entryName(name);
    struct stat facts {};
    if (::fstatat(folder, entryName.c_str(), &facts, 0) != 0 || !S_ISREG(facts.st_mode)) return;
    const double modified = millisecondsOf(facts.st_mtim);
    if (!found.wouldKeep(modified)) return;
    found.offer(FoundFileFact{prefix + "/" + entryName, entryName, modified,
                              static_cast<std::int64_t>(facts.st_size)});
  }

  NameMatcher matcher;
  NewestFiles found;

  std::mutex mutex;
  std::condition_variable changed;
  // Depth first keeps the list of folders still to walk short.
  std::vector<Folder> pending;
  unsigned busy = 0;
  unsigned alive = 0;
  bool finished = false;
  std::atomic<bool> stopped{false};

  std::mutex visitedMutex;
  // Bind mounts can lead back into a folder already walked.
  std::unordered_set<FolderId, FolderIdHash> visited;
};

LinuxFileSearch::LinuxFileSearch(std::string home, unsigned walkers)
    : home_(std::move(home)), walkers_(std::max(1u, walkers)) {}

LinuxFileSearch::~LinuxFileSearch() {
  std::lock_guard lock(leftoversMutex_);
  for (auto& leftover : leftovers_) {
    for (auto& thread : leftover.threads) thread.join();
  }
}

// Measured on two cores over 200 000 files: 8 walkers keep enough reads in flight to beat a
// single-threaded walk on a cold cache, and cost little on a warm one (docs/linux-adapter.md).
unsigned LinuxFileSearch::defaultWalkers() {
  return 8;
}

FilesFound LinuxFileSearch::search(const FilesSearch& request) {
  joinEnded();
  struct stat home {};
  if (home_.empty() || ::stat(home_.c_str(), &home) != 0 || !S_ISDIR(home.st_mode)) {
    return FilesFound{{}, false};
  }
  auto walk = std::make_shared<Walk>(request);
  walk->pending.push_back({home_, home.st_dev, true});
  Leftover running{walk, {}};
  walk->alive = walkers_;
  try {
    for (unsigned index = 0; index < walkers_; ++index) {
      running.threads.emplace_back([walk] { walk->walker(); });
    }
  } catch (const std::system_error&) {
    // Out of threads: the walkers that did start share the walk.
    std::lock_guard lock(walk->mutex);
    walk->alive -= walkers_ - static_cast<unsigned>(running.threads.size());
  }
  if (running.threads.empty()) return FilesFound{{}, false};
  bool finished = false;
  {
    std::unique_lock lock(walk->mutex);
    finished = walk->changed.wait_for(lock, std::chrono::milliseconds(request.patienceMs),
                                      [&] { return walk->finished; });
    if (!finished) walk->stopped = true;
  }
  walk->changed.notify_all();
  FilesFound found{walk->found.newestFirst(), !finished};
  if (finished) {
    for (auto& thread : running.threads) thread.join();
  } else {
    keep(std::move(running));
  }
  return found;
}

void LinuxFileSearch::keep(Leftover leftover) {
  std::lock_guard lock(leftoversMutex_);
  leftovers_.push_back(std::move(leftover));
}

void LinuxFileSearch::joinEnded() {
  std::vector<Leftover> ended;
  {
    std::lock_guard lock(leftoversMutex_);
    auto ending = std::partition(leftovers_.begin(), leftovers_.end(), [](const Leftover& left) {
      std::lock_guard walkLock(left.walk->mutex);
      return left.walk->alive > 0;
    });
    std::move(ending, leftovers_.end(), std::back_inserter(ended));
    leftovers_.erase(ending, leftovers_.end());
  }
  for (auto& leftover : ended) {
    for (auto& thread : leftover.threads) thread.join();
  }
}

}  // namespace halcy
