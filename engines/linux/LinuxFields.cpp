#include "LinuxFields.hpp"

#include "LinuxPermissions.hpp"

namespace halcy {

namespace {

struct SavedEntries final : ClipboardContentsRef {
  explicit SavedEntries(LinuxClipboard::Entries entries) : entries(std::move(entries)) {}
  LinuxClipboard::Entries entries;
};

}  // namespace

LinuxFieldHost::LinuxFieldHost() : clipboard_(LinuxClipboard::open()) {}

LinuxClipboard& LinuxFieldHost::clipboard() {
  // Reporting success for a clipboard that was never touched would lose the caller's text.
  if (!clipboard_) throw EngineFailure(ErrorCode::failed, "The clipboard could not be reached.");
  return *clipboard_;
}

bool LinuxFieldHost::trusted() {
  // Once reachable the accessibility bus stays for the session; asking again costs a connection.
  if (!trusted_) trusted_ = LinuxPermissions::accessibilityBusReachable();
  return trusted_;
}

std::optional<std::int64_t> LinuxFieldHost::primeFront() {
  LinuxPermissions::setAccessibilityEnabled();
  return std::nullopt;
}

FieldHost::HostFocus LinuxFieldHost::focus(std::int64_t, std::optional<std::int64_t>) {
  return {};
}

std::optional<FrontApp> LinuxFieldHost::app(std::int64_t) {
  return std::nullopt;
}

std::optional<std::string> LinuxFieldHost::value(const Element&) {
  return std::nullopt;
}

FieldHost::SavedClipboard LinuxFieldHost::saveClipboard() {
  auto [entries, count] = clipboard().save();
  return {std::make_shared<SavedEntries>(std::move(entries)), count};
}

std::int64_t LinuxFieldHost::writeClipboard(const std::string& text, bool transient) {
  return clipboard().write(text, transient);
}

std::int64_t LinuxFieldHost::clipboardChangeCount() {
  // A restore follows: let the paste target fetch the pasted text first.
  clipboard().settlePaste();
  return clipboard().changeCount();
}

void LinuxFieldHost::restoreClipboard(const Contents& contents) {
  clipboard().restore(static_cast<const SavedEntries&>(*contents).entries);
}

void LinuxFieldHost::paste() {
  paste_.paste();
  if (clipboard_) clipboard_->notePastePosted();
}

}  // namespace halcy
