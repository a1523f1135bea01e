#pragma once
// Runs every request on a thread of its own, reusing idle threads, so a slow request never holds up
// the next line. Threads get small stacks so that thousands of waiting requests stay cheap.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace halcy {

class TaskPool {
 public:
  struct Limits {
    std::size_t maxThreads = 4096;
    std::size_t stackBytes = 512 * 1024;
    std::size_t idleThreadsKept = 4;
  };

  TaskPool() : TaskPool(Limits{}) {}
  explicit TaskPool(Limits limits);
  // Waits for the tasks already running or queued, then for every thread to end.
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Never blocks: the task runs on an idle thread, a new thread, or (past the thread limit) the
  // first thread that frees up.
  void run(std::function<void()> task);

 private:
  static void* threadMain(void* pool);
  void work();
  bool startThread();

  Limits limits_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable allEnded_;
  std::deque<std::function<void()>> queued_;
  std::size_t threads_ = 0;
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace halcy
