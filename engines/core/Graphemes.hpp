#pragma once
// User-perceived characters (extended grapheme clusters), the unit of text limits the caller sees:
// an emoji sequence or a letter with combining marks counts once.

#include <cstddef>
#include <string_view>

namespace halcy {

// `utf8` is valid UTF-8, as every decoded JSON string is.
std::size_t graphemeCount(std::string_view utf8);

}  // namespace halcy
