#include "PointerProtocol.hpp"

#include <array>

#include "Decode.hpp"
#include "StageProtocol.hpp"

namespace halcy {

namespace {
constexpr std::array<std::string_view, 3> pointerReportNames = {"none", "clicks", "drags"};

PointerReport pointerReportNamed(const std::string& name) {
  for (std::size_t index = 0; index < pointerReportNames.size(); ++index) {
    if (pointerReportNames[index] == name) return static_cast<PointerReport>(index);
  }
  throw DecodeError("Unknown pointer report.");
}
}  // namespace

std::string_view wireName(PointerReport report) {
  return pointerReportNames[static_cast<std::size_t>(report)];
}

Json PointerState::toJson() const {
  return Json::object();
}

PointerElementRequest PointerElementRequest::decode(const JsonObject& params) {
  PointerElementRequest request;
  request.x = params.number("x");
  request.y = params.number("y");
  request.excludePids = StageCheck::pids(params, "excludePids");
  request.beneathHalcy = params.boolean("beneathHalcy");
  request.neverLook = NeverLookList::decode(params, "neverLook");
  request.selectionOf = decode::nonEmptyTexts(params, "selectionOf", PointerLimits::selectionOfMax);
  return request;
}

Json PointerElement::toJson() const {
  return Json::object();
}

InputWatch InputWatch::decode(const JsonObject& params) {
  InputWatch request;
  request.pointer = pointerReportNamed(params.text("pointer"));
  request.keys = params.boolean("keys");
  request.moves = params.boolean("moves");
  request.scroll = params.boolean("scroll");
  request.excludePids = StageCheck::pids(params, "excludePids");
  return request;
}

Json InputWatching::toJson() const {
  return Json::object();
}

}  // namespace halcy
