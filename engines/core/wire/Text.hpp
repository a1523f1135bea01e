#pragma once
// Text as the caller measures it: user-perceived characters (extended grapheme clusters), where an
// emoji sequence or a letter with combining marks counts once, and UTF-16 code units, the unit the
// caller's own strings count in. Every text is valid UTF-8, as every decoded JSON string is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halcy {

// A character beyond the basic plane counts twice.
std::size_t utf16Length(std::string_view text);

// Every Unicode white space (no-break spaces too) and line break removed from both ends, as the
// caller's platform trims.
std::string trimmedText(std::string_view text);

// All fail with an EngineFailure "failed" when the text cannot be segmented.
namespace Graphemes {
// Counts clusters, stopping once `limit` is reached, so checking a limit costs no more than it.
std::size_t count(std::string_view text, std::size_t limit = SIZE_MAX);
// The first `count` clusters of the text.
std::string prefix(std::string_view text, std::size_t count);
// The longest prefix of whole clusters that is at most `maxUtf16Units` UTF-16 code units long.
std::string prefixWithinUtf16(std::string_view text, std::size_t maxUtf16Units);
}  // namespace Graphemes

// Text from outside the wire (file names, files read from disk) may be any bytes; the wire carries
// only UTF-8.
bool isUtf8(std::string_view bytes);
// Each ill-formed sequence replaced by U+FFFD.
std::string asUtf8(std::string_view bytes);

}  // namespace halcy
