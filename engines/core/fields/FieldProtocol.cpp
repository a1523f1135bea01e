#include "FieldProtocol.hpp"

#include <cstdint>

namespace halcy {

std::string NonEmpty::text(const JsonObject& params, std::string_view key) {
  std::string text = params.text(key);
  if (text.empty()) throw DecodeError("Empty.");
  return text;
}

Json FocusedElement::toJson() const {
  return Json::object({{"handle", handle},
                       {"role", orNull(role)},
                       {"subrole", orNull(subrole)},
                       {"value", orNull(value)},
                       {"selectedText", orNull(selectedText)},
                       {"placeholder", orNull(placeholder)},
                       {"hasCaret", hasCaret},
                       {"valueSettable", valueSettable}});
}

Json FocusedField::toJson() const {
  return Json::object({{"app", app ? app->toJson() : Json(nullptr)},
                       {"windowTitle", orNull(windowTitle)},
                       {"element", element ? element->toJson() : Json(nullptr)},
                       {"surroundingText", orNull(surroundingText)}});
}

FocusRead FocusRead::decode(const JsonObject& params) {
  FocusRead request;
  request.surroundingChars = params.integer("surroundingChars");
  // Unsigned, so that every negative count lands far above the limit as well.
  if (static_cast<std::uint64_t>(request.surroundingChars) >
      static_cast<std::uint64_t>(FieldLimits::surroundingMaxChars)) {
    throw DecodeError("Out of range.");
  }
  request.pid = params.optionalInteger("pid");
  if (request.pid && *request.pid < 1) throw DecodeError("Not a pid.");
  return request;
}

Json FocusPrimed::toJson() const {
  return Json::object({{"pid", pid ? Json(*pid) : Json(nullptr)}});
}

ElementValue ElementValue::decode(const JsonObject& params) {
  return ElementValue{NonEmpty::text(params, "handle")};
}

Json ElementRead::toJson() const {
  return Json::object({{"value", orNull(value)}});
}

Json ClipboardSaved::toJson() const {
  return Json::object({{"snapshot", snapshot}, {"changeCount", changeCount}});
}

ClipboardWrite ClipboardWrite::decode(const JsonObject& params) {
  ClipboardWrite request;
  request.text = params.text("text");
  request.transient = params.boolean("transient");
  return request;
}

Json ClipboardWritten::toJson() const {
  return Json::object({{"changeCount", changeCount}});
}

ClipboardRestore ClipboardRestore::decode(const JsonObject& params) {
  ClipboardRestore request;
  request.snapshot = NonEmpty::text(params, "snapshot");
  request.ifChangeCount = params.integer("ifChangeCount");
  return request;
}

Json ClipboardRestored::toJson() const {
  return Json::object({{"restored", restored}});
}

ClipboardRelease ClipboardRelease::decode(const JsonObject& params) {
  return ClipboardRelease{NonEmpty::text(params, "snapshot")};
}

}  // namespace halcy
