#include "DeskProtocol.hpp"

#include <algorithm>
#include <limits>

#include "Base64.hpp"
#include "Graphemes.hpp"
#include "ParamRules.hpp"

namespace halcy {

namespace {

// The longest Base64 text whose bytes can still fit the PDF limit; longer text is refused
// before anything is decoded.
constexpr std::size_t pdfMaxBase64Chars = 4 * ((DeskLimits::pdfMaxBytes + 2) / 3);

bool isSearchName(const std::string& name) {
  return !name.empty() &&
         graphemeCount(name, DeskLimits::searchNameLength) <= DeskLimits::searchNameLength;
}

}  // namespace

Json AppsRunning::toJson() const {
  return Json::object();
}

Json QuitTarget::toJson() const {
  return Json::object();
}

AppsQuit AppsQuit::decode(const JsonObject& params) {
  AppsQuit quit;
  quit.bundleId = ParamRules::nonEmptyText(params, "bundleId", "Empty.");
  // The wire's 64 bits do not fit the platform's process ids; a pid below 1 still decodes, so that
  // a request naming another application is refused as such whatever its pid.
  quit.pid = ParamRules::within<std::int64_t>(
      params.integer("pid"), std::numeric_limits<std::int32_t>::min(),
      std::numeric_limits<std::int32_t>::max(), "Not a pid.");
  return quit;
}

Json AppsQuitResult::toJson() const {
  return Json::object();
}

AppsDescribe AppsDescribe::decode(const JsonObject& params) {
  AppsDescribe describe;
  describe.bundleIds = params.texts("bundleIds");
  const bool anyEmpty = std::any_of(describe.bundleIds.begin(), describe.bundleIds.end(),
                                    [](const std::string& id) { return id.empty(); });
  ParamRules::require(!describe.bundleIds.empty() &&
                          describe.bundleIds.size() <= DeskLimits::describeMax && !anyEmpty,
                      "Not a bundle list.");
  describe.iconPx = ParamRules::within(params.integer("iconPx"), DeskLimits::iconPxMin,
                                       DeskLimits::iconPxMax, "Out of range.");
  return describe;
}

Json AppsDescribed::toJson() const {
  return Json::object();
}

FilesSearch FilesSearch::decode(const JsonObject& params) {
  FilesSearch search;
  search.names = params.texts("names");
  // Counted before any name is measured, so a long list costs nothing to refuse.
  ParamRules::require(!search.names.empty() && search.names.size() <= DeskLimits::searchNames &&
                          std::all_of(search.names.begin(), search.names.end(), isSearchName),
                      "Not a name list.");
  search.limit = ParamRules::within<std::int64_t>(params.integer("limit"), 1,
                                                  DeskLimits::searchLimit, "Out of range.");
  search.patienceMs = ParamRules::within(params.integer("patienceMs"), DeskLimits::patienceMsMin,
                                         DeskLimits::patienceMsMax, "Out of range.");
  return search;
}

Json FoundFileFact::toJson() const {
  return Json::object({{"path", path},
                       {"name", name},
                       {"modified", modified ? Json(*modified) : Json(nullptr)},
                       {"bytes", bytes ? Json(*bytes) : Json(nullptr)}});
}

Json FilesFound::toJson() const {
  Json found = Json::array();
  for (const auto& file : files) found.push_back(file.toJson());
  return Json::object({{"files", std::move(found)}, {"timedOut", timedOut}});
}

DocumentPdfText DocumentPdfText::decode(const JsonObject& params) {
  const std::string text = params.text("data");
  ParamRules::require(text.size() <= pdfMaxBase64Chars, "Not base64 PDF bytes.");
  auto bytes = base64Decode(text);
  ParamRules::require(bytes && !bytes->empty() && bytes->size() <= DeskLimits::pdfMaxBytes,
                      "Not base64 PDF bytes.");
  return {std::move(*bytes)};
}

Json DocumentTextRead::toJson() const {
  return Json::object({{"text", text}, {"pages", pages}});
}

}  // namespace halcy
