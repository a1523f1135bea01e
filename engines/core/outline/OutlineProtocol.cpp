#include "OutlineProtocol.hpp"

#include <limits>

#include "Decode.hpp"
#include "StageProtocol.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

constexpr std::int64_t anyAbove = std::numeric_limits<std::int64_t>::max();

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
  request.pid = decode::pid(params, "pid");
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
  decode::within<std::size_t>(utf16Length(request.name), 1,
                              static_cast<std::size_t>(OutlineRules::nameMax));
  request.role = decode::nullable<std::string>(params, "role", decode::text);
  request.limit = decode::integerWithin(params, "limit", 1, OutlineRules::findMax);
  return request;
}

Json OutlineFoundControls::toJson() const {
  return Json::object({{"controls", controlsJson(controls)}});
}

OutlineWatch OutlineWatch::decode(const JsonObject& params) {
  return {decode::nullablePid(params, "pid")};
}

Json OutlineWatching::toJson() const {
  return Json::object({{"pid", orNull(pid)}, {"at", at}});
}

Json OutlineChange::toJson() const {
  return Json::object(
      {{"kind", std::string(wireName(kind))}, {"role", role}, {"name", name}, {"at", at}});
}

}  // namespace halcy
