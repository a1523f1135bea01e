#pragma once
// The text-field area: focused-element reads, held elements, clipboard snapshots and the paste
// keystroke, written against a host that does every desktop call.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FieldProtocol.hpp"
#include "FrontApp.hpp"
#include "Output.hpp"

namespace halcy {

class FieldArea {
 public:
  virtual ~FieldArea() = default;
  virtual FocusPrimed prime() = 0;
  virtual FocusedField read(const FocusRead& request) = 0;
  virtual ElementRead value(const ElementValue& request) = 0;
  virtual ClipboardSaved saveClipboard() = 0;
  virtual ClipboardWritten writeClipboard(const ClipboardWrite& request) = 0;
  virtual ClipboardRestored restoreClipboard(const ClipboardRestore& request) = 0;
  virtual NoResult releaseClipboard(const ClipboardRelease& request) = 0;
  virtual NoResult paste() = 0;
};

class UnbuiltFields : public FieldArea {
 public:
  FocusPrimed prime() override { throw notBuiltYet(); }
  FocusedField read(const FocusRead&) override { throw notBuiltYet(); }
  ElementRead value(const ElementValue&) override { throw notBuiltYet(); }
  ClipboardSaved saveClipboard() override { throw notBuiltYet(); }
  ClipboardWritten writeClipboard(const ClipboardWrite&) override { throw notBuiltYet(); }
  ClipboardRestored restoreClipboard(const ClipboardRestore&) override { throw notBuiltYet(); }
  NoResult releaseClipboard(const ClipboardRelease&) override { throw notBuiltYet(); }
  NoResult paste() override { throw notBuiltYet(); }
};

// What the core keeps of the host's world without looking inside: the host derives its element
// reference and its clipboard copy from these.
struct FieldElementRef {
  virtual ~FieldElementRef() = default;
};
struct ClipboardContentsRef {
  virtual ~ClipboardContentsRef() = default;
};

template <class Element>
struct HostElementOf {
  Element element;
  std::optional<std::string> role;
  std::optional<std::string> subrole;
  std::optional<std::string> value;
  std::optional<std::string> selectedText;
  std::optional<std::string> placeholder;
  bool hasCaret = false;
  bool valueSettable = false;
};

template <class Element>
struct HostFocusOf {
  std::optional<FrontApp> app;
  std::optional<std::string> windowTitle;
  std::optional<HostElementOf<Element>> element;
  std::optional<std::string> surroundingText;
};

class FieldHost {
 public:
  using Element = std::shared_ptr<FieldElementRef>;
  using Contents = std::shared_ptr<ClipboardContentsRef>;
  using HostElement = HostElementOf<Element>;
  using HostFocus = HostFocusOf<Element>;
  struct SavedClipboard {
    Contents contents;
    std::int64_t changeCount = 0;
  };

  virtual ~FieldHost() = default;
  virtual bool trusted() = 0;
  virtual std::optional<std::int64_t> primeFront() = 0;
  virtual HostFocus focus(std::int64_t surroundingChars, std::optional<std::int64_t> pid) = 0;
  virtual std::optional<FrontApp> app(std::int64_t pid) = 0;
  virtual std::optional<std::string> value(const Element& element) = 0;
  virtual SavedClipboard saveClipboard() = 0;
  virtual std::int64_t writeClipboard(const std::string& text, bool transient) = 0;
  virtual std::int64_t clipboardChangeCount() = 0;
  virtual void restoreClipboard(const Contents& contents) = 0;
  // The only operation that fails, with an EngineFailure.
  virtual void paste() = 0;
};

namespace FieldRules {
// Null for a text longer than the value cap, never a truncated text.
std::optional<std::string> capped(std::optional<std::string> text);
// The first `upTo` user-perceived characters; null for no text, an empty result or upTo <= 0.
std::optional<std::string> surrounding(const std::optional<std::string>& text, std::int64_t upTo);
}  // namespace FieldRules

// An oldest-first table of held values under ids "1", "2", ... that are never reused; the oldest
// entries fall out past `capacity`.
template <class Value>
class HeldTable {
 public:
  explicit HeldTable(std::size_t capacity) : capacity_(capacity) {}

  std::string hold(Value value) {
    std::string id = std::to_string(next_++);
    entries_.emplace_back(id, std::move(value));
    while (entries_.size() > capacity_) entries_.erase(entries_.begin());
    return id;
  }

  const Value* find(std::string_view id) const {
    for (const auto& [held, value] : entries_) {
      if (held == id) return &value;
    }
    return nullptr;
  }

  std::optional<Value> take(std::string_view id) {
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
      if (entry->first != id) continue;
      Value value = std::move(entry->second);
      entries_.erase(entry);
      return value;
    }
    return std::nullopt;
  }

  std::vector<std::string> ids() const {
    std::vector<std::string> held;
    for (const auto& entry : entries_) held.push_back(entry.first);
    return held;
  }

 private:
  std::size_t capacity_;
  std::uint64_t next_ = 1;
  std::vector<std::pair<std::string, Value>> entries_;
};

class FieldController final : public FieldArea {
 public:
  explicit FieldController(std::unique_ptr<FieldHost> host);

  FocusPrimed prime() override;
  FocusedField read(const FocusRead& request) override;
  ElementRead value(const ElementValue& request) override;
  ClipboardSaved saveClipboard() override;
  ClipboardWritten writeClipboard(const ClipboardWrite& request) override;
  ClipboardRestored restoreClipboard(const ClipboardRestore& request) override;
  NoResult releaseClipboard(const ClipboardRelease& request) override;
  NoResult paste() override;

 private:
  void requireTrust();
  FieldHost::Contents takeSnapshot(const std::string& id);

  // One call at a time, host calls included: the tables need no other guard.
  std::mutex serial_;
  std::unique_ptr<FieldHost> host_;
  HeldTable<FieldHost::Element> elements_{FieldTables::elements};
  HeldTable<FieldHost::Contents> snapshots_{FieldTables::snapshots};
};

}  // namespace halcy
