#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Text.hpp"

namespace halcy {
namespace {

TEST(Graphemes, CountsUserPerceivedCharacters) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t clusters;
    std::size_t utf16;
  };
  const std::vector<Case> cases = {
      {"empty", "", 0, 0},
      {"ascii", "abc", 3, 3},
      {"line feeds count", "a\nb", 3, 3},
      {"CR LF is one", "a\r\nb", 3, 4},
      {"precomposed accent", "\xC3\xA9", 1, 1},
      {"combining accent", "e\xCC\x81", 1, 2},
      {"two combining marks", "a\xCC\x81\xCC\xA3z", 2, 4},
      {"flag", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", 1, 4},
      {"two flags", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", 2, 8},
      {"emoji", "\xF0\x9F\x98\x80", 1, 2},
      {"family joined by ZWJ",
       "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1, 8},
      {"skin tone", "\xF0\x9F\x91\x8B\xF0\x9F\x8F\xBD", 1, 4},
      {"hangul jamo", "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", 1, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Graphemes::count(c.text), c.clusters) << c.name;
    EXPECT_EQ(utf16Length(c.text), c.utf16) << c.name;
  }
  EXPECT_EQ(Graphemes::count("abcdef", 2), 2U);
}

TEST(Graphemes, PrefixKeepsWholeClusters) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t count;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"none asked", "abc", 0, ""},
      {"shorter than asked", "ab", 5, "ab"},
      {"cut in ascii", "abcdef", 2, "ab"},
      {"combining accent stays whole", "e\xCC\x81tude", 1, "e\xCC\x81"},
      {"fewer bytes than asked, more clusters", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 1,
       "\xF0\x9F\x98\x80"},
      {"flag pair", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAAx", 1, "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"},
  };
  for (const auto& c : cases) EXPECT_EQ(Graphemes::prefix(c.text, c.count), c.expected) << c.name;
}

TEST(TrimmedText, RemovesUnicodeWhiteSpaceAndLineBreaksAtBothEndsOnly) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {" \n\t\r ", ""},
      {"plain", "plain"},
      {"  two words \n", "two words"},
      {"\nfirst\nsecond\n", "first\nsecond"},
      {"\xC2\xA0no-break spaces\xE2\x80\x83", "no-break spaces"},
      {"\xE2\x80\xA8line separator", "line separator"},
      {"inner\xC2\xA0space", "inner\xC2\xA0space"},
      {"\xE2\x80\x8Bzero width is no space", "\xE2\x80\x8Bzero width is no space"},
  };
  for (const auto& c : cases) EXPECT_EQ(trimmedText(c.text), c.expected) << c.text;
}

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
