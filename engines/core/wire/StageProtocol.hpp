#pragma once
// Decoding gates shared by requests that look at the user's screen: a malformed never-look list or
// pid list fails the whole request before any area is called. Keys that must be sent but may hold
// null are read with decode::nullable.

#include <cstdint>
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
}  // namespace StageCheck

}  // namespace halcy
