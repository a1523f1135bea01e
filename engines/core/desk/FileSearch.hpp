#pragma once
// What "files.search" finds, whatever walks the folders: a case- and diacritic-insensitive match
// of any asked name anywhere in a file name, and the newest files found, newest first.

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "DeskProtocol.hpp"

namespace halcy {

namespace FileSearchRules {
// Case-folded, decomposed, with nonspacing marks left out: "Résumé" and "RESUME" fold alike.
std::string folded(std::string_view utf8);
// Newer first; equally new files by path, so the order never depends on the walk's.
bool newer(const FoundFileFact& a, const FoundFileFact& b);
}  // namespace FileSearchRules

class NameMatcher {
 public:
  explicit NameMatcher(const std::vector<std::string>& names);
  // Safe to call from several threads at once.
  bool matches(std::string_view fileName) const;

 private:
  std::vector<std::string> needles_;
};

// The newest `limit` files offered so far, from any number of threads.
class NewestFiles {
 public:
  explicit NewestFiles(std::size_t limit) : limit_(limit) {}
  // Whether a file changed at `modified` (milliseconds since 1970) would be kept: lets a walker
  // skip the rest of the work for older files once the list is full.
  bool wouldKeep(double modified) const;
  void offer(FoundFileFact file);
  std::vector<FoundFileFact> newestFirst() const;

 private:
  mutable std::mutex mutex_;
  std::size_t limit_;
  // A heap whose top is the oldest file kept.
  std::vector<FoundFileFact> kept_;
};

}  // namespace halcy
