#include "ScreenProtocol.hpp"

#include "Decode.hpp"
#include "ScreenLimits.hpp"
#include "StageProtocol.hpp"

namespace halcy {

namespace {

double jpegQuality(const JsonObject& params) {
  return decode::within(params.number("quality"), ScreenLimits::qualityMin,
                        ScreenLimits::qualityMax);
}

ScreenRect regionRect(const JsonObject& params) {
  const ScreenRect rect = ScreenRect::decode(params.object("rect"));
  decode::within(rect.width, ScreenLimits::regionEdgeMin, ScreenLimits::regionEdgeMax);
  decode::within(rect.height, ScreenLimits::regionEdgeMin, ScreenLimits::regionEdgeMax);
  return rect;
}

}  // namespace

ScreenRead ScreenRead::decode(const JsonObject& params) {
  ScreenRead read;
  read.pid = decode::pid(params, "pid");
  read.maxChars = decode::integerWithin(params, "maxChars", 1, ScreenLimits::textMaxChars);
  read.neverLook = NeverLookList::decode(params, "neverLook");
  return read;
}

Json ScreenText::toJson() const {
  return Json::object({{"app", app.toJson()},
                       {"windowTitle", windowTitle ? Json(*windowTitle) : Json(nullptr)},
                       {"text", text},
                       {"gated", gated}});
}

ScreenCapture ScreenCapture::decode(const JsonObject& params) {
  ScreenCapture capture;
  capture.pid = decode::nullablePid(params, "pid");
  capture.excludePids = StageCheck::pids(params, "excludePids");
  capture.neverLook = NeverLookList::decode(params, "neverLook");
  capture.longEdge = decode::integerWithin(params, "longEdge", ScreenLimits::longEdgeMin,
                                           ScreenLimits::longEdgeMax);
  capture.quality = jpegQuality(params);
  return capture;
}

Json ScreenCaptured::toJson() const {
  return Json::object(
      {{"jpeg", jpeg}, {"width", width}, {"height", height}, {"display", display.toJson()}});
}

ScreenRegion ScreenRegion::decode(const JsonObject& params) {
  ScreenRegion region;
  region.rect = regionRect(params);
  region.excludePids = StageCheck::pids(params, "excludePids");
  region.neverLook = NeverLookList::decode(params, "neverLook");
  region.quality = jpegQuality(params);
  return region;
}

Json ScreenRegionCaptured::toJson() const {
  return Json::object({{"jpeg", jpeg},
                       {"width", width},
                       {"height", height},
                       {"rect", rect.toJson()},
                       {"hash", hash}});
}

}  // namespace halcy
