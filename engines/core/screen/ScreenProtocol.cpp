#include "ScreenProtocol.hpp"

#include "ParamRules.hpp"
#include "ScreenLimits.hpp"
#include "StageProtocol.hpp"

namespace halcy {

namespace {

double jpegQuality(const JsonObject& params) {
  return ParamRules::within(params.number("quality"), ScreenLimits::qualityMin,
                            ScreenLimits::qualityMax, "Out of range.");
}

ScreenRect regionRect(const JsonObject& params) {
  const ScreenRect rect = ScreenRect::decode(params.object("rect"));
  ParamRules::within(rect.width, ScreenLimits::regionEdgeMin, ScreenLimits::regionEdgeMax,
                     "Out of range.");
  ParamRules::within(rect.height, ScreenLimits::regionEdgeMin, ScreenLimits::regionEdgeMax,
                     "Out of range.");
  return rect;
}

}  // namespace

ScreenRead ScreenRead::decode(const JsonObject& params) {
  ScreenRead read;
  read.pid = ParamRules::pid(params, "pid");
  read.maxChars = ParamRules::within<std::int64_t>(params.integer("maxChars"), 1,
                                                   ScreenLimits::textMaxChars, "Out of range.");
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
  capture.pid = StageCheck::nullable<std::int64_t>(params, "pid", decode::integer);
  ParamRules::require(!capture.pid || *capture.pid >= 1, "Not a pid.");
  capture.excludePids = StageCheck::pids(params, "excludePids");
  capture.neverLook = NeverLookList::decode(params, "neverLook");
  capture.longEdge = ParamRules::within(params.integer("longEdge"), ScreenLimits::longEdgeMin,
                                        ScreenLimits::longEdgeMax, "Out of range.");
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
