#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Graphemes.hpp"

namespace halcy {
namespace {

// Names on disk and text in files are bytes; what reaches the wire must be UTF-8.
TEST(Utf8, IllFormedBytesAreFoundAndReplaced) {
  struct Case {
    std::string bytes;
    bool wellFormed;
    std::string replaced;
  };
  const std::string mark = "\xEF\xBF\xBD";
  const std::vector<Case> cases = {
      {"plain", true, "plain"},
      {"", true, ""},
      {std::string("nul\0inside", 10), true, std::string("nul\0inside", 10)},
      {"caf\xC3\xA9", true, "caf\xC3\xA9"},
      {"\xF0\x9F\x98\x80", true, "\xF0\x9F\x98\x80"},
      {"caf\xE9", false, "caf" + mark},
      {"\xC3", false, mark},
      {"\xC0\xAF", false, mark + mark},
      {"\xED\xA0\x80", false, mark + mark + mark},
      {"a\xFF"
       "b\xFE",
       false, "a" + mark + "b" + mark},
      {"\xF4\x90\x80\x80", false, mark + mark + mark + mark},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isUtf8(c.bytes), c.wellFormed) << c.bytes;
    EXPECT_EQ(asUtf8(c.bytes), c.replaced) << c.bytes;
    EXPECT_TRUE(isUtf8(asUtf8(c.bytes)));
  }
}

}  // namespace
}  // namespace halcy
