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

const RawFields validScreenRead = {{"pid", "501"}, {"maxChars", "16000"}, {"neverLook", "[]"}};

const RawFields validScreenCapture = {{"pid", "null"},
                                      {"excludePids", "[]"},
                                      {"neverLook", "[]"},
                                      {"longEdge", "1568"},
                                      {"quality", "1.0"}};

const RawFields validRegionRect = {
    {"x", "-1920.5"}, {"y", "-40"}, {"width", "8"}, {"height", "4096"}};

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

TEST(WireScreen, UnknownTopLevelKeysAreNamedInOrder) {
  struct Case {
    std::string method;
    std::string params;
    std::string message;
  };
  const std::vector<Case> cases = {
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

}  // namespace
}  // namespace halcy::wire
