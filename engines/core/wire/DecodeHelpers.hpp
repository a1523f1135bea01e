#pragma once
// Range and length checks that parameter records apply once a key has decoded. Every failure is a
// DecodeError, so the caller only ever sees the method's "Invalid params for ..." line.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy::decode {

inline constexpr const char* outOfRange = "Out of range.";

// The key's integer, refused unless low <= value <= high.
std::int64_t integerWithin(const JsonObject& params, std::string_view key, std::int64_t low,
                           std::int64_t high);

// A required key that may hold null; a present integer must lie within low..high.
std::optional<std::int64_t> nullableIntegerWithin(const JsonObject& params, std::string_view key,
                                                  std::int64_t low, std::int64_t high);

// A list of integers of at most `maxCount` entries, each at least `low`.
std::vector<std::int64_t> integersFrom(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount, std::int64_t low);

// A list of at most `maxCount` texts, none of them empty.
std::vector<std::string> nonEmptyTexts(const JsonObject& params, std::string_view key,
                                       std::size_t maxCount);

// Length in UTF-16 code units, the unit the caller's own strings count in: a character beyond the
// basic plane counts twice. The text is valid UTF-8, as every decoded JSON string is.
std::size_t utf16Length(std::string_view utf8);

}  // namespace halcy::decode
