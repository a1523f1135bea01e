#include "DeskProtocol.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "Base64.hpp"
#include "Decode.hpp"
#include "Output.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

// The longest Base64 text whose bytes can still fit the PDF limit; longer text is refused
// before anything is decoded.
constexpr std::size_t pdfMaxBase64Chars = 4 * ((DeskLimits::pdfMaxBytes + 2) / 3);

// A text that cannot be segmented is the engine's failure, not a reason of the caller's: the
// request answers "files.search failed.".
bool isSearchName(const std::string& name) {
  try {
    return !name.empty() &&
           Graphemes::count(name, DeskLimits::searchNameLength + 1) <= DeskLimits::searchNameLength;
  } catch (const EngineFailure& failure) {
    throw std::runtime_error(failure.message);
  }
}

}  // namespace

Json AppsRunning::toJson() const {
  return Json::object();
}

AppsQuit AppsQuit::decode(const JsonObject& params) {
  AppsQuit quit;
  quit.bundleId = decode::nonEmptyText(params, "bundleId");
  // The wire's 64 bits do not fit the platform's process ids; a pid below 1 still decodes, so that
  // a request naming another application is refused as such whatever its pid.
  quit.pid = decode::integerWithin(params, "pid", std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max(), "Not a pid.");
  return quit;
}

Json AppsQuitResult::toJson() const {
  return Json::object();
}

AppsDescribe AppsDescribe::decode(const JsonObject& params) {
  AppsDescribe describe;
  describe.bundleIds =
      decode::nonEmptyTexts(params, "bundleIds", DeskLimits::describeMax, "Not a bundle list.");
  decode::require(!describe.bundleIds.empty(), "Not a bundle list.");
  describe.iconPx =
      decode::integerWithin(params, "iconPx", DeskLimits::iconPxMin, DeskLimits::iconPxMax);
  return describe;
}

Json AppsDescribed::toJson() const {
  return Json::object();
}

FilesSearch FilesSearch::decode(const JsonObject& params) {
  FilesSearch search;
  search.names = params.texts("names");
  // Counted before any name is measured, so a long list costs nothing to refuse.
  decode::require(!search.names.empty() && search.names.size() <= DeskLimits::searchNames &&
                      std::all_of(search.names.begin(), search.names.end(), isSearchName),
                  "Not a name list.");
  search.limit = decode::integerWithin(params, "limit", 1, DeskLimits::searchLimit);
  search.patienceMs = decode::integerWithin(params, "patienceMs", DeskLimits::patienceMsMin,
                                            DeskLimits::patienceMsMax);
  return search;
}

Json FoundFileFact::toJson() const {
  return Json::object(
      {{"path", path}, {"name", name}, {"modified", orNull(modified)}, {"bytes", orNull(bytes)}});
}

Json FilesFound::toJson() const {
  Json found = Json::array();
  for (const auto& file : files) found.push_back(file.toJson());
  return Json::object({{"files", std::move(found)}, {"timedOut", timedOut}});
}

DocumentPdfText DocumentPdfText::decode(const JsonObject& params) {
  const std::string text = params.text("data");
  decode::require(text.size() <= pdfMaxBase64Chars, "Not base64 PDF bytes.");
  auto bytes = base64Decode(text);
  decode::require(bytes && !bytes->empty() && bytes->size() <= DeskLimits::pdfMaxBytes,
                  "Not base64 PDF bytes.");
  return {std::move(*bytes)};
}

Json DocumentTextRead::toJson() const {
  return Json::object({{"text", text}, {"pages", pages}});
}

}  // namespace halcy
