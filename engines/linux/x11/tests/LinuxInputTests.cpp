// The clock of raw input's time stamps.

#include <gtest/gtest.h>

#include <vector>

#include "LinuxInput.hpp"

namespace halcy {
namespace {

TEST(ServerClock, ReadsServerTimeOnTheEngineClock) {
  struct Step {
    const char* name;
    std::uint32_t serverMs;
    double now;
    double at;
  };
  const std::vector<Step> steps = {
      {"the first event sets the offset", 1000, 101.0, 101.0},
      {"a late delivery keeps its own time", 1500, 101.6, 101.5},
      {"a quicker delivery corrects the offset", 2000, 101.95, 101.95},
      {"later events use the corrected offset", 2100, 102.5, 102.05},
  };
  ServerClock clock;
  for (const Step& step : steps) {
    EXPECT_NEAR(clock.toEngine(step.serverMs, step.now), step.at, 1e-9) << step.name;
  }
  clock.reset();
  EXPECT_NEAR(clock.toEngine(5, 7.0), 7.0, 1e-9);
}

TEST(ServerClock, FollowsTheStampAcrossItsWrap) {
  ServerClock clock;
  EXPECT_NEAR(clock.toEngine(4294967290U, 50.0), 50.0, 1e-6);
  EXPECT_NEAR(clock.toEngine(6, 50.016), 50.012, 1e-6);
  // A stamp from just before the wrap, heard after it.
  EXPECT_NEAR(clock.toEngine(4294967295U, 50.02), 50.005, 1e-6);
  EXPECT_NEAR(clock.toEngine(10, 50.03), 50.016, 1e-6);
}

}  // namespace
}  // namespace halcy
