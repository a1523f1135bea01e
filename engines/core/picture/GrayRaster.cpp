#include "GrayRaster.hpp"

#include "PictureScale.hpp"

namespace halcy::GrayRaster {

std::optional<std::vector<std::uint8_t>> of(const Picture& picture, std::int32_t width,
                                            std::int32_t height) {
  const Picture small = PictureScale::to(picture, width, height);
  if (small.empty()) return std::nullopt;
  std::vector<std::uint8_t> gray;
  gray.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t rgb = small.pixel(x, y);
      const std::uint32_t red = rgb >> 16 & 0xFFU;
      const std::uint32_t green = rgb >> 8 & 0xFFU;
      const std::uint32_t blue = rgb & 0xFFU;
      // 0.299, 0.587 and 0.114 in 1/256ths; they sum to 256, so a flat colour stays flat.
      gray.push_back(static_cast<std::uint8_t>((77 * red + 150 * green + 29 * blue) >> 8));
    }
  }
  return gray;
}

}  // namespace halcy::GrayRaster
