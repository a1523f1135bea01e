#pragma once
// JPEG files of pictures through libjpeg-turbo's TurboJPEG interface, and the Base64 text they
// cross the wire as.

#include <optional>
#include <string>

#include "Picture.hpp"

namespace halcy::Jpeg {

// TurboJPEG's 1 to 100 for a lossy quality of 0.1 to 1.0 (rounded, kept within 1 to 100).
int turboQuality(double quality);

// The bytes of a baseline JPEG file; none for an empty picture or when encoding fails. Colour is
// kept at full resolution from quality 0.9 up and halved in both directions below, where the
// file size matters more than the edges of coloured text.
std::optional<std::string> encode(const Picture& picture, double quality);

// The same file as standard Base64 text (padded, no line breaks).
std::optional<std::string> base64(const Picture& picture, double quality);

}  // namespace halcy::Jpeg
