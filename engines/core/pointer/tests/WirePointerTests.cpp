#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

constexpr Verdict reaches = Verdict::reaches;
constexpr Verdict refused = Verdict::refused;

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

TEST(WirePointer, ParamsThatAreNotAnObjectOrHoldUnknownKeysAreRefused) {
  struct Case {
    std::string method;
    std::string params;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"pointer.element", objectText(varied(validPointerElement, {"b", "1", reaches})),
       invalidParamsLine("pointer.element takes no b.")},
      {"input.watch", R"({"excludePid":[],"b":0,"a":0})",
       invalidParamsLine("input.watch takes no a, b, excludePid.")},
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
