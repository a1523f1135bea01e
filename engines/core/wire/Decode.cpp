#include "Decode.hpp"

#include <algorithm>
#include <limits>

namespace halcy::decode {

namespace {
constexpr std::int64_t noUpperBound = std::numeric_limits<std::int64_t>::max();
}

std::int64_t integerWithin(const JsonObject& params, std::string_view key, std::int64_t low,
                           std::int64_t high, const char* description) {
  return within(params.integer(key), low, high, description);
}

std::optional<std::int64_t> nullableIntegerWithin(const JsonObject& params, std::string_view key,
                                                  std::int64_t low, std::int64_t high) {
  return nullable<std::int64_t>(
      params, key, [&](const Json& value) { return within(integer(value), low, high); });
}

std::int64_t pid(const JsonObject& params, std::string_view key) {
  return integerWithin(params, key, 1, noUpperBound, "Not a pid.");
}

std::optional<std::int64_t> optionalPid(const JsonObject& params, std::string_view key) {
  if (!params.holdsValue(key)) return std::nullopt;
  return pid(params, key);
}

std::optional<std::int64_t> nullablePid(const JsonObject& params, std::string_view key) {
  params.requireKey(key);
  return optionalPid(params, key);
}

std::string nonEmptyText(const JsonObject& params, std::string_view key) {
  std::string value = params.text(key);
  require(!value.empty(), "Empty.");
  return value;
}

std::vector<std::string> nonEmptyTexts(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount, const char* description) {
  auto values = params.texts(key);
  require(values.size() <= maxCount &&
              std::none_of(values.begin(), values.end(),
                           [](const std::string& value) { return value.empty(); }),
          description);
  return values;
}

std::vector<std::int64_t> integersFrom(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount, std::int64_t low,
                                       const char* description) {
  auto values = params.integers(key);
  require(
      values.size() <= maxCount && std::all_of(values.begin(), values.end(),
                                               [low](std::int64_t value) { return value >= low; }),
      description);
  return values;
}

void onlyKeys(const JsonObject& object, std::span<const std::string_view> allowed) {
  for (const auto& name : object.keys()) {
    require(std::find(allowed.begin(), allowed.end(), name) != allowed.end(), "Unknown keys.");
  }
}

}  // namespace halcy::decode
