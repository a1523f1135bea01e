#pragma once
// The desk area on Linux: file search and PDF text. Applications are not built yet.

#include <string>

#include "Desk.hpp"
#include "LinuxFiles.hpp"

namespace halcy {

class LinuxDesk final : public DeskArea {
 public:
  explicit LinuxDesk(std::string home) : files_(std::move(home)) {}

  AppsRunning running() override { throw notBuiltYet(); }
  std::optional<QuitTarget> quitTarget(std::int64_t) override { throw notBuiltYet(); }
  bool terminate(std::int64_t) override { throw notBuiltYet(); }
  AppsDescribed describe(const AppsDescribe&) override { throw notBuiltYet(); }
  FilesFound search(const FilesSearch& request) override;
  DocumentTextRead pdfText(const DocumentPdfText& request) override;

 private:
  LinuxFileSearch files_;
};

}  // namespace halcy
