#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireNestedCases.hpp"
#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

constexpr Verdict reaches = Verdict::reaches;
constexpr Verdict refused = Verdict::refused;

const RawFields validRect = {{"x", "0"}, {"y", "-20"}, {"width", "100"}, {"height", "50.5"}};
const RawFields validPoint = {{"x", "3"}, {"y", "4.5"}};
const RawFields validPiece = {{"capture", "1"}, {"rect", objectText(validRect)}, {"marks", "[1]"}};
const RawFields validMark = {
    {"n", "1"},
    {"kind", R"("arrow")"},
    {"line", "[" + objectText(validPoint) + "," + objectText(validPoint) + "]"},
    {"focus", objectText(validRect)},
    {"from", "null"},
    {"to", objectText(validPoint)}};
const RawFields validCompose = {{"pieces", inOneEntryList(objectText(validPiece))},
                                {"marks", inOneEntryList(objectText(validMark))},
                                {"context", "null"},
                                {"readText", "true"}};

// Count rules shared by the two lists of a compose: at most five entries, each an object.
std::vector<KeyCase> fiveAtMost(const std::string& key, const RawFields& entry) {
  return joined({requiredCases(key),
                 {
                     {key, "[]", reaches},
                     {key, rawList(5, objectText(entry)), reaches},
                     {key, rawList(6, objectText(entry)), refused},
                     {key, "[1]", refused},
                     {key, "[null]", refused},
                     {key, objectText(entry), refused},
                 }});
}

std::vector<KeyCase> pieceCases() {
  return joined({requiredCases("capture"),
                 integerTypeCases("capture", "1.0"),
                 {{"capture", "0", reaches}, {"capture", "-1", refused}},
                 requiredCases("rect"),
                 nestedCases("rect", validRect, rectCases()),
                 requiredCases("marks"),
                 {
                     {"marks", "[]", reaches},
                     {"marks", "[1,2,3,4,5]", reaches},
                     {"marks", "[2.0]", reaches},
                     {"marks", rawList(6, "1"), refused},
                     {"marks", "[0]", refused},
                     {"marks", "[-1]", refused},
                     {"marks", "[1.5]", refused},
                     {"marks", R"(["1"])", refused},
                     {"marks", "[null]", refused},
                     {"marks", "1", refused},
                     unknownNestedKey(),
                 }});
}

std::vector<KeyCase> markCases() {
  std::vector<KeyCase> kinds;
  for (const char* kind : {"region", "point", "underline", "arrow", "cross"}) {
    kinds.push_back({"kind", "\"" + std::string(kind) + "\"", reaches});
  }
  for (const char* wrong : {"Arrow", "circle", "", " point"}) {
    kinds.push_back({"kind", "\"" + std::string(wrong) + "\"", refused});
  }
  return joined({requiredCases("n"),
                 integerTypeCases("n", "1.0"),
                 {{"n", "9223372036854775807", reaches}, {"n", "0", refused}, {"n", "-1", refused}},
                 requiredCases("kind"),
                 textTypeCases("kind"),
                 kinds,
                 requiredCases("line"),
                 {
                     {"line", "[]", reaches},
                     {"line", rawList(4000, objectText(validPoint)), reaches},
                     {"line", rawList(4001, objectText(validPoint)), refused},
                     {"line", "[null]", refused},
                     {"line", "[[3,4]]", refused},
                     {"line", objectText(validPoint), refused},
                 },
                 nestedCases("line", validPoint, pointCases(), inOneEntryList),
                 requiredCases("focus"),
                 nestedCases("focus", validRect, rectCases()),
                 nullableCases("from"),
                 nestedCases("from", validPoint, pointCases()),
                 nullableCases("to"),
                 nestedCases("to", validPoint, pointCases()),
                 {unknownNestedKey()}});
}

TEST(WireInk, InkCaptureTakesAPointAndTheGates) {
  expectKeyCases(
      "ink.capture", {{"x", "-10.5"}, {"y", "20"}, {"excludePids", "[]"}, {"neverLook", "[]"}},
      joined({requiredCases("x"), numberTypeCases("x"), requiredCases("y"), numberTypeCases("y"),
              pidListCases("excludePids"), neverLookCases("neverLook")}));
}

TEST(WireInk, InkComposeDecodesEveryPieceAndMark) {
  expectKeyCases("ink.compose", validCompose,
                 joined({fiveAtMost("pieces", validPiece),
                         nestedCases("pieces", validPiece, pieceCases(), inOneEntryList),
                         fiveAtMost("marks", validMark),
                         nestedCases("marks", validMark, markCases(), inOneEntryList),
                         nullableCases("context"),
                         integerTypeCases("context", "3.0"),
                         {{"context", "0", reaches}, {"context", "-1", refused}},
                         requiredCases("readText"),
                         booleanTypeCases("readText")}));
}

TEST(WireInk, InkComposeRefusesABadEntryAnywhereInAList) {
  const std::string piece = objectText(validPiece);
  const std::string badPiece = objectText(varied(validPiece, {"capture", "-1", refused}));
  const std::string mark = objectText(validMark);
  const std::string badMark = objectText(varied(validMark, {"n", "0", refused}));
  expectKeyCases("ink.compose", validCompose,
                 {
                     {"pieces", "[" + piece + "," + piece + "," + badPiece + "]", refused},
                     {"marks", "[" + mark + "," + badMark + "]", refused},
                 });
}

TEST(WireInk, InkReleaseTakesUpToEightHandles) {
  expectKeyCases(
      "ink.release", {{"captures", "[1]"}},
      joined({cappedIntegerListCases("captures", 8, 0),
              {{"captures", rawList(8, "1"), reaches}, {"captures", "[1,-1]", refused}}}));
}

TEST(WireInk, UnknownTopLevelKeysAreNamedInOrder) {
  struct Case {
    std::string method;
    std::string params;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"ink.capture", R"({"x":0,"y":0,"excludePids":[],"neverLook":[],"display":1})",
       "ink.capture takes no display."},
      {"ink.compose", objectText(varied(validCompose, {"image", "null", reaches})),
       "ink.compose takes no image."},
      {"ink.release", R"({"capture":[1],"captures":[]})", "ink.release takes no capture."},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), invalidParamsLine(c.message)) << c.params;
  }
}

}  // namespace
}  // namespace halcy::wire
