#include "DeskProtocol.hpp"

namespace halcy {

Json AppsRunning::toJson() const { return Json::object(); }

Json QuitTarget::toJson() const { return Json::object(); }

AppsQuit AppsQuit::decode(const JsonObject&) { return {}; }

Json AppsQuitResult::toJson() const { return Json::object(); }

AppsDescribe AppsDescribe::decode(const JsonObject&) { return {}; }

Json AppsDescribed::toJson() const { return Json::object(); }

FilesSearch FilesSearch::decode(const JsonObject&) { return {}; }

Json FilesFound::toJson() const { return Json::object(); }

DocumentPdfText DocumentPdfText::decode(const JsonObject&) { return {}; }

Json DocumentTextRead::toJson() const { return Json::object(); }

}  // namespace halcy
