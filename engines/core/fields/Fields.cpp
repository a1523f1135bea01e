#include "Fields.hpp"

#include "Text.hpp"

namespace halcy {

std::optional<std::string> FieldRules::capped(std::optional<std::string> text) {
  if (text && utf16Length(*text) > static_cast<std::size_t>(FieldLimits::valueMaxChars)) {
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
