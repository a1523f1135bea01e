#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "Metering.hpp"

namespace halcy {
namespace {

TEST(LevelMeter, GivesTheRoundedPeakAtMostOncePerInterval) {
  struct Block {
    std::vector<float> samples;
    double at;
    std::optional<double> level;
  };
  const std::pair<const char*, std::vector<Block>> cases[] = {
      {"peak is clamped to 1", {{{0.25f, -0.5f, 2.0f}, 1.0, 1.0}}},
      {"three decimals", {{{0.1234f, -0.0005f}, 1.0, 0.123}}},
      {"halves round away from zero", {{{0.0125f}, 1.0, 0.013}}},
      {"NaN is ignored", {{{std::nanf(""), -0.2f}, 1.0, 0.2}}},
      {"a quick second block is carried into the next level",
       {{{0.1f}, 1.0, 0.1}, {{0.9f}, 1.05, std::nullopt}, {{0.2f}, 1.1, 0.9}}},
      {"the peak starts again after a level",
       {{{0.5f}, 1.0, 0.5}, {{0.3f}, 1.2, 0.3}, {{}, 1.4, 0.0}}},
  };
  for (const auto& [name, blocks] : cases) {
    LevelMeter meter;
    for (const auto& block : blocks) {
      EXPECT_EQ(meter.add(block.samples, block.at), block.level) << name << " at " << block.at;
    }
  }
}

TEST(SampleBudget, HandsOutNoMoreThanTheLimit) {
  auto budget = SampleBudget::of(1, 16000);
  EXPECT_EQ(budget.take(10000), 10000);
  EXPECT_FALSE(budget.isSpent());
  EXPECT_EQ(budget.take(10000), 6000);
  EXPECT_TRUE(budget.isSpent());
  EXPECT_EQ(budget.take(5), 0);
  EXPECT_EQ(budget.used, 16000);
}

}  // namespace
}  // namespace halcy
