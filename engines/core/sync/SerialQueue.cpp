#include "SerialQueue.hpp"

namespace halcy {

SerialQueue::~SerialQueue() {
  stop();
}

void SerialQueue::post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  tasks_.push_back(std::move(task));
  if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
  wake_.notify_one();
}

void SerialQueue::stop() {
  // A second caller returns only once the first has seen the queue drained.
  std::lock_guard once(stopMutex_);
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  // No post touches the thread once stopping is set.
  if (worker_.joinable()) worker_.join();
}

void SerialQueue::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    try {
      task();
    } catch (...) {
      // A task has no one to tell; the next one still runs.
    }
    lock.lock();
  }
}

}  // namespace halcy
