#pragma once
// The applications, files and documents records on the wire: parameters decode strictly, results
// encode in field order.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

namespace DeskLimits {
inline constexpr std::size_t describeMax = 64;
inline constexpr std::int64_t iconPxMin = 16;
inline constexpr std::int64_t iconPxMax = 256;
inline constexpr std::int64_t searchLimit = 40;
inline constexpr std::int64_t patienceMsMin = 100;
inline constexpr std::int64_t patienceMsMax = 5000;
inline constexpr std::size_t searchNames = 16;
// In user-perceived characters.
inline constexpr std::size_t searchNameLength = 128;
inline constexpr std::size_t pdfMaxBytes = 10000000;
}  // namespace DeskLimits

struct AppsRunning {
  Json toJson() const;
};

struct AppsQuit {
  // The identifier the caller expects at `pid`.
  std::string bundleId;
  // Always within the platform's 32-bit process ids. Zero and negative pids decode: they name no
  // application, and the quit rule answers them in its own order ("Only the Velmora may be quit."
  // first). Whatever quits must treat them as no target, never hand them to a signal call, which
  // reads them as process groups.
  std::int64_t pid = 0;
  static constexpr std::string_view keyNames[] = {"bundleId", "pid"};
  static AppsQuit decode(const JsonObject& params);
};

struct AppsQuitResult {
  Json toJson() const;
};

struct AppsDescribe {
  std::vector<std::string> bundleIds;
  std::int64_t iconPx = 0;
  static constexpr std::string_view keyNames[] = {"bundleIds", "iconPx"};
  static AppsDescribe decode(const JsonObject& params);
};

struct AppsDescribed {
  Json toJson() const;
};

struct FilesSearch {
  std::vector<std::string> names;
  std::int64_t limit = 0;
  std::int64_t patienceMs = 0;
  static constexpr std::string_view keyNames[] = {"names", "limit", "patienceMs"};
  static FilesSearch decode(const JsonObject& params);
};

struct FoundFileFact {
  std::string path;
  // The last component of `path`.
  std::string name;
  // Last content change, milliseconds since 1970-01-01 UTC.
  std::optional<double> modified;
  std::optional<std::int64_t> bytes;
  Json toJson() const;
};

struct FilesFound {
  // Newest first.
  std::vector<FoundFileFact> files;
  // The patience ran out before the search had looked everywhere.
  bool timedOut = false;
  Json toJson() const;
};

struct DocumentPdfText {
  // The decoded PDF file, 1 to DeskLimits::pdfMaxBytes bytes.
  std::string data;
  static constexpr std::string_view keyNames[] = {"data"};
  static DocumentPdfText decode(const JsonObject& params);
};

struct DocumentTextRead {
  // Empty when the document has none or cannot be opened.
  std::string text;
  // 0 when the document cannot be opened.
  std::int64_t pages = 0;
  Json toJson() const;
};

}  // namespace halcy
