#include "InkProtocol.hpp"

#include <algorithm>
#include <array>

#include "ParamRules.hpp"
#include "StageProtocol.hpp"

namespace halcy {

namespace {

constexpr std::array<InkKind, 5> inkKinds = {InkKind::region, InkKind::point, InkKind::underline,
                                             InkKind::arrow, InkKind::cross};

InkKind inkKind(const std::string& name) {
  for (const InkKind kind : inkKinds) {
    if (wireName(kind) == name) return kind;
  }
  throw DecodeError("Unknown kind.");
}

std::optional<ScreenPoint> end(const JsonObject& object, std::string_view key) {
  return StageCheck::nullable<ScreenPoint>(
      object, key, [](const Json& value) { return ScreenPoint::decode(JsonObject(value)); });
}

Json optionalPoint(const std::optional<ScreenPoint>& point) {
  return point ? point->toJson() : Json(nullptr);
}

Json optionalText(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json(nullptr);
}

template <class Record>
Json jsonList(const std::vector<Record>& records) {
  Json list = Json::array();
  for (const Record& record : records) list.push_back(record.toJson());
  return list;
}

std::int64_t handle(std::int64_t value) {
  ParamRules::require(value >= 0, "Out of range.");
  return value;
}

}  // namespace

std::string_view wireName(InkKind kind) {
  switch (kind) {
    case InkKind::region:
      return "region";
    case InkKind::point:
      return "point";
    case InkKind::underline:
      return "underline";
    case InkKind::arrow:
      return "arrow";
    case InkKind::cross:
      return "cross";
  }
  return "region";
}

InkCapture InkCapture::decode(const JsonObject& params) {
  return {params.number("x"), params.number("y"), StageCheck::pids(params, "excludePids"),
          NeverLookList::decode(params, "neverLook")};
}

Json InkCaptured::toJson() const {
  return Json::object(
      {{"capture", capture}, {"display", display.toJson()}, {"pixels", pixels.toJson()}});
}

InkComposeMark InkComposeMark::decode(const JsonObject& object) {
  InkComposeMark mark;
  mark.n = object.integer("n");
  ParamRules::require(mark.n > 0, "Out of range.");
  mark.kind = inkKind(object.text("kind"));
  mark.line = ParamRules::records<ScreenPoint>(object, "line", InkLimits::lineMax, "Out of range.");
  mark.focus = ScreenRect::decode(object.object("focus"));
  mark.from = end(object, "from");
  mark.to = end(object, "to");
  return mark;
}

InkPiece InkPiece::decode(const JsonObject& object) {
  InkPiece piece;
  piece.capture = handle(object.integer("capture"));
  piece.rect = ScreenRect::decode(object.object("rect"));
  piece.marks = object.integers("marks");
  const bool allNumbered = std::all_of(piece.marks.begin(), piece.marks.end(),
                                       [](std::int64_t number) { return number > 0; });
  ParamRules::require(piece.marks.size() <= InkLimits::marksMax && allNumbered, "Out of range.");
  return piece;
}

InkCompose InkCompose::decode(const JsonObject& params) {
  InkCompose compose;
  compose.pieces =
      ParamRules::records<InkPiece>(params, "pieces", InkLimits::marksMax, "Out of range.");
  compose.marks =
      ParamRules::records<InkComposeMark>(params, "marks", InkLimits::marksMax, "Out of range.");
  compose.context = StageCheck::nullable<std::int64_t>(
      params, "context", [](const Json& value) { return handle(decode::integer(value)); });
  compose.readText = params.boolean("readText");
  return compose;
}

Json InkMarkRect::toJson() const {
  return Json::object({{"n", n}, {"rect", rect.toJson()}});
}

Json InkMarkEnds::toJson() const {
  return Json::object({{"n", n}, {"from", optionalPoint(from)}, {"to", optionalPoint(to)}});
}

Json InkMarkText::toJson() const {
  return Json::object({{"n", n}, {"text", text}});
}

Json InkComposed::toJson() const {
  return Json::object({{"image", optionalText(image)},
                       {"rects", jsonList(rects)},
                       {"ends", jsonList(ends)},
                       {"text", jsonList(text)},
                       {"context", optionalText(context)}});
}

InkRelease InkRelease::decode(const JsonObject& params) {
  auto captures = params.integers("captures");
  ParamRules::require(captures.size() <= InkLimits::capturesKept, "Out of range.");
  for (const auto capture : captures) handle(capture);
  return {captures};
}

}  // namespace halcy
