#pragma once
// The focused-field and clipboard records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct FocusPrimed {
  Json toJson() const;
};

struct FocusRead {
  static FocusRead decode(const JsonObject& params);
};

struct FocusedField {
  Json toJson() const;
};

struct ElementValue {
  static ElementValue decode(const JsonObject& params);
};

struct ElementRead {
  Json toJson() const;
};

struct ClipboardSaved {
  Json toJson() const;
};

struct ClipboardWrite {
  static ClipboardWrite decode(const JsonObject& params);
};

struct ClipboardWritten {
  Json toJson() const;
};

struct ClipboardRestore {
  static ClipboardRestore decode(const JsonObject& params);
};

struct ClipboardRestored {
  Json toJson() const;
};

struct ClipboardRelease {
  static ClipboardRelease decode(const JsonObject& params);
};

}  // namespace halcy
