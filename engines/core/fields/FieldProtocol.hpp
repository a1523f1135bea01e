#pragma once
// The focused-field and clipboard records on the wire: parameters decode strictly, results encode
// in field order with every key present (an absent value is null).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FrontApp.hpp"
#include "Json.hpp"

namespace halcy {

namespace FieldLimits {
// Counted in UTF-16 code units.
inline constexpr std::int64_t valueMaxChars = 200000;
inline constexpr std::int64_t surroundingMaxChars = 6000;
}  // namespace FieldLimits

namespace FieldTables {
inline constexpr std::size_t elements = 8;
inline constexpr std::size_t snapshots = 4;
}  // namespace FieldTables

struct FocusedElement {
  std::string handle;
  std::optional<std::string> role;
  std::optional<std::string> subrole;
  std::optional<std::string> value;
  std::optional<std::string> selectedText;
  std::optional<std::string> placeholder;
  bool hasCaret = false;
  bool valueSettable = false;

  Json toJson() const;
  bool operator==(const FocusedElement&) const = default;
};

struct FocusedField {
  std::optional<FrontApp> app;
  std::optional<std::string> windowTitle;
  std::optional<FocusedElement> element;
  std::optional<std::string> surroundingText;

  Json toJson() const;
  bool operator==(const FocusedField&) const = default;
};

struct FocusRead {
  std::int64_t surroundingChars = 0;
  std::optional<std::int64_t> pid;

  static constexpr std::string_view keyNames[] = {"surroundingChars", "pid"};

  static FocusRead decode(const JsonObject& params);
};

struct FocusPrimed {
  std::optional<std::int64_t> pid;

  Json toJson() const;
};

struct ElementValue {
  std::string handle;

  static constexpr std::string_view keyNames[] = {"handle"};

  static ElementValue decode(const JsonObject& params);
};

struct ElementRead {
  std::optional<std::string> value;

  Json toJson() const;
};

struct ClipboardSaved {
  std::string snapshot;
  std::int64_t changeCount = 0;

  Json toJson() const;
};

struct ClipboardWrite {
  std::string text;
  bool transient = false;

  static constexpr std::string_view keyNames[] = {"text", "transient"};

  static ClipboardWrite decode(const JsonObject& params);
};

struct ClipboardWritten {
  std::int64_t changeCount = 0;

  Json toJson() const;
};

struct ClipboardRestore {
  std::string snapshot;
  std::int64_t ifChangeCount = 0;

  static constexpr std::string_view keyNames[] = {"snapshot", "ifChangeCount"};

  static ClipboardRestore decode(const JsonObject& params);
};

struct ClipboardRestored {
  bool restored = false;

  Json toJson() const;
};

struct ClipboardRelease {
  std::string snapshot;

  static constexpr std::string_view keyNames[] = {"snapshot"};

  static ClipboardRelease decode(const JsonObject& params);
};

}  // namespace halcy
