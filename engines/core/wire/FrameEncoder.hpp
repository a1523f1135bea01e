#pragma once
// Writes one frame as compact JSON: slashes plain, UTF-8 out, fields in their order. Frames carry
// large Base64 texts (pictures, audio), so strings are copied in runs and only the bytes that JSON
// needs escaped, or that must be checked as UTF-8, are looked at one by one.

#include <optional>
#include <string>

#include "Json.hpp"

namespace halcy {

// No text when the frame holds something JSON cannot spell: NaN, an infinity, bytes that are not
// UTF-8.
std::optional<std::string> encodeFrame(const Json& frame);

}  // namespace halcy
