#pragma once
// Runs posted tasks one after another, in the order posted, on one thread of its own that its
// owner stops. Posting never waits for a task, so a capture's thread can hand work over without
// ever blocking on what the work waits for.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace halcy {

class SerialQueue {
 public:
  SerialQueue() = default;
  // Stops the queue.
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  // The thread starts with the first task; a task posted once the queue is stopping is dropped.
  void post(std::function<void()> task);
  // Runs every task already posted, then ends the thread. Never called from a task.
  void stop();

 private:
  void work();

  std::mutex stopMutex_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace halcy
