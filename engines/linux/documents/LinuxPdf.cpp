#include "LinuxPdf.hpp"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <climits>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace halcy {

namespace {

// poppler reports every flaw of a damaged file on standard error, which is not its to write on.
void silencePoppler() {
  static std::once_flag once;
  std::call_once(
      once, [] { poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr); });
}

DocumentTextRead textOf(std::string_view pdfBytes) {
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
    std::string_view pageText(utf8.data(), utf8.size());
    // poppler ends each page with a form feed; pages are joined by a line break instead.
    if (!pageText.empty() && pageText.back() == '\f') pageText.remove_suffix(1);
    if (index > 0) read.text += '\n';
    read.text.append(pageText);
  }
  return read;
}

}  // namespace

// The bytes are the caller's: poppler's parser recurses as deep as a file nests its objects, so it
// reads on a thread with a full-sized stack rather than on the request's small one.
DocumentTextRead LinuxPdf::text(std::string_view pdfBytes) {
  silencePoppler();
  if (pdfBytes.empty() || pdfBytes.size() > static_cast<std::size_t>(INT_MAX)) return {};
  DocumentTextRead read;
  std::exception_ptr failure;
  try {
    std::thread([&] {
      try {
        read = textOf(pdfBytes);
      } catch (...) {
        failure = std::current_exception();
      }
    }).join();
  } catch (const std::system_error&) {
    // No thread to be had: read here.
    return textOf(pdfBytes);
  }
  if (failure) std::rethrow_exception(failure);
  return read;
}

}  // namespace halcy
