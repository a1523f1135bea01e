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

Json pressJson(std::string_view type, const RawInput& input, bool overHalcy) {
  return Json::object({{"type", type},
                       {"button", wireName(input.button)},
                       {"x", input.x},
                       {"y", input.y},
                       {"overHalcy", overHalcy},
                       {"at", input.at}});
}

Json placeJson(std::string_view type, const RawInput& input) {
  return Json::object({{"type", type}, {"x", input.x}, {"y", input.y}, {"at", input.at}});
}
}  // namespace

std::string_view wireName(PointerReport report) {
  return pointerReportNames[static_cast<std::size_t>(report)];
}

std::string_view wireName(PointerButton button) {
  return button == PointerButton::left ? "left" : "right";
}

Json PointerState::toJson() const {
  return Json::object(
      {{"x", x}, {"y", y}, {"buttons", buttons}, {"secureInput", secureInput}, {"at", at}});
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

AXDescription AXDescription::redacted() const {
  AXDescription copy = *this;
  if (copy.isSecure()) copy.value.reset();
  return copy;
}

Json AXDescription::toJson() const {
  return Json::object({{"role", orNull(role)},
                       {"subrole", orNull(subrole)},
                       {"roleDescription", orNull(roleDescription)},
                       {"title", orNull(title)},
                       {"description", orNull(description)},
                       {"help", orNull(help)},
                       {"value", orNull(value)},
                       {"frame", orNull(frame)}});
}

Json PointerElement::toJson() const {
  return Json::object({{"app", orNull(app)},
                       {"element", orNull(element)},
                       {"parent", orNull(parent)},
                       {"filePath", orNull(filePath)},
                       {"selectedPaths", selectedPaths}});
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
  return Json::object({{"pointer", wireName(pointer)},
                       {"keys", keys},
                       {"moves", moves},
                       {"scroll", scroll},
                       {"at", at}});
}

Json InputEvent::toJson() const {
  switch (input.kind) {
    case RawInput::Kind::press:
      return pressJson("press", input, overHalcy);
    case RawInput::Kind::release:
      return pressJson("release", input, overHalcy);
    case RawInput::Kind::drag:
      return placeJson("drag", input);
    case RawInput::Kind::move:
      return placeJson("move", input);
    case RawInput::Kind::scroll:
      return Json::object({{"type", "scroll"},
                           {"x", input.x},
                           {"y", input.y},
                           {"dx", input.dx},
                           {"dy", input.dy},
                           {"at", input.at}});
    case RawInput::Kind::key:
      break;
  }
  return Json::object({{"type", "key"}, {"keyCode", input.keyCode}, {"at", input.at}});
}

}  // namespace halcy
