#pragma once
// A picture drawn small in 8-bit gray, for perceptual hashes.

#include <cstdint>
#include <optional>
#include <vector>

#include "Picture.hpp"

namespace halcy::GrayRaster {

// The picture resampled to width x height and turned to gray (BT.601 luma), one byte a pixel, rows
// from the top; none when the picture is empty or the raster cannot be made.
std::optional<std::vector<std::uint8_t>> of(const Picture& picture, std::int32_t width,
                                            std::int32_t height);

}  // namespace halcy::GrayRaster
