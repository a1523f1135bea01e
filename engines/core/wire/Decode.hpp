#pragma once
// The one vocabulary of parameter rules: strict readers of a key that also check its range, its
// length or its keys. Every failure is a DecodeError, so the caller only ever sees the method's
// "Invalid params for ..." line; the descriptions only help tests and debugging.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy::decode {

inline constexpr const char* outOfRange = "Out of range.";

inline void require(bool holds, const char* description) {
  if (!holds) throw DecodeError(description);
}

// A NaN fails both comparisons, so it lies outside every range.
template <class T>
T within(T value, T low, T high, const char* description = outOfRange) {
  require(value >= low && value <= high, description);
  return value;
}

// The key must be present; null means no value.
template <class T, class Decode>
std::optional<T> nullable(const JsonObject& container, std::string_view key, Decode decodeValue) {
  container.requireKey(key);
  if (!container.holdsValue(key)) return std::nullopt;
  return decodeValue(container.json().at(std::string(key)));
}

std::int64_t integerWithin(const JsonObject& params, std::string_view key, std::int64_t low,
                           std::int64_t high, const char* description = outOfRange);
// Present; when not null, within low..high.
std::optional<std::int64_t> nullableIntegerWithin(const JsonObject& params, std::string_view key,
                                                  std::int64_t low, std::int64_t high);

// A process id as requests name one: 1 or more.
std::int64_t pid(const JsonObject& params, std::string_view key);
// Absent or null means none.
std::optional<std::int64_t> optionalPid(const JsonObject& params, std::string_view key);
// Present; null means none.
std::optional<std::int64_t> nullablePid(const JsonObject& params, std::string_view key);

// A required text of at least one character.
std::string nonEmptyText(const JsonObject& params, std::string_view key);

// A list of at most `maxCount` texts, none of them empty.
std::vector<std::string> nonEmptyTexts(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount, const char* description = outOfRange);

// A list of at most `maxCount` integers, each at least `low`.
std::vector<std::int64_t> integersFrom(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount, std::int64_t low,
                                       const char* description = outOfRange);

// Decodes every entry of a list of at most `maxCount` nested objects, counted first.
template <class Record>
std::vector<Record> records(const JsonObject& params, std::string_view key, std::size_t maxCount) {
  const auto& entries = params.list(key);
  require(entries.size() <= maxCount, outOfRange);
  std::vector<Record> decoded;
  decoded.reserve(entries.size());
  for (const auto& entry : entries) decoded.push_back(Record::decode(JsonObject(entry)));
  return decoded;
}

// For the few nested objects that refuse keys they do not name ("Unknown keys."); every other
// nested object ignores them.
void onlyKeys(const JsonObject& object, std::span<const std::string_view> allowed);

}  // namespace halcy::decode
