#include "LinuxDesk.hpp"

#include "LinuxPdf.hpp"

namespace halcy {

FilesFound LinuxDesk::search(const FilesSearch& request) {
  return files_.search(request);
}

DocumentTextRead LinuxDesk::pdfText(const DocumentPdfText& request) {
  return LinuxPdf::text(request.data);
}

}  // namespace halcy
