#include <gtest/gtest.h>

#include "Base64.hpp"

namespace halcy {
namespace {

TEST(Base64, RoundTripsTheRfcVectors) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string_view("\xff\xfe\x00", 3), "//4A"},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(base64Encode(bytes), text);
    EXPECT_EQ(base64Decode(text), std::string(bytes)) << text;
  }
}

TEST(Base64, RefusesTextThatIsNotCanonical) {
  for (const std::string_view text :
       {"Zg", "Zg=", " Zm9v", "Zm9v\n", "Zm=v", "Z===", "Zm9v====", "Zm-v", "Zm_v"}) {
    EXPECT_EQ(base64Decode(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace halcy
