#pragma once
// "document.pdfText" on Linux, through poppler.

#include <string_view>

#include "DeskProtocol.hpp"

namespace halcy::LinuxPdf {

// The text of every page in reading order, pages separated by a line break; an empty text and no
// pages when the bytes are not a PDF that opens (damaged, or locked with a password).
DocumentTextRead text(std::string_view pdfBytes);

}  // namespace halcy::LinuxPdf
