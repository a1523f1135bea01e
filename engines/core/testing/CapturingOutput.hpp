#pragma once
// The one output tests read back: it keeps every line written, in order, and lets a test wait for
// lines written from other threads.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "Output.hpp"

namespace halcy {

class CapturingOutput final : public LineOutput {
 public:
  void write(std::string line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
    changed_.notify_all();
  }

  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

  // The lines once there are at least `count` of them, or after ten seconds, whatever came.
  std::vector<std::string> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return lines_.size() >= count; });
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

}  // namespace halcy
