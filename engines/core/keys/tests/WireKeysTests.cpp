#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

constexpr Verdict reaches = Verdict::reaches;
constexpr Verdict refused = Verdict::refused;

TEST(WireKeys, KeysWatchTakesAMaskOfTwentyFourBits) {
  expectKeyCases("keys.watch", {{"watch", "true"}, {"downsWhile", "1048576"}},
                 joined({requiredCases("watch"),
                         booleanTypeCases("watch"),
                         requiredCases("downsWhile"),
                         integerTypeCases("downsWhile", "256.0"),
                         {
                             {"downsWhile", "0", reaches},
                             {"downsWhile", "16777215", reaches},
                             {"downsWhile", "16777216", refused},
                             {"downsWhile", "4294967295", refused},
                             {"downsWhile", "-1", refused},
                             {"downsWhile", "-9223372036854775808", refused},
                         }}));
}

TEST(WireKeys, KeysWatchNeedsAValidMaskEvenWhenStopping) {
  expectKeyCases("keys.watch", {{"watch", "false"}, {"downsWhile", "0"}},
                 joined({requiredCases("downsWhile"),
                         {{"downsWhile", "-1", refused}, {"downsWhile", "16777216", refused}}}));
}

TEST(WireKeys, AppsActivateTakesAPositivePid) {
  // A pid beyond 32 bits decodes; only the area can tell that no application has it.
  expectKeyCases("apps.activate", {{"pid", "501"}},
                 joined({requiredCases("pid"),
                         integerTypeCases("pid", "501.0"),
                         {
                             {"pid", "1", reaches},
                             {"pid", "4294967296", reaches},
                             {"pid", "9223372036854775807", reaches},
                             {"pid", "0", refused},
                             {"pid", "-1", refused},
                             {"pid", "-9223372036854775809", refused},
                         }}));
}

TEST(WireKeys, ParamsThatAreNotAnObjectOrHoldUnknownKeysAreRefused) {
  struct Case {
    std::string method;
    std::string params;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"keys.watch", R"({"watch":true,"downsWhile":0,"zz":1})",
       invalidParamsLine("keys.watch takes no zz.")},
      // Unknown keys are named before any value is looked at.
      {"keys.watch", R"({"zz":1})", invalidParamsLine("keys.watch takes no zz.")},
      {"apps.activate", R"({"pid":1,"Pid":1})", invalidParamsLine("apps.activate takes no Pid.")},
      {"keys.watch", "null", refusedLine("keys.watch")},
      {"apps.activate", "[]", refusedLine("apps.activate")},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), c.expected) << c.method << " " << c.params;
  }
}

}  // namespace
}  // namespace halcy::wire
