#pragma once
// "files.search" on Linux: a parallel walk of the home folder, with no index to keep.
//
// Left out: hidden files and folders (a name starting with "."), folders tagged as caches
// (CACHEDIR.TAG), symbolic links to folders (so no loop), and mounts of network, FUSE and
// virtual file systems, which may hang or hold someone else's files. Local disks mounted inside
// the home folder are walked. Folders are walked, never reported; a symbolic link to a file is
// reported with its target's facts.

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DeskProtocol.hpp"

namespace halcy {

class LinuxFileSearch {
 public:
  // `walkers` threads share each search.
  explicit LinuxFileSearch(std::string home, unsigned walkers = defaultWalkers());
  // Joins the walkers of searches that ran out of patience.
  ~LinuxFileSearch();
  LinuxFileSearch(const LinuxFileSearch&) = delete;
  LinuxFileSearch& operator=(const LinuxFileSearch&) = delete;

  // Answers within the request's patience, with what was found by then.
  FilesFound search(const FilesSearch& request);

  static unsigned defaultWalkers();

 private:
  struct Walk;
  struct Leftover {
    std::shared_ptr<Walk> walk;
    std::vector<std::thread> threads;
  };
  // Walkers of a timed-out search end at their next folder; a folder on a stuck disk may keep one
  // longer, so they are joined later rather than waited for.
  void keep(Leftover leftover);
  void joinEnded();

  std::string home_;
  unsigned walkers_;
  std::mutex leftoversMutex_;
  std::vector<Leftover> leftovers_;
};

}  // namespace halcy
