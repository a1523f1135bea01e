#include "DecodeHelpers.hpp"

#include <algorithm>

#include "ParamRules.hpp"
#include "StageProtocol.hpp"

namespace halcy::decode {

namespace {
void require(bool holds) {
  ParamRules::require(holds, outOfRange);
}
}  // namespace

std::int64_t integerWithin(const JsonObject& params, std::string_view key, std::int64_t low,
                           std::int64_t high) {
  return ParamRules::within(params.integer(key), low, high, outOfRange);
}

std::optional<std::int64_t> nullableIntegerWithin(const JsonObject& params, std::string_view key,
                                                  std::int64_t low, std::int64_t high) {
  auto value = StageCheck::nullable<std::int64_t>(params, key, decode::integer);
  if (value) ParamRules::within(*value, low, high, outOfRange);
  return value;
}

std::vector<std::int64_t> integersFrom(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount, std::int64_t low) {
  auto values = params.integers(key);
  require(values.size() <= maxCount);
  require(std::all_of(values.begin(), values.end(),
                      [low](std::int64_t value) { return value >= low; }));
  return values;
}

std::vector<std::string> nonEmptyTexts(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount) {
  auto values = params.texts(key);
  require(values.size() <= maxCount);
  require(std::none_of(values.begin(), values.end(),
                       [](const std::string& value) { return value.empty(); }));
  return values;
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (const char signedByte : utf8) {
    const auto byte = static_cast<unsigned char>(signedByte);
    const bool startsCharacter = (byte & 0xC0) != 0x80;
    const bool beyondBasicPlane = (byte & 0xF8) == 0xF0;
    units += static_cast<std::size_t>(startsCharacter) + static_cast<std::size_t>(beyondBasicPlane);
  }
  return units;
}

}  // namespace halcy::decode
