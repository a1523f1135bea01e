#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

TEST(WireVolume, VolumeWatchTakesOneBoolean) {
  expectKeyCases("volume.watch", {{"watch", "true"}},
                 joined({requiredCases("watch"), booleanTypeCases("watch")}));
}

TEST(WireVolume, ParamsThatAreNotAnObjectOrHoldUnknownKeysAreRefused) {
  struct Case {
    std::string method;
    std::string params;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"volume.watch", R"({"watch":true,"muted":false})",
       invalidParamsLine("volume.watch takes no muted.")},
      {"volume.watch", "true", refusedLine("volume.watch")},
      {"volume.watch", "{}", refusedLine("volume.watch")},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), c.expected) << c.method << " " << c.params;
  }
}

}  // namespace
}  // namespace halcy::wire
