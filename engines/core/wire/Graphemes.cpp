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

// Character boundaries of UTF-8 text, as byte offsets.
class Boundaries {
 public:
  explicit Boundaries(std::string_view utf8) {
    UErrorCode status = U_ZERO_ERROR;
    text_.reset(utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
    breaks_.reset(ubrk_open(UBRK_CHARACTER, nullptr, nullptr, 0, &status));
    if (U_SUCCESS(status)) ubrk_setUText(breaks_.get(), text_.get(), &status);
    if (U_FAILURE(status)) throw std::runtime_error("Cannot count characters.");
  }
  // The next boundary after the current one; UBRK_DONE at the end.
  int32_t next() { return ubrk_next(breaks_.get()); }

 private:
  std::unique_ptr<UText, TextCloser> text_;
  std::unique_ptr<UBreakIterator, BreakCloser> breaks_;
};

}  // namespace

std::size_t graphemeCount(std::string_view utf8, std::size_t stopAfter) {
  if (utf8.empty()) return 0;
  Boundaries boundaries(utf8);
  std::size_t count = 0;
  while (count <= stopAfter && boundaries.next() != UBRK_DONE) ++count;
  return count;
}

std::string trimmedWhiteSpace(std::string_view utf8) {
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

std::string graphemePrefix(std::string_view utf8, std::size_t count) {
  if (count == 0) return {};
  // Every character takes at least a byte: text no longer than the count in bytes is all kept.
  if (utf8.size() <= count) return std::string(utf8);
  Boundaries boundaries(utf8);
  std::size_t end = 0;
  for (std::size_t taken = 0; taken < count; ++taken) {
    const int32_t boundary = boundaries.next();
    if (boundary == UBRK_DONE) break;
    end = static_cast<std::size_t>(boundary);
  }
  return std::string(utf8.substr(0, end));
}

}  // namespace halcy
