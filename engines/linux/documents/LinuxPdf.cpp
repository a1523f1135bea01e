#include "LinuxPdf.hpp"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <climits>
#include <memory>
#include <mutex>

namespace halcy {

namespace {

// poppler reports every flaw of a damaged file on standard error, which is not its to write on.
void silencePoppler() {
  static std::once_flag once;
  std::call_once(
      once, [] { poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr); });
}

}  // namespace

DocumentTextRead LinuxPdf::text(std::string_view pdfBytes) {
  silencePoppler();
  if (pdfBytes.empty() || pdfBytes.size() > static_cast<std::size_t>(INT_MAX)) return {};
  std::unique_ptr<poppler::document> document(
      poppler::document::load_from_raw_data(pdfBytes.data(), static_cast<int>(pdfBytes.size())));
  if (!document || document->is_locked()) return {};
  DocumentTextRead read;
  const int pages = document->pages();
  read.pages = pages;
  for (int index = 0; index < pages; ++index) {
    std::unique_ptr<poppler::page> page(document->create_page(index));
    if (!page) continue;
    const auto utf8 =
        page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout).to_utf8();
    if (index > 0) read.text += '\n';
    read.text.append(utf8.begin(), utf8.end());
  }
  return read;
}

}  // namespace halcy
