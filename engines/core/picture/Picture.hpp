#pragma once
// A picture of the screen in memory: 32-bit pixels in the X server's and TurboJPEG's BGRX byte
// order (little-endian x8r8g8b8), rows from the top. The pixels may live in memory the picture
// does not own (a shared-memory segment a grab filled); `keeper` holds that memory for as long as
// any copy of the picture lives.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace halcy {

struct Picture {
  static constexpr std::size_t bytesPerPixel = 4;

  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t stride = 0;  // bytes from one row to the next
  std::uint8_t* pixels = nullptr;
  std::shared_ptr<void> keeper;

  // A picture of its own memory, every pixel opaque black; empty for a size that is not positive.
  static Picture blank(std::int32_t width, std::int32_t height);
  // A picture of memory someone else holds; `keeper` is kept alive with it.
  static Picture over(std::int32_t width, std::int32_t height, std::size_t stride,
                      std::uint8_t* pixels, std::shared_ptr<void> keeper);

  bool empty() const { return pixels == nullptr || width <= 0 || height <= 0; }
  std::uint8_t* row(std::int32_t y) const { return pixels + static_cast<std::size_t>(y) * stride; }
  std::uint32_t pixel(std::int32_t x, std::int32_t y) const;
  // 0xRRGGBB of every pixel of the rectangle (clipped to the picture) set to one colour.
  void fill(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
            std::uint32_t rgb);
};

}  // namespace halcy
