#include "PointerProtocol.hpp"

namespace halcy {

Json PointerState::toJson() const { return Json::object(); }

PointerElementRequest PointerElementRequest::decode(const JsonObject&) { return {}; }

Json PointerElement::toJson() const { return Json::object(); }

InputWatch InputWatch::decode(const JsonObject&) { return {}; }

Json InputWatching::toJson() const { return Json::object(); }

}  // namespace halcy
