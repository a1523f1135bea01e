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

const RawFields validPointerElement = {{"x", "10"},           {"y", "20.5"},
                                       {"excludePids", "[]"}, {"beneathHalcy", "false"},
                                       {"neverLook", "[]"},   {"selectionOf", "[]"}};

TEST(WirePointer, PointerElementDecodesEveryKey) {
  expectKeyCases(
      "pointer.element", validPointerElement,
      joined({requiredCases("x"), numberTypeCases("x"), requiredCases("y"), numberTypeCases("y"),
              pidListCases("excludePids"), requiredCases("beneathHalcy"),
              booleanTypeCases("beneathHalcy"), neverLookCases("neverLook")}));
}

TEST(WirePointer, PointerElementTakesAtMostEightNonEmptySelectionApps) {
  expectKeyCases("pointer.element", validPointerElement,
                 joined({requiredCases("selectionOf"),
                         {
                             {"selectionOf", R"(["com.apple.finder"])", reaches},
                             {"selectionOf", rawBundleIds(8), reaches},
                             {"selectionOf", rawBundleIds(9), refused},
                             {"selectionOf", R"(["a",""])", refused},
                             {"selectionOf", R"([""])", refused},
                             {"selectionOf", "[1]", refused},
                             {"selectionOf", "[null]", refused},
                             {"selectionOf", R"("a")", refused},
                         }}));
}

TEST(WirePointer, InputWatchDecodesEveryKey) {
  expectKeyCases("input.watch",
                 {{"pointer", R"("clicks")"},
                  {"keys", "false"},
                  {"moves", "true"},
                  {"scroll", "false"},
                  {"excludePids", "[1]"}},
                 joined({requiredCases("pointer"),
                         {
                             {"pointer", R"("none")", reaches},
                             {"pointer", R"("drags")", reaches},
                             {"pointer", R"("Clicks")", refused},
                             {"pointer", R"("click")", refused},
                             {"pointer", R"("left")", refused},
                             {"pointer", R"("")", refused},
                             {"pointer", "0", refused},
                             {"pointer", R"(["drags"])", refused},
                         },
                         requiredCases("keys"),
                         booleanTypeCases("keys"),
                         requiredCases("moves"),
                         booleanTypeCases("moves"),
                         requiredCases("scroll"),
                         booleanTypeCases("scroll"),
                         pidListCases("excludePids")}));
}

TEST(WirePointer, InputWatchWithEverythingOffStillReachesTheArea) {
  WireHarness harness;
  EXPECT_EQ(harness.replyTo("input.watch", R"({"pointer":"none","keys":false,"moves":false,)"
                                           R"("scroll":false,"excludePids":[]})"),
            notBuiltLine);
}

TEST(WireKeysPointer, ParamsThatAreNotAnObjectOrHoldUnknownKeysAreRefused) {
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
      {"pointer.element", objectText(varied(validPointerElement, {"b", "1", reaches})),
       invalidParamsLine("pointer.element takes no b.")},
      {"input.watch", R"({"excludePid":[],"b":0,"a":0})",
       invalidParamsLine("input.watch takes no a, b, excludePid.")},
      {"keys.watch", "null", refusedLine("keys.watch")},
      {"apps.activate", "[]", refusedLine("apps.activate")},
      {"pointer.element", R"("x")", refusedLine("pointer.element")},
      {"input.watch", "{}", refusedLine("input.watch")},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), c.expected) << c.method << " " << c.params;
  }
}

}  // namespace
}  // namespace halcy::wire
