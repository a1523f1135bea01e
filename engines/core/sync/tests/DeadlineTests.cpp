#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "Deadline.hpp"

namespace halcy {
namespace {

TEST(Deadline, TruncatesToWholeMilliseconds) {
  struct Case {
    double seconds;
    std::int64_t milliseconds;
  };
  const std::vector<Case> cases = {{4.0, 4000}, {0.0004, 0},       {0.0019, 1},
                                   {-1.0, 0},   {std::nan(""), 0}, {1e300, INT64_MAX / 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(Deadline::truncatedMilliseconds(c.seconds).count(), c.milliseconds) << c.seconds;
  }
}

// Work outliving its deadline must end before the test does, so the sanitizers see no thread
// touching freed memory.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  bool workEnded = false;
  void openUp() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
  void waitOpen() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return open; });
  }
  void markEnded() {
    std::lock_guard lock(mutex);
    workEnded = true;
    changed.notify_all();
  }
  void waitEnded() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return workEnded; });
  }
};

TEST(Deadline, ReturnsTheFirstOfWorkAndTimer) {
  EXPECT_EQ(Deadline::first<int>(4.0, [] { return std::optional<int>(7); }), 7);
  EXPECT_EQ(Deadline::first<int>(4.0, [] { return std::optional<int>(); }), std::nullopt);

  auto gate = std::make_shared<Gate>();
  const auto started = std::chrono::steady_clock::now();
  auto late = Deadline::first<int>(0.05, [gate] {
    gate->waitOpen();
    gate->markEnded();
    return std::optional<int>(1);
  });
  EXPECT_EQ(late, std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
  gate->openUp();
  gate->waitEnded();

  auto zero = std::make_shared<Gate>();
  EXPECT_EQ(Deadline::first<int>(0.0004,
                                 [zero] {
                                   zero->waitOpen();
                                   zero->markEnded();
                                   return std::optional<int>(2);
                                 }),
            std::nullopt);
  zero->openUp();
  zero->waitEnded();
}

TEST(Once, ResumesExactlyOnceWhenBothSettleTogether) {
  for (int round = 0; round < 200; ++round) {
    Once<int> once;
    std::thread first([&] { once.settle(1); });
    std::thread second([&] { once.settle(2); });
    auto value = once.await(std::chrono::seconds(5));
    first.join();
    second.join();
    ASSERT_TRUE(value == 1 || value == 2);
  }
}

}  // namespace
}  // namespace halcy
