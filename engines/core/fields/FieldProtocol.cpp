#include "FieldProtocol.hpp"

#include "Decode.hpp"

namespace halcy {

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
  request.surroundingChars =
      decode::integerWithin(params, "surroundingChars", 0, FieldLimits::surroundingMaxChars);
  request.pid = decode::optionalPid(params, "pid");
  return request;
}

Json FocusPrimed::toJson() const {
  return Json::object({{"pid", pid ? Json(*pid) : Json(nullptr)}});
}

ElementValue ElementValue::decode(const JsonObject& params) {
  return ElementValue{decode::nonEmptyText(params, "handle")};
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
  request.snapshot = decode::nonEmptyText(params, "snapshot");
  request.ifChangeCount = params.integer("ifChangeCount");
  return request;
}

Json ClipboardRestored::toJson() const {
  return Json::object({{"restored", restored}});
}

ClipboardRelease ClipboardRelease::decode(const JsonObject& params) {
  return ClipboardRelease{decode::nonEmptyText(params, "snapshot")};
}

}  // namespace halcy
