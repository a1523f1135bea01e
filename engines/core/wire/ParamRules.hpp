#pragma once
// Checks that parameter records apply once their keys have decoded. Each failure is a DecodeError,
// so the caller only ever sees the method's "Invalid params for ..." line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy::ParamRules {

inline void require(bool holds, const char* description) {
  if (!holds) throw DecodeError(description);
}

// A NaN fails both comparisons, so it lies outside every range.
template <class T>
T within(T value, T low, T high, const char* description) {
  require(value >= low && value <= high, description);
  return value;
}

// A process id as the screen-facing requests take it: 1 or more.
std::int64_t pid(const JsonObject& params, std::string_view key);

std::string nonEmptyText(const JsonObject& params, std::string_view key, const char* description);

// Decodes every entry of a list of nested objects after checking its length.
template <class Record>
std::vector<Record> records(const JsonObject& params, std::string_view key, std::size_t maxCount,
                            const char* description) {
  const auto& entries = params.list(key);
  require(entries.size() <= maxCount, description);
  std::vector<Record> decoded;
  decoded.reserve(entries.size());
  for (const auto& entry : entries) decoded.push_back(Record::decode(JsonObject(entry)));
  return decoded;
}

}  // namespace halcy::ParamRules
