#include <gtest/gtest.h>

#include <atomic>

#include "TaskPool.hpp"

namespace halcy {
namespace {

TEST(TaskPool, RunsEveryTaskAndEndsCleanly) {
  std::atomic<int> ran{0};
  {
    TaskPool pool(TaskPool::Limits{8, 256 * 1024, 2});
    for (int i = 0; i < 500; ++i) pool.run([&] { ran.fetch_add(1); });
  }
  EXPECT_EQ(ran.load(), 500);
}

}  // namespace
}  // namespace halcy
