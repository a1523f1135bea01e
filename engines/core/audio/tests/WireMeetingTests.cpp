#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScreenGeometry.hpp"
#include "WireNestedCases.hpp"
#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

constexpr Verdict reaches = Verdict::reaches;
constexpr Verdict refused = Verdict::refused;

TEST(WireMeeting, MeetingStartDecodesItsStrictSystemObject) {
  const RawFields system = {{"excludePids", "[]"}};
  expectKeyCases("meeting.start", {{"microphone", "true"}, {"system", objectText(system)}},
                 joined({requiredCases("microphone"), booleanTypeCases("microphone"),
                         nullableCases("system"), textTypeCases("system"),
                         nestedCases("system", system,
                                     joined({requiredCases("excludePids"),
                                             integerListTypeCases("excludePids"),
                                             {
                                                 {"excludePids", "[1,2]", reaches},
                                                 {"excludePids", "[1.0]", reaches},
                                                 // Counts and signs are the start rules' to answer.
                                                 {"excludePids", rawList(17, "1"), reaches},
                                                 {"excludePids", "[0]", reaches},
                                                 {"excludePids", "[-1]", reaches},
                                                 {"excludePid", "[]", refused},
                                                 {"unnamed", "null", refused},
                                             }}))}));
}

TEST(WireMeeting, MeetingStartWithNoSourceStillDecodes) {
  // "A meeting captures at least one source." is the controller's answer, not a decoding failure.
  WireHarness harness;
  EXPECT_EQ(harness.replyTo("meeting.start", R"({"microphone":false,"system":null})"),
            notBuiltLine);
  EXPECT_EQ(harness.replyTo("meeting.start", R"({"microphone":true})"),
            refusedLine("meeting.start"));
}

TEST(WireMeeting, MeetingReopenNamesOneOfTheTwoSources) {
  expectKeyCases("meeting.reopen", {{"source", R"("microphone")"}},
                 joined({requiredCases("source"),
                         textTypeCases("source"),
                         {
                             {"source", R"("system")", reaches},
                             {"source", R"("Microphone")", refused},
                             {"source", R"("system ")", refused},
                             {"source", R"("speaker")", refused},
                             {"source", R"("")", refused},
                         }}));
}

TEST(WireMeeting, MeetingSnapDecodesItsStrictCall) {
  const RawFields call = {{"pid", "4242"}, {"title", R"("Standup")"}};
  expectKeyCases(
      "meeting.snap", {{"call", objectText(call)}, {"neverLook", "[]"}},
      joined({nullableCases("call"), textTypeCases("call"), neverLookCases("neverLook"),
              nestedCases("call", call,
                          joined({requiredCases("pid"),
                                  integerTypeCases("pid", "4242.0"),
                                  nullableCases("title"),
                                  textTypeCases("title"),
                                  {
                                      // "A call's pid is positive." is the controller's answer.
                                      {"pid", "0", reaches},
                                      {"pid", "-1", reaches},
                                      {"title", R"("")", reaches},
                                      {"window", "1", refused},
                                      {"unnamed", "null", refused},
                                  }}))}));
}

TEST(WireMeeting, UnknownTopLevelKeysAreNamedInOrder) {
  struct Case {
    std::string method;
    std::string params;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"meeting.start", R"({"microphone":true,"system":null,"camera":true})",
       "meeting.start takes no camera."},
      {"meeting.reopen", R"({"source":"system","Source":"system"})",
       "meeting.reopen takes no Source."},
      {"meeting.snap", R"({"neverLook":[],"call":null,"title":null,"pid":1})",
       "meeting.snap takes no pid, title."},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), invalidParamsLine(c.message)) << c.params;
  }
}

}  // namespace
}  // namespace halcy::wire
