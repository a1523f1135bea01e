#include "OutlineProtocol.hpp"

#include <limits>

#include "Decode.hpp"
#include "StageProtocol.hpp"
#include "Text.hpp"

namespace halcy {

namespace {
constexpr std::int64_t anyAbove = std::numeric_limits<std::int64_t>::max();
}  // namespace

OutlineRead OutlineRead::decode(const JsonObject& params) {
  OutlineRead request;
  request.pid = decode::pid(params, "pid");
  request.budgetMs = decode::integerWithin(params, "budgetMs", OutlineRules::minBudgetMs,
                                           OutlineRules::timeBudgetMs);
  request.neverLook = NeverLookList::decode(params, "neverLook");
  return request;
}

Json Outline::toJson() const {
  return Json::object();
}

OutlineFrames OutlineFrames::decode(const JsonObject& params) {
  OutlineFrames request;
  request.outline = decode::integerWithin(params, "outline", 0, anyAbove);
  request.refs =
      decode::integersFrom(params, "refs", static_cast<std::size_t>(OutlineRules::limit), 0);
  return request;
}

Json OutlineFramesRead::toJson() const {
  return Json::object();
}

Json OutlineStates::toJson() const {
  return Json::object();
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
  return Json::object();
}

OutlineWatch OutlineWatch::decode(const JsonObject& params) {
  return {decode::nullablePid(params, "pid")};
}

Json OutlineWatching::toJson() const {
  return Json::object();
}

}  // namespace halcy
