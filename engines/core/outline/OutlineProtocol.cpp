#include "OutlineProtocol.hpp"

#include <limits>
#include <type_traits>

#include "DecodeHelpers.hpp"
#include "StageProtocol.hpp"

namespace halcy {

namespace {

constexpr std::int64_t anyAbove = std::numeric_limits<std::int64_t>::max();

template <class Value>
Json orNull(const std::optional<Value>& value) {
  if (!value) return nullptr;
  if constexpr (std::is_same_v<Value, bool>) {
    return *value;
  } else {
    return value->toJson();
  }
}

Json controlsJson(const std::vector<OutlineControl>& controls) {
  Json list = Json::array();
  for (const OutlineControl& control : controls) list.push_back(control.toJson());
  return list;
}

}  // namespace

Json ControlValue::toJson() const {
  return Json::object({{"length", length}, {"digest", digest}});
}

Json ControlState::toJson() const {
  return Json::object({{"value", orNull(value)},
                       {"selected", orNull(selected)},
                       {"expanded", orNull(expanded)},
                       {"enabled", orNull(enabled)}});
}

std::string_view wireName(OutlineChangeKind kind) {
  switch (kind) {
    case OutlineChangeKind::focus:
      return "focus";
    case OutlineChangeKind::window:
      return "window";
    case OutlineChangeKind::sheet:
      return "sheet";
    case OutlineChangeKind::menuOpened:
      return "menuOpened";
    case OutlineChangeKind::menuClosed:
      return "menuClosed";
    case OutlineChangeKind::value:
      return "value";
    case OutlineChangeKind::moved:
      return "moved";
    case OutlineChangeKind::resized:
      return "resized";
    case OutlineChangeKind::destroyed:
      return "destroyed";
    case OutlineChangeKind::layout:
      return "layout";
    case OutlineChangeKind::title:
      return "title";
  }
  return "layout";
}

Json OutlineControl::toJson() const {
  return Json::object({{"ref", ref}, {"role", role}, {"name", name}, {"frame", frame.toJson()}});
}

OutlineRead OutlineRead::decode(const JsonObject& params) {
  OutlineRead request;
  request.pid = decode::integerWithin(params, "pid", 1, anyAbove);
  request.budgetMs = decode::integerWithin(params, "budgetMs", OutlineRules::minBudgetMs,
                                           OutlineRules::timeBudgetMs);
  request.neverLook = NeverLookList::decode(params, "neverLook");
  return request;
}

Json Outline::toJson() const {
  return Json::object({{"outline", outline},
                       {"pid", pid},
                       {"refused", refused},
                       {"gated", gated},
                       {"window", orNull(window)},
                       {"controls", controlsJson(controls)}});
}

OutlineFrames OutlineFrames::decode(const JsonObject& params) {
  OutlineFrames request;
  request.outline = decode::integerWithin(params, "outline", 0, anyAbove);
  request.refs =
      decode::integersFrom(params, "refs", static_cast<std::size_t>(OutlineRules::limit), 0);
  return request;
}

Json OutlineFramesRead::toJson() const {
  Json list = Json::array();
  for (const auto& frame : frames) list.push_back(orNull(frame));
  return Json::object({{"frames", list}});
}

Json OutlineStates::toJson() const {
  Json list = Json::array();
  for (const auto& state : states) list.push_back(orNull(state));
  return Json::object({{"states", list}});
}

OutlineFind OutlineFind::decode(const JsonObject& params) {
  OutlineFind request;
  request.outline = decode::integerWithin(params, "outline", 0, anyAbove);
  request.name = params.text("name");
  const std::size_t nameLength = decode::utf16Length(request.name);
  if (nameLength < 1 || nameLength > static_cast<std::size_t>(OutlineRules::nameMax)) {
    throw DecodeError(decode::outOfRange);
  }
  request.role = StageCheck::nullable<std::string>(params, "role", decode::text);
  request.limit = decode::integerWithin(params, "limit", 1, OutlineRules::findMax);
  return request;
}

Json OutlineFoundControls::toJson() const {
  return Json::object({{"controls", controlsJson(controls)}});
}

OutlineWatch OutlineWatch::decode(const JsonObject& params) {
  return {decode::nullableIntegerWithin(params, "pid", 1, anyAbove)};
}

Json OutlineWatching::toJson() const {
  return Json::object({{"pid", pid ? Json(*pid) : Json(nullptr)}, {"at", at}});
}

Json OutlineChange::toJson() const {
  return Json::object(
      {{"kind", std::string(wireName(kind))}, {"role", role}, {"name", name}, {"at", at}});
}

}  // namespace halcy
