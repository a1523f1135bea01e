#include "TaskPool.hpp"

#include <pthread.h>

#include <chrono>

namespace halcy {

namespace {
constexpr auto idleLifetime = std::chrono::seconds(10);
}

TaskPool::TaskPool(Limits limits) : limits_(limits) {}

TaskPool::~TaskPool() {
  std::unique_lock lock(mutex_);
  stopping_ = true;
  wake_.notify_all();
  allEnded_.wait(lock, [&] { return threads_ == 0; });
}

void TaskPool::run(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  queued_.push_back(std::move(task));
  if (idle_ >= queued_.size()) {
    wake_.notify_one();
    return;
  }
  if (threads_ < limits_.maxThreads && startThread()) return;
  wake_.notify_one();
}

// Called with the lock held.
bool TaskPool::startThread() {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, limits_.stackBytes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attributes, &TaskPool::threadMain, this) == 0;
  pthread_attr_destroy(&attributes);
  if (started) ++threads_;
  return started;
}

void* TaskPool::threadMain(void* pool) {
  static_cast<TaskPool*>(pool)->work();
  return nullptr;
}

void TaskPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    const bool hasWork =
        wake_.wait_for(lock, idleLifetime, [&] { return stopping_ || !queued_.empty(); });
    --idle_;
    if (queued_.empty() && (stopping_ || (!hasWork && idle_ >= limits_.idleThreadsKept))) break;
    if (queued_.empty()) continue;
    auto task = std::move(queued_.front());
    queued_.pop_front();
    lock.unlock();
    try {
      task();
    } catch (...) {
      // A task answers its own failures; nothing may escape onto a pool thread.
    }
    task = nullptr;
    lock.lock();
  }
  if (--threads_ == 0) allEnded_.notify_all();
}

}  // namespace halcy
