#include "InkProtocol.hpp"

namespace halcy {

InkCapture InkCapture::decode(const JsonObject&) { return {}; }

Json InkCaptured::toJson() const { return Json::object(); }

InkCompose InkCompose::decode(const JsonObject&) { return {}; }

Json InkComposed::toJson() const { return Json::object(); }

InkRelease InkRelease::decode(const JsonObject&) { return {}; }

}  // namespace halcy
