#pragma once
// The desk area on Linux: file search and PDF text. The applications' methods are still the
// placeholder's.

#include <string>

#include "Desk.hpp"
#include "LinuxFiles.hpp"

namespace halcy {

class LinuxDesk final : public UnbuiltDesk {
 public:
  explicit LinuxDesk(std::string home) : files_(std::move(home)) {}

  FilesFound search(const FilesSearch& request) override;
  DocumentTextRead pdfText(const DocumentPdfText& request) override;

 private:
  LinuxFileSearch files_;
};

}  // namespace halcy
