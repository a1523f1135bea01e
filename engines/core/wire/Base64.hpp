#pragma once
// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks), the one encoding of bytes on
// the wire.

#include <optional>
#include <string>
#include <string_view>

namespace halcy {

std::string base64Encode(std::string_view bytes);
// Nothing for text that is not canonical padded Base64 (wrong length, stray characters or padding).
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace halcy
