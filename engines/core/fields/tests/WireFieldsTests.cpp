#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

struct ParamsCase {
  const char* params;
  bool reaches;
};

// A request that decodes reaches the (unbuilt) field area; one that does not earns the method's
// "Invalid params" line and never reaches it.
void expectDecoding(const char* method, const std::vector<ParamsCase>& cases) {
  WireHarness harness;
  for (const auto& c : cases) {
    EXPECT_EQ(harness.replyTo(method, c.params), c.reaches ? notBuiltLine : refusedLine(method))
        << method << " " << c.params;
  }
}

TEST(WireFields, FocusReadTakesACountUpTo6000AndAPositivePid) {
  expectDecoding("focus.read", {
                                   {R"({"surroundingChars":0})", true},
                                   {R"({"surroundingChars":6000})", true},
                                   {R"({"surroundingChars":6000.0})", true},
                                   {R"({"surroundingChars":6001})", false},
                                   {R"({"surroundingChars":-1})", false},
                                   {R"({"surroundingChars":-9223372036854775808})", false},
                                   {R"({"surroundingChars":9223372036854775807})", false},
                                   {R"({"surroundingChars":1.5})", false},
                                   {R"({"surroundingChars":"10"})", false},
                                   {R"({"surroundingChars":null})", false},
                                   {R"({})", false},
                                   {R"({"pid":5})", false},
                                   {R"({"surroundingChars":10,"pid":1})", true},
                                   {R"({"surroundingChars":10,"pid":4294967296})", true},
                                   {R"({"surroundingChars":10,"pid":null})", true},
                                   {R"({"surroundingChars":10,"pid":0})", false},
                                   {R"({"surroundingChars":10,"pid":-5})", false},
                                   {R"({"surroundingChars":10,"pid":"5"})", false},
                                   {R"({"surroundingChars":10,"pid":true})", false},
                               });
}

TEST(WireFields, HandlesAndSnapshotsMustNotBeEmpty) {
  expectDecoding("element.value", {
                                      {R"({"handle":"1"})", true},
                                      {R"({"handle":"no such"})", true},
                                      {R"({"handle":""})", false},
                                      {R"({"handle":1})", false},
                                      {R"({"handle":null})", false},
                                      {R"({})", false},
                                  });
  expectDecoding("clipboard.release", {
                                          {R"({"snapshot":"1"})", true},
                                          {R"({"snapshot":""})", false},
                                          {R"({"snapshot":1})", false},
                                          {R"({})", false},
                                      });
  expectDecoding("clipboard.restore", {
                                          {R"({"snapshot":"1","ifChangeCount":3})", true},
                                          {R"({"snapshot":"1","ifChangeCount":-3})", true},
                                          {R"({"snapshot":"","ifChangeCount":3})", false},
                                          {R"({"snapshot":"1"})", false},
                                          {R"({"snapshot":"1","ifChangeCount":null})", false},
                                          {R"({"snapshot":"1","ifChangeCount":"3"})", false},
                                          {R"({"snapshot":"1","ifChangeCount":3.5})", false},
                                          {R"({"ifChangeCount":3})", false},
                                      });
}

TEST(WireFields, ClipboardWriteNeedsTextAndTheTransientFlag) {
  expectDecoding("clipboard.write", {
                                        {R"({"text":"hi","transient":false})", true},
                                        {R"({"text":"","transient":true})", true},
                                        {R"({"text":"hi"})", false},
                                        {R"({"transient":true})", false},
                                        {R"({"text":null,"transient":true})", false},
                                        {R"({"text":5,"transient":true})", false},
                                        {R"({"text":"hi","transient":1})", false},
                                        {R"({"text":"hi","transient":"true"})", false},
                                    });
}

TEST(WireFields, MethodsWithoutParamsTakeNoKeys) {
  WireHarness harness;
  for (const char* method : {"focus.prime", "clipboard.save", "input.paste"}) {
    EXPECT_EQ(harness.replyTo(method, "{}"), notBuiltLine) << method;
    EXPECT_EQ(harness.replyTo(method, R"({"b":1,"a":2})"),
              invalidParamsLine(std::string(method) + " takes no a, b."))
        << method;
    EXPECT_EQ(harness.replyTo(method, "[]"), refusedLine(method)) << method;
  }
}

TEST(WireFields, UnknownKeysAreListedBeforeAnyOtherCheck) {
  WireHarness harness;
  EXPECT_EQ(harness.replyTo("focus.read", R"({"zeta":1,"surroundingChars":-1,"alpha":2})"),
            invalidParamsLine("focus.read takes no alpha, zeta."));
  EXPECT_EQ(harness.replyTo("clipboard.write", R"({"text":"x","transient":true,"html":"<b>"})"),
            invalidParamsLine("clipboard.write takes no html."));
}

}  // namespace
}  // namespace halcy::wire
