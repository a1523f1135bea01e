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

// The longest prefix of whole user-perceived characters that is at most `maxUtf16Units` UTF-16
// code units long.
std::string_view prefixWithinUtf16(std::string_view utf8, std::size_t maxUtf16Units);

// Text from outside the wire (file names, files read from disk) may be any bytes; the wire carries
// only UTF-8.
bool isUtf8(std::string_view bytes);
// Each ill-formed sequence replaced by U+FFFD.
std::string asUtf8(std::string_view bytes);

}  // namespace halcy
