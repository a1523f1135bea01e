#pragma once
// The two nested objects that refuse keys they do not name: a meeting's "system" object and the
// call of a meeting snap. Every other nested object ignores unknown keys.

#include <initializer_list>
#include <set>
#include <string>
#include <string_view>

#include "Json.hpp"

namespace halcy::StrictKeys {

std::set<std::string> names(const JsonObject& object);

// Throws a DecodeError "Unknown keys." when the object holds a key outside `allowed`.
void check(const JsonObject& object, std::initializer_list<std::string_view> allowed);

}  // namespace halcy::StrictKeys
