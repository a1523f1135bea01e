#include "InkProtocol.hpp"

#include <array>
#include <limits>

#include "Decode.hpp"
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

constexpr std::int64_t anyAbove = std::numeric_limits<std::int64_t>::max();

std::optional<ScreenPoint> end(const JsonObject& object, std::string_view key) {
  return decode::nullable<ScreenPoint>(
      object, key, [](const Json& value) { return ScreenPoint::decode(JsonObject(value)); });
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
  return Json::object();
}

InkComposeMark InkComposeMark::decode(const JsonObject& object) {
  InkComposeMark mark;
  mark.n = decode::integerWithin(object, "n", 1, anyAbove);
  mark.kind = inkKind(object.text("kind"));
  mark.line = decode::records<ScreenPoint>(object, "line", InkLimits::lineMax);
  mark.focus = ScreenRect::decode(object.object("focus"));
  mark.from = end(object, "from");
  mark.to = end(object, "to");
  return mark;
}

InkPiece InkPiece::decode(const JsonObject& object) {
  InkPiece piece;
  piece.capture = decode::integerWithin(object, "capture", 0, anyAbove);
  piece.rect = ScreenRect::decode(object.object("rect"));
  piece.marks = decode::integersFrom(object, "marks", InkLimits::marksMax, 1);
  return piece;
}

InkCompose InkCompose::decode(const JsonObject& params) {
  InkCompose compose;
  compose.pieces = decode::records<InkPiece>(params, "pieces", InkLimits::marksMax);
  compose.marks = decode::records<InkComposeMark>(params, "marks", InkLimits::marksMax);
  compose.context = decode::nullableIntegerWithin(params, "context", 0, anyAbove);
  compose.readText = params.boolean("readText");
  return compose;
}

Json InkComposed::toJson() const {
  return Json::object();
}

InkRelease InkRelease::decode(const JsonObject& params) {
  return {decode::integersFrom(params, "captures", InkLimits::capturesKept, 0)};
}

}  // namespace halcy
