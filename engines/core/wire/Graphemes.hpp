#pragma once
// User-perceived characters (extended grapheme clusters), the unit of text limits the caller sees:
// an emoji sequence or a letter with combining marks counts once.

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace halcy {

// `utf8` is valid UTF-8, as every decoded JSON string is. Counting stops once `stopAfter` is
// passed, so checking a limit costs no more than the limit.
std::size_t graphemeCount(std::string_view utf8,
                          std::size_t stopAfter = std::numeric_limits<std::size_t>::max());

// The text without Unicode white space (no-break spaces too) and line breaks at either end.
std::string trimmedWhiteSpace(std::string_view utf8);

// The first `count` user-perceived characters of valid UTF-8 text (all of it when shorter).
std::string graphemePrefix(std::string_view utf8, std::size_t count);

}  // namespace halcy
