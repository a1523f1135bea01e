#include "FieldProtocol.hpp"

namespace halcy {

Json FocusPrimed::toJson() const { return Json::object(); }

FocusRead FocusRead::decode(const JsonObject&) { return {}; }

Json FocusedField::toJson() const { return Json::object(); }

ElementValue ElementValue::decode(const JsonObject&) { return {}; }

Json ElementRead::toJson() const { return Json::object(); }

Json ClipboardSaved::toJson() const { return Json::object(); }

ClipboardWrite ClipboardWrite::decode(const JsonObject&) { return {}; }

Json ClipboardWritten::toJson() const { return Json::object(); }

ClipboardRestore ClipboardRestore::decode(const JsonObject&) { return {}; }

Json ClipboardRestored::toJson() const { return Json::object(); }

ClipboardRelease ClipboardRelease::decode(const JsonObject&) { return {}; }

}  // namespace halcy
