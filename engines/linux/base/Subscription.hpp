#pragma once
// What a watcher holds while it listens, whatever it listens to (accessibility events, X events):
// destroying it, or assigning another one over it, ends the listening.

#include <functional>

namespace halcy {

class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Subscription(Subscription&& other) noexcept;
  Subscription& operator=(Subscription&& other) noexcept;
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription();

  explicit operator bool() const { return static_cast<bool>(cancel_); }

 private:
  void cancel();
  std::function<void()> cancel_;
};

}  // namespace halcy
