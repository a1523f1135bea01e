#pragma once
// The desk area: applications, file search and document text. Every operation may throw an
// EngineFailure; `shutdown` never fails.

#include "DeskProtocol.hpp"
#include "Output.hpp"

namespace halcy {

class DeskArea {
 public:
  virtual ~DeskArea() = default;
  virtual AppsRunning running() = 0;
  // Asks the application at the pid what it is, applies the quit rules, and only then asks it to
  // quit.
  virtual AppsQuitResult quit(const AppsQuit& request) = 0;
  virtual AppsDescribed describe(const AppsDescribe& request) = 0;
  virtual FilesFound search(const FilesSearch& request) = 0;
  virtual DocumentTextRead pdfText(const DocumentPdfText& request) = 0;
};

class UnbuiltDesk : public DeskArea {
 public:
  AppsRunning running() override { throw notBuiltYet(); }
  AppsQuitResult quit(const AppsQuit&) override { throw notBuiltYet(); }
  AppsDescribed describe(const AppsDescribe&) override { throw notBuiltYet(); }
  FilesFound search(const FilesSearch&) override { throw notBuiltYet(); }
  DocumentTextRead pdfText(const DocumentPdfText&) override { throw notBuiltYet(); }
};

}  // namespace halcy
