// Refused keys are listed in code-point order. Sorting by UTF-16 code units instead would put
// a character beyond the basic plane (a surrogate pair, from 0xD800) before the high characters of
// the basic plane such as U+E000 or U+FFFF; this table pins the order across that boundary.

#include <gtest/gtest.h>

#include <string>

#include "WireTestSupport.hpp"

namespace halcy::wire {
namespace {

struct RefusedKeysCase {
  std::string method;
  std::string params;
  std::string message;
};

TEST(WireAudit, RefusedKeysFollowCodePointsAcrossTheBasicPlane) {
  const RefusedKeysCase cases[] = {
      {"permissions.status", R"({"\ud83d\ude00":1,"\uffff":2})",
       "permissions.status takes no \xEF\xBF\xBF, \xF0\x9F\x98\x80."},
      {"keys.state", R"({"\ud800\udc00":1,"\ue000":2,"~":3})",
       "keys.state takes no ~, \xEE\x80\x80, \xF0\x90\x80\x80."},
      {"apps.activate", R"({"pid":1,"\ud83d\ude00":1,"\u00e9":2,"\ufb01":3})",
       "apps.activate takes no \xC3\xA9, \xEF\xAC\x81, \xF0\x9F\x98\x80."},
      {"outline.watch", R"({"pid":null,"\udbff\udfff":1,"\ud800\udc00":2})",
       "outline.watch takes no \xF0\x90\x80\x80, \xF4\x8F\xBF\xBF."},
  };
  WireHarness harness;
  for (const auto& refused : cases) {
    EXPECT_EQ(harness.replyTo(refused.method, refused.params), invalidParamsLine(refused.message))
        << refused.method << " " << refused.params;
  }
}

}  // namespace
}  // namespace halcy::wire
