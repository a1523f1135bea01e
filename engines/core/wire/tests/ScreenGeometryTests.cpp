#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenGeometry.hpp"

namespace halcy::wire {
namespace {

TEST(ScreenGeometry, IntersectionNeedsSharedArea) {
  struct Case {
    ScreenRect a;
    ScreenRect b;
    std::optional<ScreenRect> expected;
  };
  const std::vector<Case> cases = {
      {{0, 0, 100, 100}, {50, 25, 100, 100}, ScreenRect{50, 25, 50, 75}},
      {{0, 0, 100, 100}, {10, 10, 5, 5}, ScreenRect{10, 10, 5, 5}},
      {{-1920, 0, 1920, 1080}, {-10, 100, 20, 20}, ScreenRect{-10, 100, 10, 20}},
      {{0, 0, 100, 100}, {100, 0, 50, 50}, std::nullopt},
      {{0, 0, 100, 100}, {0, 100, 50, 50}, std::nullopt},
      {{0, 0, 100, 100}, {200, 200, 5, 5}, std::nullopt},
      {{0, 0, 100, 100}, {10, 10, 0, 5}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a.intersection(c.b), c.expected);
    EXPECT_EQ(c.b.intersection(c.a), c.expected);
  }
}

}  // namespace
}  // namespace halcy::wire
