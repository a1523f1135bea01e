#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "SerialQueue.hpp"

namespace halcy {
namespace {

TEST(SerialQueue, RunsTasksInOrderAndStopRunsWhatWasPosted) {
  std::vector<int> ran;
  SerialQueue queue;
  for (int task = 0; task < 100; ++task) queue.post([&ran, task] { ran.push_back(task); });
  queue.stop();
  ASSERT_EQ(ran.size(), 100u);
  for (int task = 0; task < 100; ++task) EXPECT_EQ(ran[task], task);
  queue.post([&] { ran.push_back(-1); });
  queue.stop();
  EXPECT_EQ(ran.size(), 100u) << "a task posted after stop ran";
}

// A capture's thread posts while a task waits for something that thread holds.
TEST(SerialQueue, PostingNeverWaitsForARunningTask) {
  SerialQueue queue;
  std::promise<void> released;
  std::shared_future<void> gate = released.get_future().share();
  std::mutex mutex;
  std::vector<int> ran;
  queue.post([gate, &mutex, &ran] {
    gate.wait();
    std::lock_guard lock(mutex);
    ran.push_back(1);
  });
  auto posted = std::async(std::launch::async, [&] {
    queue.post([&] {
      std::lock_guard lock(mutex);
      ran.push_back(2);
    });
  });
  EXPECT_EQ(posted.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  released.set_value();
  queue.stop();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(SerialQueue, AFailingTaskDoesNotStopTheNext) {
  bool ran = false;
  SerialQueue queue;
  queue.post([] { throw std::runtime_error("boom"); });
  queue.post([&] { ran = true; });
  queue.stop();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace halcy
