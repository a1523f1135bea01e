#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Decode.hpp"
#include "Json.hpp"
#include "StageProtocol.hpp"

namespace halcy {
namespace {

TEST(StrictDecoding, IntegersAreWholeSixtyFourBitNumbers) {
  struct Case {
    std::string json;
    std::optional<std::int64_t> expected;
  };
  const std::vector<Case> cases = {
      {"0", 0},
      {"-1", -1},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"18446744073709551616", std::nullopt},
      {"-9223372036854775809", std::nullopt},
      {"1.0", 1},
      {"1e3", 1000},
      {"-0.0", 0},
      {"1.5", std::nullopt},
      {"9.3e18", std::nullopt},
      {"\"1\"", std::nullopt},
      {"true", std::nullopt},
      {"null", std::nullopt},
      {"[1]", std::nullopt},
  };
  for (const auto& c : cases) {
    const Json value = Json::parse(c.json);
    if (c.expected) {
      EXPECT_EQ(decode::integer(value), *c.expected) << c.json;
    } else {
      EXPECT_THROW(decode::integer(value), DecodeError) << c.json;
    }
  }
}

TEST(StrictDecoding, OptionalNullableAndRequiredKeys) {
  const Json object = Json::parse(R"({"n":null,"i":3,"t":"x"})");
  JsonObject params(object);
  EXPECT_EQ(params.optionalInteger("n"), std::nullopt);
  EXPECT_EQ(params.optionalInteger("absent"), std::nullopt);
  EXPECT_EQ(params.optionalInteger("i"), 3);
  EXPECT_THROW(params.optionalInteger("t"), DecodeError);
  EXPECT_EQ(params.nullableInteger("n"), std::nullopt);
  EXPECT_THROW(params.nullableInteger("absent"), DecodeError);
  EXPECT_THROW(params.integer("n"), DecodeError);
  EXPECT_EQ(decode::number(Json::parse("2")), 2.0);
  EXPECT_THROW(JsonObject(Json::parse("[]")), DecodeError);
}

TEST(RequestGates, NeverLookListsPidListsAndNullableKeys) {
  const std::string sixtyFour = [] {
    std::string list;
    for (int i = 0; i < 64; ++i)
      list += std::string(i ? "," : "") + "\"app." + std::to_string(i) + "\"";
    return "[" + list + "]";
  }();
  const std::string sixtyFive = sixtyFour.substr(0, sixtyFour.size() - 1) + ",\"one.more\"]";
  struct Case {
    std::string list;
    bool neverLookAccepted;
  };
  const std::vector<Case> neverLook = {
      {"[]", true},           {sixtyFour, true}, {sixtyFive, false}, {R"(["a",""])", false},
      {R"(["a","a"])", true}, {R"([1])", false}, {"null", false},    {R"("com.example")", false},
  };
  for (const auto& c : neverLook) {
    const Json object = Json::parse(R"({"neverLook":)" + c.list + "}");
    if (c.neverLookAccepted) {
      EXPECT_NO_THROW(NeverLookList::decode(JsonObject(object), "neverLook")) << c.list;
    } else {
      EXPECT_THROW(NeverLookList::decode(JsonObject(object), "neverLook"), DecodeError) << c.list;
    }
  }
  EXPECT_THROW(NeverLookList::decode(JsonObject(Json::object()), "neverLook"), DecodeError);

  const std::vector<Case> pids = {
      {"[]", true},
      {"[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]", true},
      {"[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17]", false},
      {"[0]", false},
      {"[-4]", false},
      {"[1.5]", false},
      {"[9223372036854775807]", true},
  };
  for (const auto& c : pids) {
    const Json object = Json::parse(R"({"excludePids":)" + c.list + "}");
    if (c.neverLookAccepted) {
      EXPECT_NO_THROW(StageCheck::pids(JsonObject(object), "excludePids")) << c.list;
    } else {
      EXPECT_THROW(StageCheck::pids(JsonObject(object), "excludePids"), DecodeError) << c.list;
    }
  }

  auto pidOf = [](const Json& value) { return decode::integer(value); };
  const Json withNull = Json::parse(R"({"pid":null})");
  EXPECT_EQ((decode::nullable<std::int64_t>(JsonObject(withNull), "pid", pidOf)), std::nullopt);
  const Json withPid = Json::parse(R"({"pid":12})");
  EXPECT_EQ((decode::nullable<std::int64_t>(JsonObject(withPid), "pid", pidOf)), 12);
  const Json without = Json::object();
  EXPECT_THROW((decode::nullable<std::int64_t>(JsonObject(without), "pid", pidOf)), DecodeError);
  const Json wrongType = Json::parse(R"({"pid":"12"})");
  EXPECT_THROW((decode::nullable<std::int64_t>(JsonObject(wrongType), "pid", pidOf)), DecodeError);
}

}  // namespace
}  // namespace halcy
