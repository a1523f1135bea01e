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

// Keys that must be sent but may hold null.
std::vector<KeyCase> nullableCases(const std::string& key) {
  return {{key, std::nullopt, refused}, {key, "null", reaches}};
}

TEST(WireMeeting, MeetingStartDecodesItsStrictSystemObject) {
  const RawFields system = {{"excludePids", "[]"}};
  expectKeyCases("meeting.start", {{"microphone", "true"}, {"system", objectText(system)}},
                 joined({requiredCases("microphone"), booleanTypeCases("microphone"),
                         nullableCases("system"), textTypeCases("system"),
                         nestedCases("system", system,
                                     joined({requiredCases("excludePids"),
                                             {
                                                 {"excludePids", "[1,2]", reaches},
                                                 {"excludePids", "[1.0]", reaches},
                                                 // Counts and signs are the start rules' to answer.
                                                 {"excludePids", rawList(17, "1"), reaches},
                                                 {"excludePids", "[0]", reaches},
                                                 {"excludePids", "[-1]", reaches},
                                                 {"excludePids", "[1.5]", refused},
                                                 {"excludePids", R"(["1"])", refused},
                                                 {"excludePids", "[true]", refused},
                                                 {"excludePids", "[null]", refused},
                                                 {"excludePids", "[9223372036854775808]", refused},
                                                 {"excludePids", "1", refused},
                                                 {"excludePids", "{}", refused},
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

const RawFields validScreenRead = {{"pid", "501"}, {"maxChars", "16000"}, {"neverLook", "[]"}};

TEST(WireScreen, ScreenReadTakesAPidAndUpTo16000Characters) {
  expectKeyCases("screen.read", validScreenRead,
                 joined({requiredCases("pid"),
                         integerTypeCases("pid", "501.0"),
                         requiredCases("maxChars"),
                         integerTypeCases("maxChars", "1.0"),
                         neverLookCases("neverLook"),
                         {
                             {"pid", "1", reaches},
                             {"pid", "9223372036854775807", reaches},
                             {"pid", "0", refused},
                             {"pid", "-1", refused},
                             {"maxChars", "1", reaches},
                             {"maxChars", "0", refused},
                             {"maxChars", "16001", refused},
                             {"maxChars", "-16000", refused},
                         }}));
}

const RawFields validScreenCapture = {{"pid", "null"},
                                      {"excludePids", "[]"},
                                      {"neverLook", "[]"},
                                      {"longEdge", "1568"},
                                      {"quality", "1.0"}};

TEST(WireScreen, ScreenCaptureChecksEveryRange) {
  expectKeyCases("screen.capture", validScreenCapture,
                 joined({nullableCases("pid"),
                         integerTypeCases("pid", "7.0"),
                         pidListCases("excludePids"),
                         neverLookCases("neverLook"),
                         requiredCases("longEdge"),
                         integerTypeCases("longEdge", "64.0"),
                         requiredCases("quality"),
                         {
                             {"pid", "1", reaches},
                             {"pid", "0", refused},
                             {"pid", "-1", refused},
                             {"longEdge", "64", reaches},
                             {"longEdge", "63", refused},
                             {"longEdge", "1569", refused},
                             {"longEdge", "0", refused},
                             {"quality", "0.1", reaches},
                             {"quality", "1", reaches},
                             {"quality", "0.5", reaches},
                             {"quality", "0.09", refused},
                             {"quality", "0.0999999", refused},
                             {"quality", "1.01", refused},
                             {"quality", "1.0000001", refused},
                             {"quality", "0", refused},
                             {"quality", "-0.5", refused},
                             {"quality", R"("0.5")", refused},
                             {"quality", "true", refused},
                         }}));
}

const RawFields validRegionRect = {
    {"x", "-1920.5"}, {"y", "-40"}, {"width", "8"}, {"height", "4096"}};

TEST(WireScreen, ScreenRegionTakesARectOf8To4096Points) {
  const std::vector<KeyCase> rectRanges = {
      {"width", "8.0", reaches},    {"width", "4096", reaches},     {"width", "7.9", refused},
      {"width", "4096.5", refused}, {"width", "0", refused},        {"width", "-8", refused},
      {"height", "8", reaches},     {"height", "1024.25", reaches}, {"height", "7.99", refused},
      {"height", "4097", refused},  {"height", "-4096", refused},   {"x", "1e6", reaches},
      {"unnamed", "true", reaches},
  };
  expectKeyCases(
      "screen.region",
      {{"rect", objectText(validRegionRect)},
       {"excludePids", "[]"},
       {"neverLook", "[]"},
       {"quality", "0.5"}},
      joined({requiredCases("rect"),
              textTypeCases("rect"),
              nestedCases("rect", validRegionRect,
                          joined({requiredCases("x"), numberTypeCases("x"), requiredCases("y"),
                                  numberTypeCases("y"), requiredCases("width"),
                                  requiredCases("height"), rectRanges})),
              pidListCases("excludePids"),
              neverLookCases("neverLook"),
              requiredCases("quality"),
              {
                  {"quality", "0.1", reaches},
                  {"quality", "1", reaches},
                  {"quality", "0.09", refused},
                  {"quality", "1.01", refused},
                  {"quality", R"("1")", refused},
              }}));
}

TEST(WireScreen, StructureReadTakesAPidAndANonEmptyBundleId) {
  expectKeyCases("structure.read",
                 {{"pid", "501"}, {"bundleId", R"("com.example.mail")"}, {"neverLook", "[]"}},
                 joined({requiredCases("pid"),
                         integerTypeCases("pid", "501.0"),
                         requiredCases("bundleId"),
                         textTypeCases("bundleId"),
                         neverLookCases("neverLook"),
                         {
                             {"pid", "1", reaches},
                             {"pid", "0", refused},
                             {"pid", "-501", refused},
                             {"bundleId", R"(" ")", reaches},
                             {"bundleId", R"("")", refused},
                         }}));
}

TEST(WireMeetingScreen, UnknownTopLevelKeysAreNamedInOrder) {
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
      {"screen.read", objectText(varied(validScreenRead, {"bundleId", "1", reaches})),
       "screen.read takes no bundleId."},
      {"screen.capture", objectText(varied(validScreenCapture, {"rect", "{}", reaches})),
       "screen.capture takes no rect."},
      {"screen.region", R"({"longEdge":64,"rect":null})", "screen.region takes no longEdge."},
      {"structure.read", R"({"maxChars":1,"bundleId":""})", "structure.read takes no maxChars."},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), invalidParamsLine(c.message)) << c.params;
  }
}

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
