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

// The first `count` user-perceived characters of the text (all of it when it has fewer).
std::string graphemePrefix(std::string_view utf8, std::size_t count);

// White space and line breaks (Unicode White_Space) removed from both ends.
std::string trimmedText(std::string_view utf8);

}  // namespace halcy
