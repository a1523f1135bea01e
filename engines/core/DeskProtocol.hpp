#pragma once
// The applications, files and documents records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct AppsRunning {
  Json toJson() const;
};

struct QuitTarget {
  Json toJson() const;
};

struct AppsQuit {
  static AppsQuit decode(const JsonObject& params);
};

struct AppsQuitResult {
  Json toJson() const;
};

struct AppsDescribe {
  static AppsDescribe decode(const JsonObject& params);
};

struct AppsDescribed {
  Json toJson() const;
};

struct FilesSearch {
  static FilesSearch decode(const JsonObject& params);
};

struct FilesFound {
  Json toJson() const;
};

struct DocumentPdfText {
  static DocumentPdfText decode(const JsonObject& params);
};

struct DocumentTextRead {
  Json toJson() const;
};

}  // namespace halcy
