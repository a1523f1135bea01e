#include "Graphemes.hpp"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>
#include <stdexcept>

namespace halcy {

namespace {

struct TextCloser {
  void operator()(UText* text) const { utext_close(text); }
};

struct BreakCloser {
  void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

// Calls `visit` with the byte offset of each character's end until it answers false.
template <class Visit>
void eachCharacterEnd(std::string_view utf8, Visit visit) {
  if (utf8.empty()) return;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, TextCloser> text(
      utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
  std::unique_ptr<UBreakIterator, BreakCloser> breaks(
      ubrk_open(UBRK_CHARACTER, nullptr, nullptr, 0, &status));
  if (U_SUCCESS(status)) ubrk_setUText(breaks.get(), text.get(), &status);
  if (U_FAILURE(status)) throw std::runtime_error("Cannot count characters.");
  for (int32_t end = ubrk_next(breaks.get()); end != UBRK_DONE; end = ubrk_next(breaks.get())) {
    if (!visit(static_cast<std::size_t>(end))) return;
  }
}

}  // namespace

std::size_t graphemeCount(std::string_view utf8, std::size_t stopAfter) {
  std::size_t count = 0;
  eachCharacterEnd(utf8, [&](std::size_t) { return ++count <= stopAfter; });
  return count;
}

std::string graphemePrefix(std::string_view utf8, std::size_t count) {
  if (count == 0) return {};
  std::size_t seen = 0;
  std::size_t cut = 0;
  eachCharacterEnd(utf8, [&](std::size_t end) {
    cut = end;
    return ++seen < count;
  });
  return std::string(utf8.substr(0, cut));
}

std::string trimmedText(std::string_view utf8) {
  const auto length = static_cast<int32_t>(utf8.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
  int32_t start = 0;
  while (start < length) {
    int32_t next = start;
    UChar32 point = 0;
    U8_NEXT(bytes, next, length, point);
    if (point < 0 || !u_isUWhiteSpace(point)) break;
    start = next;
  }
  int32_t end = length;
  while (end > start) {
    int32_t previous = end;
    UChar32 point = 0;
    U8_PREV(bytes, 0, previous, point);
    if (point < 0 || !u_isUWhiteSpace(point)) break;
    end = previous;
  }
  return std::string(
      utf8.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

}  // namespace halcy
