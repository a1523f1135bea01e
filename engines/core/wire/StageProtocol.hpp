#pragma once
// Decoding gates shared by requests that look at the user's screen: a malformed never-look list,
// pid list or missing nullable key fails the whole request before any area is called.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

namespace NeverLookList {
// At most 64 non-empty bundle identifiers, order and duplicates kept.
std::vector<std::string> decode(const JsonObject& container, std::string_view key);
}  // namespace NeverLookList

namespace StageCheck {
// At most 16 process ids, each at least 1.
std::vector<std::int64_t> pids(const JsonObject& container, std::string_view key);

// The key must be present; null means no value.
template <class T, class Decode>
std::optional<T> nullable(const JsonObject& container, std::string_view key, Decode decodeValue) {
  container.requireKey(key);
  if (!container.holdsValue(key)) return std::nullopt;
  return decodeValue(container.json().at(std::string(key)));
}
}  // namespace StageCheck

}  // namespace halcy
