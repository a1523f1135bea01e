#include "Graphemes.hpp"

#include <unicode/ubrk.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>
#include <stdexcept>

#include "DecodeHelpers.hpp"

namespace halcy {

namespace {

struct TextCloser {
  void operator()(UText* text) const { utext_close(text); }
};

struct BreakCloser {
  void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

// Character boundaries over UTF-8 text; the text must outlive it.
struct CharacterBreaks {
  explicit CharacterBreaks(std::string_view utf8) {
    UErrorCode status = U_ZERO_ERROR;
    text.reset(utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
    breaks.reset(ubrk_open(UBRK_CHARACTER, nullptr, nullptr, 0, &status));
    if (U_SUCCESS(status)) ubrk_setUText(breaks.get(), text.get(), &status);
    if (U_FAILURE(status)) throw std::runtime_error("Cannot count characters.");
  }
  // The byte offset of the next boundary, or UBRK_DONE.
  int32_t next() { return ubrk_next(breaks.get()); }

  std::unique_ptr<UText, TextCloser> text;
  std::unique_ptr<UBreakIterator, BreakCloser> breaks;
};

}  // namespace

std::size_t graphemeCount(std::string_view utf8, std::size_t stopAfter) {
  if (utf8.empty()) return 0;
  CharacterBreaks breaks(utf8);
  std::size_t count = 0;
  while (count <= stopAfter && breaks.next() != UBRK_DONE) ++count;
  return count;
}

std::string_view prefixWithinUtf16(std::string_view utf8, std::size_t maxUtf16Units) {
  if (decode::utf16Length(utf8) <= maxUtf16Units) return utf8;
  CharacterBreaks breaks(utf8);
  std::size_t end = 0;
  std::size_t units = 0;
  for (int32_t boundary = breaks.next(); boundary != UBRK_DONE; boundary = breaks.next()) {
    const auto next = static_cast<std::size_t>(boundary);
    units += decode::utf16Length(utf8.substr(end, next - end));
    if (units > maxUtf16Units) break;
    end = next;
  }
  return utf8.substr(0, end);
}

bool isUtf8(std::string_view bytes) {
  const auto length = static_cast<int32_t>(bytes.size());
  for (int32_t index = 0; index < length;) {
    UChar32 character = 0;
    U8_NEXT(bytes.data(), index, length, character);
    if (character < 0) return false;
  }
  return true;
}

std::string asUtf8(std::string_view bytes) {
  if (isUtf8(bytes)) return std::string(bytes);
  std::string text;
  const auto length = static_cast<int32_t>(bytes.size());
  for (int32_t index = 0; index < length;) {
    const int32_t start = index;
    UChar32 character = 0;
    U8_NEXT(bytes.data(), index, length, character);
    if (character < 0) {
      text += "\xEF\xBF\xBD";
    } else {
      text.append(
          bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(index - start)));
    }
  }
  return text;
}

}  // namespace halcy
