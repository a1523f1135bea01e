#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireNestedCases.hpp"
#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

constexpr Verdict reaches = Verdict::reaches;
constexpr Verdict refused = Verdict::refused;

// A JSON string of `count` copies of `unit`, written as raw JSON string content.
std::string repeated(std::size_t count, const std::string& unit) {
  std::string text = "\"";
  for (std::size_t index = 0; index < count; ++index) text += unit;
  return text + "\"";
}

// Base64 of `bytes` zero bytes, written out by hand so the test does not lean on the encoder.
std::string zeroBytesBase64(std::size_t bytes) {
  std::string text = "\"";
  for (std::size_t group = 0; group < bytes / 3; ++group) text += "AAAA";
  if (bytes % 3 == 1) text += "AA==";
  if (bytes % 3 == 2) text += "AAA=";
  return text + "\"";
}

TEST(WireDesk, AppsQuitTakesABundleIdAndAPlatformPid) {
  expectKeyCases("apps.quit", {{"bundleId", R"("com.example.velmora")"}, {"pid", "4242"}},
                 joined({requiredCases("bundleId"),
                         textTypeCases("bundleId"),
                         requiredCases("pid"),
                         integerTypeCases("pid", "4242.0"),
                         {
                             {"bundleId", R"("")", refused},
                             {"bundleId", R"(" ")", reaches},
                             {"pid", "1", reaches},
                             {"pid", "2147483647", reaches},
                             {"pid", "2147483648", refused},
                             // No process has these; the quit rule answers them, not the decoder.
                             {"pid", "0", reaches},
                             {"pid", "-1", reaches},
                             {"pid", "-2147483648", reaches},
                             {"pid", "-2147483649", refused},
                         }}));
}

TEST(WireDesk, AppsDescribeTakesOneTo64BundleIdsAndAnIconSize) {
  expectKeyCases("apps.describe", {{"bundleIds", R"(["com.example.mail"])"}, {"iconPx", "16"}},
                 joined({requiredCases("bundleIds"),
                         requiredCases("iconPx"),
                         integerTypeCases("iconPx", "256.0"),
                         {
                             {"bundleIds", rawBundleIds(64), reaches},
                             {"bundleIds", R"(["a","a"])", reaches},
                             {"bundleIds", rawBundleIds(65), refused},
                             {"bundleIds", "[]", refused},
                             {"bundleIds", R"([""])", refused},
                             {"bundleIds", R"(["a",""])", refused},
                             {"bundleIds", "[1]", refused},
                             {"bundleIds", "[null]", refused},
                             {"bundleIds", R"("a")", refused},
                             {"iconPx", "256", reaches},
                             {"iconPx", "15", refused},
                             {"iconPx", "257", refused},
                             {"iconPx", "0", refused},
                             {"iconPx", "-16", refused},
                         }}));
}

TEST(WireDesk, FilesSearchCountsNamesInUserPerceivedCharacters) {
  const std::string combiningE = "e\\u0301";
  const std::string family = "\\ud83d\\udc68\\u200d\\ud83d\\udc69\\u200d\\ud83d\\udc67";
  const std::string flag = "\\ud83c\\uddeb\\ud83c\\uddf7";
  expectKeyCases("files.search",
                 {{"names", R"(["report"])"}, {"limit", "1"}, {"patienceMs", "100"}},
                 joined({requiredCases("names"),
                         requiredCases("limit"),
                         integerTypeCases("limit", "40.0"),
                         requiredCases("patienceMs"),
                         integerTypeCases("patienceMs", "5000.0"),
                         {
                             {"names", rawList(16, R"("x")"), reaches},
                             {"names", R"(["*?\\"])", reaches},
                             {"names", "[" + repeated(128, "a") + "]", reaches},
                             {"names", "[" + repeated(128, combiningE) + "]", reaches},
                             {"names", "[" + repeated(128, family) + "]", reaches},
                             {"names", "[" + repeated(128, flag) + "]", reaches},
                             {"names", "[" + repeated(128, "\\r\\n") + "]", reaches},
                             {"names", "[" + repeated(129, "a") + "]", refused},
                             {"names", "[" + repeated(129, combiningE) + "]", refused},
                             {"names", "[" + repeated(129, family) + "]", refused},
                             {"names", rawList(17, R"("x")"), refused},
                             {"names", "[]", refused},
                             {"names", R"([""])", refused},
                             {"names", R"(["a",""])", refused},
                             {"names", "[1]", refused},
                             {"names", R"("report")", refused},
                             {"limit", "40", reaches},
                             {"limit", "0", refused},
                             {"limit", "41", refused},
                             {"limit", "-1", refused},
                             {"patienceMs", "5000", reaches},
                             {"patienceMs", "99", refused},
                             {"patienceMs", "5001", refused},
                         }}));
}

TEST(WireDesk, DocumentPdfTextTakesStrictBase64OfOneByteTo10MB) {
  expectKeyCases("document.pdfText", {{"data", R"("JVBERi0=")"}},
                 joined({requiredCases("data"),
                         textTypeCases("data"),
                         {
                             {"data", R"("AA==")", reaches},
                             {"data", R"("JVBERi0xLjQK")", reaches},
                             {"data", zeroBytesBase64(10000000), reaches},
                             {"data", zeroBytesBase64(10000001), refused},
                             {"data", R"("")", refused},
                             {"data", R"("JVBERi0")", refused},
                             {"data", R"("JVBE\nRi0=")", refused},
                             {"data", R"("JVBERi0=\n")", refused},
                             {"data", R"("JVBERi0=\r\n")", refused},
                             {"data", R"(" JVBERi0=")", refused},
                             {"data", R"("JVB=Ri0=")", refused},
                             {"data", R"("JVBERi0*")", refused},
                             {"data", R"("JVBERi-_")", refused},
                             {"data", R"("A===")", refused},
                             {"data", R"("====")", refused},
                         }}));
}

TEST(WireDesk, WindowsListLeavesItsListRulesToTheRule) {
  // "Ask about 1 to 32 apps." and "A bundle id is never empty." answer in their own words later.
  expectKeyCases("windows.list", {{"bundleIds", R"(["com.example.mail"])"}},
                 joined({requiredCases("bundleIds"),
                         {
                             {"bundleIds", "[]", reaches},
                             {"bundleIds", rawBundleIds(40), reaches},
                             {"bundleIds", R"([""])", reaches},
                             {"bundleIds", "[1]", refused},
                             {"bundleIds", "[null]", refused},
                             {"bundleIds", R"("a")", refused},
                             {"bundleIds", "{}", refused},
                         }}));
}

TEST(WireDesk, CalendarAndMediaTakeAnyTextForTheirRulesToJudge) {
  expectKeyCases("calendar.events",
                 {{"from", R"("2026-01-01T00:00:00Z")"}, {"to", R"("2026-01-02T00:00:00Z")"}},
                 joined({requiredCases("from"),
                         textTypeCases("from"),
                         requiredCases("to"),
                         textTypeCases("to"),
                         {{"from", R"("yesterday")", reaches}, {"to", R"("")", reaches}}}));
  expectKeyCases("media.decode", {{"path", R"("/tmp/talk.m4a")"}, {"out", R"("/tmp/talk.wav")"}},
                 joined({requiredCases("path"),
                         textTypeCases("path"),
                         requiredCases("out"),
                         textTypeCases("out"),
                         {{"path", R"("talk.m4a")", reaches}, {"out", R"("")", reaches}}}));
}

TEST(WireDesk, UnknownTopLevelKeysAreNamedInOrder) {
  struct Case {
    std::string method;
    std::string params;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"apps.quit", R"({"bundleId":"a","pid":1,"force":true})", "apps.quit takes no force."},
      {"apps.describe", R"({"iconPX":16,"bundleIds":["a"],"IconPx":1})",
       "apps.describe takes no IconPx, iconPX."},
      {"files.search", R"({"names":["a"],"limit":1,"patienceMs":100,"scope":"~"})",
       "files.search takes no scope."},
      {"document.pdfText", R"({"bytes":""})", "document.pdfText takes no bytes."},
      {"windows.list", R"({"bundleIds":[],"pids":[]})", "windows.list takes no pids."},
      {"calendar.events", R"({"from":"","to":"","calendars":[]})",
       "calendar.events takes no calendars."},
      {"media.decode", R"({"path":"/a.m4a","out":"/a.wav","rate":8000})",
       "media.decode takes no rate."},
  };
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(c.method, c.params), invalidParamsLine(c.message)) << c.params;
  }
}

}  // namespace
}  // namespace halcy::wire
