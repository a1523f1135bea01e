#include "FileSearch.hpp"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>

namespace halcy {

namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void lowerAscii(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::u16string utf16Of(std::string_view utf8) {
  std::u16string wide(utf8.size(), u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(wide.data(), static_cast<int32_t>(wide.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  wide.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
  return wide;
}

std::string utf8Of(const std::u16string& wide) {
  std::string utf8(wide.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(utf8.data(), static_cast<int32_t>(utf8.size()), &length, wide.data(),
                     static_cast<int32_t>(wide.size()), 0xFFFD, nullptr, &status);
  utf8.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
  return utf8;
}

// Folding the case may grow the text (ß becomes ss), and so may decomposing it.
std::u16string caseFolded(const std::u16string& text) {
  std::u16string out(text.size() * 3 + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length =
      u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), text.data(),
                    static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
  return out;
}

std::u16string decomposed(const std::u16string& text) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
  if (U_FAILURE(status)) return text;
  std::u16string out(text.size() * 4 + 1, u'\0');
  const int32_t length = unorm2_normalize(nfd, text.data(), static_cast<int32_t>(text.size()),
                                          out.data(), static_cast<int32_t>(out.size()), &status);
  if (U_FAILURE(status)) return text;
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::u16string withoutMarks(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t index = 0; index < text.size();) {
    UChar32 character = 0;
    const std::size_t start = index;
    U16_NEXT(text.data(), index, text.size(), character);
    if (u_charType(character) != U_NON_SPACING_MARK) out.append(text, start, index - start);
  }
  return out;
}

}  // namespace

std::string FileSearchRules::folded(std::string_view utf8) {
  if (isAscii(utf8)) {
    std::string lower(utf8);
    lowerAscii(lower);
    return lower;
  }
  return utf8Of(withoutMarks(decomposed(caseFolded(utf16Of(utf8)))));
}

bool FileSearchRules::newer(const FoundFileFact& a, const FoundFileFact& b) {
  const double modifiedA = a.modified.value_or(-1e300);
  const double modifiedB = b.modified.value_or(-1e300);
  if (modifiedA != modifiedB) return modifiedA > modifiedB;
  return a.path < b.path;
}

NameMatcher::NameMatcher(const std::vector<std::string>& names) {
  for (const auto& name : names) {
    std::string needle = FileSearchRules::folded(name);
    // A name of marks alone folds to nothing, and nothing is not a name to look for.
    if (!needle.empty()) needles_.push_back(std::move(needle));
  }
}

bool NameMatcher::matches(std::string_view fileName) const {
  // Most names are ASCII: they are lowered into a buffer each walker keeps, with no allocation.
  thread_local std::string lowered;
  if (isAscii(fileName)) {
    lowered.assign(fileName);
    lowerAscii(lowered);
  } else {
    lowered = FileSearchRules::folded(fileName);
  }
  return std::any_of(needles_.begin(), needles_.end(), [&](const std::string& needle) {
    return lowered.find(needle) != std::string::npos;
  });
}

bool NewestFiles::wouldKeep(double modified) const {
  std::lock_guard lock(mutex_);
  return kept_.size() < limit_ || modified >= kept_.front().modified.value_or(-1e300);
}

void NewestFiles::offer(FoundFileFact file) {
  std::lock_guard lock(mutex_);
  kept_.push_back(std::move(file));
  std::push_heap(kept_.begin(), kept_.end(), FileSearchRules::newer);
  if (kept_.size() > limit_) {
    std::pop_heap(kept_.begin(), kept_.end(), FileSearchRules::newer);
    kept_.pop_back();
  }
}

std::vector<FoundFileFact> NewestFiles::newestFirst() const {
  std::lock_guard lock(mutex_);
  std::vector<FoundFileFact> files = kept_;
  std::sort(files.begin(), files.end(), FileSearchRules::newer);
  return files;
}

}  // namespace halcy
