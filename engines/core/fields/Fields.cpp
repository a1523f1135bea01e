#include "Fields.hpp"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

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

std::size_t Graphemes::utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (const char byte : text) {
    const auto lead = static_cast<unsigned char>(byte);
    if ((lead & 0xC0U) == 0x80U) continue;
    units += (lead >= 0xF0U) ? 2 : 1;
  }
  return units;
}

std::size_t Graphemes::count(std::string_view text, std::size_t limit) {
  std::size_t clusters = 0;
  if (limit == 0) return 0;
  eachBoundary(text, [&](std::size_t) { return ++clusters < limit; });
  return clusters;
}

std::string Graphemes::prefix(std::string_view text, std::size_t count) {
  if (count == 0) return {};
  std::size_t clusters = 0;
  std::size_t end = 0;
  eachBoundary(text, [&](std::size_t boundary) {
    end = boundary;
    return ++clusters < count;
  });
  return std::string(text.substr(0, end));
}

std::optional<std::string> FieldRules::capped(std::optional<std::string> text) {
  if (text &&
      Graphemes::utf16Length(*text) > static_cast<std::size_t>(FieldLimits::valueMaxChars)) {
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> FieldRules::surrounding(const std::optional<std::string>& text,
                                                   std::int64_t upTo) {
  if (upTo <= 0 || !text) return std::nullopt;
  std::string cut = Graphemes::prefix(*text, static_cast<std::size_t>(upTo));
  if (cut.empty()) return std::nullopt;
  return cut;
}

FieldController::FieldController(std::unique_ptr<FieldHost> host) : host_(std::move(host)) {}

void FieldController::requireTrust() {
  if (!host_->trusted()) {
    throw EngineFailure(ErrorCode::notPermitted, "Accessibility is not granted.");
  }
}

FocusPrimed FieldController::prime() {
  std::lock_guard serial(serial_);
  requireTrust();
  return FocusPrimed{host_->primeFront()};
}

FocusedField FieldController::read(const FocusRead& request) {
  std::lock_guard serial(serial_);
  // An unknown pid is told even to a caller without accessibility.
  if (request.pid && !host_->app(*request.pid)) {
    throw EngineFailure(ErrorCode::unavailable, "No running app has that pid.");
  }
  requireTrust();
  FieldHost::HostFocus focus = host_->focus(request.surroundingChars, request.pid);
  FocusedField field{std::move(focus.app), std::move(focus.windowTitle), std::nullopt,
                     FieldRules::surrounding(focus.surroundingText, request.surroundingChars)};
  if (focus.element) {
    FieldHost::HostElement& found = *focus.element;
    field.element = FocusedElement{elements_.hold(found.element),
                                   std::move(found.role),
                                   std::move(found.subrole),
                                   FieldRules::capped(std::move(found.value)),
                                   FieldRules::capped(std::move(found.selectedText)),
                                   std::move(found.placeholder),
                                   found.hasCaret,
                                   found.valueSettable};
  }
  return field;
}

ElementRead FieldController::value(const ElementValue& request) {
  std::lock_guard serial(serial_);
  requireTrust();
  const FieldHost::Element* element = elements_.find(request.handle);
  if (element == nullptr) {
    throw EngineFailure(ErrorCode::unavailable, "The engine no longer holds that element.");
  }
  return ElementRead{FieldRules::capped(host_->value(*element))};
}

ClipboardSaved FieldController::saveClipboard() {
  std::lock_guard serial(serial_);
  FieldHost::SavedClipboard saved = host_->saveClipboard();
  return ClipboardSaved{snapshots_.hold(std::move(saved.contents)), saved.changeCount};
}

ClipboardWritten FieldController::writeClipboard(const ClipboardWrite& request) {
  std::lock_guard serial(serial_);
  return ClipboardWritten{host_->writeClipboard(request.text, request.transient)};
}

FieldHost::Contents FieldController::takeSnapshot(const std::string& id) {
  std::optional<FieldHost::Contents> contents = snapshots_.take(id);
  if (!contents) throw EngineFailure(ErrorCode::unavailable, "The engine holds no such snapshot.");
  return std::move(*contents);
}

ClipboardRestored FieldController::restoreClipboard(const ClipboardRestore& request) {
  std::lock_guard serial(serial_);
  const FieldHost::Contents* held = snapshots_.find(request.snapshot);
  if (held == nullptr)
    throw EngineFailure(ErrorCode::unavailable, "The engine holds no such snapshot.");
  const FieldHost::Contents contents = *held;
  // A clipboard that cannot be reached fails the request; the snapshot stays for another try, or
  // the user's clipboard would be lost with it.
  const bool untouched = host_->clipboardChangeCount() == request.ifChangeCount;
  if (untouched) host_->restoreClipboard(contents);
  takeSnapshot(request.snapshot);
  return ClipboardRestored{untouched};
}

NoResult FieldController::releaseClipboard(const ClipboardRelease& request) {
  std::lock_guard serial(serial_);
  takeSnapshot(request.snapshot);
  return NoResult{};
}

NoResult FieldController::paste() {
  std::lock_guard serial(serial_);
  requireTrust();
  host_->paste();
  return NoResult{};
}

}  // namespace halcy
