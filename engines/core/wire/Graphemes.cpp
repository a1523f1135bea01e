#include "Graphemes.hpp"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

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

}  // namespace

std::size_t graphemeCount(std::string_view utf8, std::size_t stopAfter) {
  if (utf8.empty()) return 0;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, TextCloser> text(
      utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
  std::unique_ptr<UBreakIterator, BreakCloser> breaks(
      ubrk_open(UBRK_CHARACTER, nullptr, nullptr, 0, &status));
  if (U_SUCCESS(status)) ubrk_setUText(breaks.get(), text.get(), &status);
  if (U_FAILURE(status)) throw std::runtime_error("Cannot count characters.");
  std::size_t count = 0;
  while (count <= stopAfter && ubrk_next(breaks.get()) != UBRK_DONE) ++count;
  return count;
}

}  // namespace halcy
