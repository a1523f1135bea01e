#pragma once
// The desk area: applications, file search and document text. Every operation may throw an
// EngineFailure; `shutdown` never fails.

#include <cstdint>
#include <optional>

#include "DeskProtocol.hpp"
#include "Output.hpp"

namespace halcy {

class DeskArea {
 public:
  virtual ~DeskArea() = default;
  virtual AppsRunning running() = 0;
  virtual std::optional<QuitTarget> quitTarget(std::int64_t pid) = 0;
  virtual bool terminate(std::int64_t pid) = 0;
  virtual AppsDescribed describe(const AppsDescribe& request) = 0;
  virtual FilesFound search(const FilesSearch& request) = 0;
  virtual DocumentTextRead pdfText(const DocumentPdfText& request) = 0;
};

class UnbuiltDesk : public DeskArea {
 public:
  AppsRunning running() override { throw notBuiltYet(); }
  std::optional<QuitTarget> quitTarget(std::int64_t) override { throw notBuiltYet(); }
  bool terminate(std::int64_t) override { throw notBuiltYet(); }
  AppsDescribed describe(const AppsDescribe&) override { throw notBuiltYet(); }
  FilesFound search(const FilesSearch&) override { throw notBuiltYet(); }
  DocumentTextRead pdfText(const DocumentPdfText&) override { throw notBuiltYet(); }
};

}  // namespace halcy
