#include "OutlineProtocol.hpp"

#include <limits>

#include "DecodeHelpers.hpp"
#include "StageProtocol.hpp"

namespace halcy {

namespace {
constexpr std::int64_t anyAbove = std::numeric_limits<std::int64_t>::max();
}  // namespace

OutlineRead OutlineRead::decode(const JsonObject& params) {
  OutlineRead request;
  request.pid = decode::integerWithin(params, "pid", 1, anyAbove);
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
  const std::size_t nameLength = decode::utf16Length(request.name);
  if (nameLength < 1 || nameLength > static_cast<std::size_t>(OutlineRules::nameMax)) {
    throw DecodeError(decode::outOfRange);
  }
  request.role = StageCheck::nullable<std::string>(params, "role", decode::text);
  request.limit = decode::integerWithin(params, "limit", 1, OutlineRules::findMax);
  return request;
}

Json OutlineFoundControls::toJson() const {
  return Json::object();
}

OutlineWatch OutlineWatch::decode(const JsonObject& params) {
  return {decode::nullableIntegerWithin(params, "pid", 1, anyAbove)};
}

Json OutlineWatching::toJson() const {
  return Json::object();
}

}  // namespace halcy
