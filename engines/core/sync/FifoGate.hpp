#pragma once
// Lets one operation at a time through, in the order callers arrived, and is held across the
// operation's waits: a caller that arrives while another is inside blocks until its turn.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace halcy {

class FifoGate {
 public:
  void enter() {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = nextTicket_++;
    turn_.wait(lock, [&] { return serving_ == ticket; });
  }

  // Passes the gate straight to the next caller in line, if any.
  void leave() {
    {
      std::lock_guard lock(mutex_);
      ++serving_;
    }
    turn_.notify_all();
  }

  // Holds the gate for a scope: every exit path leaves exactly once.
  class Pass {
   public:
    explicit Pass(FifoGate& gate) : gate_(gate) { gate_.enter(); }
    ~Pass() { gate_.leave(); }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

   private:
    FifoGate& gate_;
  };

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  std::uint64_t nextTicket_ = 0;
  std::uint64_t serving_ = 0;
};

}  // namespace halcy
