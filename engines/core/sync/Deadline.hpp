#pragma once
// Races a piece of work against a timer so a platform that never answers cannot hang a request.

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace halcy {

// Resumes the one waiting caller exactly once, whoever settles first.
template <class T>
class Once {
 public:
  void settle(std::optional<T> value) {
    {
      std::lock_guard lock(mutex_);
      if (settled_) return;
      settled_ = true;
      value_ = std::move(value);
    }
    resumed_.notify_all();
  }

  // Waits for the first settle, or settles with nothing itself when `timeout` runs out.
  std::optional<T> await(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!resumed_.wait_for(lock, timeout, [&] { return settled_; })) {
      settled_ = true;
      value_.reset();
    }
    return std::move(value_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable resumed_;
  bool settled_ = false;
  std::optional<T> value_;
};

namespace Deadline {

// Whole milliseconds, truncated toward zero; a value that cannot be a deadline counts as none.
inline std::chrono::milliseconds truncatedMilliseconds(double seconds) {
  const double milliseconds = std::trunc(seconds * 1000.0);
  if (!(milliseconds > 0)) return std::chrono::milliseconds(0);
  if (milliseconds >= static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2)) {
    return std::chrono::milliseconds(std::numeric_limits<std::int64_t>::max() / 2);
  }
  return std::chrono::milliseconds(static_cast<std::int64_t>(milliseconds));
}

// The work keeps running after a timeout; whatever it holds is released when it ends.
template <class T>
std::optional<T> first(double seconds, std::function<std::optional<T>()> work) {
  auto once = std::make_shared<Once<T>>();
  std::thread([once, work = std::move(work)] {
    std::optional<T> value;
    try {
      value = work();
    } catch (...) {
      // Work has no error channel: a failure looks like nothing arriving.
    }
    once->settle(std::move(value));
  }).detach();
  return once->await(truncatedMilliseconds(seconds));
}

}  // namespace Deadline
}  // namespace halcy
