#include "ScreenProtocol.hpp"

namespace halcy {

ScreenRead ScreenRead::decode(const JsonObject&) { return {}; }

Json ScreenText::toJson() const { return Json::object(); }

ScreenCapture ScreenCapture::decode(const JsonObject&) { return {}; }

Json ScreenCaptured::toJson() const { return Json::object(); }

ScreenRegion ScreenRegion::decode(const JsonObject&) { return {}; }

Json ScreenRegionCaptured::toJson() const { return Json::object(); }

}  // namespace halcy
