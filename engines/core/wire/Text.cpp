#include "Text.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>

#include "Output.hpp"

namespace halcy {

namespace {

struct UTextClose {
  void operator()(UText* text) const { utext_close(text); }
};

// Making a character iterator costs far more than using one; each thread keeps its own because an
// iterator is not shareable.
icu::BreakIterator& characterIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) made.reset();
    return made;
  }();
  if (!iterator) throw EngineFailure(ErrorCode::failed, "Text segmentation is unavailable.");
  return *iterator;
}

// Walks the text's cluster boundaries; `visit` gets each boundary's byte offset after the first
// and answers whether to go on.
template <class Visit>
void eachBoundary(std::string_view text, Visit visit) {
  if (text.empty()) return;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, UTextClose> utext(
      utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
  if (U_FAILURE(status)) throw EngineFailure(ErrorCode::failed, "Text segmentation failed.");
  icu::BreakIterator& iterator = characterIterator();
  iterator.setText(utext.get(), status);
  if (U_FAILURE(status)) throw EngineFailure(ErrorCode::failed, "Text segmentation failed.");
  iterator.first();
  for (int32_t boundary = iterator.next(); boundary != icu::BreakIterator::DONE;
       boundary = iterator.next()) {
    if (!visit(static_cast<std::size_t>(boundary))) break;
  }
  // The iterator must not keep pointing at text that is about to go away.
  iterator.setText(icu::UnicodeString());
}

}  // namespace

std::size_t utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (const char byte : text) {
    const auto lead = static_cast<unsigned char>(byte);
    if ((lead & 0xC0U) == 0x80U) continue;
    units += (lead >= 0xF0U) ? 2 : 1;
  }
  return units;
}

std::string trimmedText(std::string_view text) {
  const auto length = static_cast<int32_t>(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
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
      text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

std::size_t Graphemes::count(std::string_view text, std::size_t limit) {
  std::size_t clusters = 0;
  if (limit == 0) return 0;
  eachBoundary(text, [&](std::size_t) { return ++clusters < limit; });
  return clusters;
}

std::string Graphemes::prefix(std::string_view text, std::size_t count) {
  if (count == 0) return {};
  // Every cluster takes at least a byte: text no longer than the count in bytes is all kept.
  if (text.size() <= count) return std::string(text);
  std::size_t clusters = 0;
  std::size_t end = 0;
  eachBoundary(text, [&](std::size_t boundary) {
    end = boundary;
    return ++clusters < count;
  });
  return std::string(text.substr(0, end));
}

std::string Graphemes::prefixWithinUtf16(std::string_view text, std::size_t maxUtf16Units) {
  if (utf16Length(text) <= maxUtf16Units) return std::string(text);
  std::size_t end = 0;
  std::size_t units = 0;
  eachBoundary(text, [&](std::size_t boundary) {
    units += utf16Length(text.substr(end, boundary - end));
    if (units > maxUtf16Units) return false;
    end = boundary;
    return true;
  });
  return std::string(text.substr(0, end));
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
