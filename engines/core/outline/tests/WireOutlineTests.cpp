#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

constexpr Verdict reaches = Verdict::reaches;
constexpr Verdict refused = Verdict::refused;

// A JSON string holding `count` copies of `piece`, which may itself be a JSON escape.
std::string rawRepeated(std::size_t count, const std::string& piece) {
  std::string text = "\"";
  for (std::size_t index = 0; index < count; ++index) text += piece;
  return text + "\"";
}

// Ids and refs are indexes: 0 and anything above decode, negatives do not.
std::vector<KeyCase> outlineIdCases() {
  return joined({requiredCases("outline"),
                 integerTypeCases("outline", "3.0"),
                 {
                     {"outline", "0", reaches},
                     {"outline", "9223372036854775807", reaches},
                     {"outline", "-1", refused},
                     {"outline", "-9223372036854775808", refused},
                 }});
}

TEST(WireOutline, OutlineReadTakesAPidABudgetAndANeverLookList) {
  expectKeyCases("outline.read", {{"pid", "42"}, {"budgetMs", "200"}, {"neverLook", "[]"}},
                 joined({requiredCases("pid"),
                         integerTypeCases("pid", "42.0"),
                         {
                             {"pid", "1", reaches},
                             {"pid", "9223372036854775807", reaches},
                             {"pid", "0", refused},
                             {"pid", "-1", refused},
                         },
                         requiredCases("budgetMs"),
                         integerTypeCases("budgetMs", "50.0"),
                         {
                             {"budgetMs", "50", reaches},
                             {"budgetMs", "400", reaches},
                             {"budgetMs", "49", refused},
                             {"budgetMs", "401", refused},
                             {"budgetMs", "0", refused},
                             {"budgetMs", "-200", refused},
                             {"budgetMs", "400.5", refused},
                         },
                         neverLookCases("neverLook")}));
}

TEST(WireOutline, FramesStateAndVisibleTakeAnOutlineAndUpTo300Refs) {
  const auto cases = joined({outlineIdCases(),
                             cappedIntegerListCases("refs", 300, 0),
                             {
                                 {"refs", "[0,999,0]", reaches},
                                 {"refs", "[2.0,9223372036854775807]", reaches},
                                 {"refs", "0", refused},
                             }});
  for (const char* method : {"outline.frames", "outline.state", "outline.visible"}) {
    expectKeyCases(method, {{"outline", "1"}, {"refs", "[0,1,2]"}}, cases);
  }
}

TEST(WireOutline, OutlineFindTakesANameOfOneTo120Utf16Units) {
  expectKeyCases(
      "outline.find", {{"outline", "1"}, {"name", R"("Save")"}, {"role", "null"}, {"limit", "5"}},
      joined({outlineIdCases(),
              requiredCases("name"),
              textTypeCases("name"),
              {
                  {"name", R"("a")", reaches},
                  {"name", rawRepeated(120, "a"), reaches},
                  // Counted in UTF-16 units, not bytes: 120 accented letters are 240 bytes.
                  {"name", rawRepeated(120, "é"), reaches},
                  {"name", rawRepeated(60, "😀"), reaches},
                  {"name", rawRepeated(60, "\\ud83d\\ude00"), reaches},
                  {"name", R"("")", refused},
                  {"name", rawRepeated(121, "a"), refused},
                  {"name", rawRepeated(121, "é"), refused},
                  // 61 characters, but each takes two UTF-16 units.
                  {"name", rawRepeated(61, "😀"), refused},
                  {"name", "\"" + std::string(118, 'a') + "😀\"", reaches},
                  {"name", "\"" + std::string(119, 'a') + "😀\"", refused},
              },
              {
                  {"role", std::nullopt, refused},
                  {"role", R"("AXButton")", reaches},
                  {"role", R"("")", reaches},
              },
              textTypeCases("role"),
              requiredCases("limit"),
              integerTypeCases("limit", "1.0"),
              {
                  {"limit", "1", reaches},
                  {"limit", "20", reaches},
                  {"limit", "0", refused},
                  {"limit", "21", refused},
                  {"limit", "-1", refused},
              }}));
}

TEST(WireOutline, OutlineWatchTakesAPidOrNull) {
  expectKeyCases("outline.watch", {{"pid", "42"}},
                 joined({integerTypeCases("pid", "42.0"),
                         {
                             {"pid", "null", reaches},
                             {"pid", std::nullopt, refused},
                             {"pid", "1", reaches},
                             {"pid", "9223372036854775807", reaches},
                             {"pid", "0", refused},
                             {"pid", "-1", refused},
                         }}));
}

TEST(WireOutline, ParamsThatAreNotAnObjectOrHoldUnknownKeysAreRefused) {
  struct Case {
    std::string method;
    std::string params;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"outline.read", R"({"pid":1,"budgetMs":50,"neverLook":[],"budget":50})",
       invalidParamsLine("outline.read takes no budget.")},
      {"outline.frames", R"({"outline":1,"refs":[],"ref":0})",
       invalidParamsLine("outline.frames takes no ref.")},
      {"outline.state", R"({"outline":1,"refs":[],"z":0,"é":0})",
       invalidParamsLine("outline.state takes no z, é.")},
      {"outline.visible", R"({"x":0})", invalidParamsLine("outline.visible takes no x.")},
      {"outline.find", R"({"outline":1,"name":"a","role":null,"limit":1,"Role":null})",
       invalidParamsLine("outline.find takes no Role.")},
      {"outline.watch", R"({"pid":null,"bundleId":"a"})",
       invalidParamsLine("outline.watch takes no bundleId.")},
      {"outline.read", "null", refusedLine("outline.read")},
      {"outline.frames", "[]", refusedLine("outline.frames")},
      {"outline.watch", "{}", refusedLine("outline.watch")},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), c.expected) << c.method << " " << c.params;
  }
}

}  // namespace
}  // namespace halcy::wire
