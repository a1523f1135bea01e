#include "Picture.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace halcy {

Picture Picture::blank(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return {};
  const std::size_t stride = static_cast<std::size_t>(width) * bytesPerPixel;
  const std::size_t size = stride * static_cast<std::size_t>(height);
  std::shared_ptr<std::uint8_t[]> memory(new (std::nothrow) std::uint8_t[size]);
  if (!memory) return {};
  Picture picture = over(width, height, stride, memory.get(), memory);
  picture.fill(0, 0, width, height, 0x000000);
  return picture;
}

Picture Picture::over(std::int32_t width, std::int32_t height, std::size_t stride,
                      std::uint8_t* pixels, std::shared_ptr<void> keeper) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.stride = stride;
  picture.pixels = pixels;
  picture.keeper = std::move(keeper);
  return picture;
}

std::uint32_t Picture::pixel(std::int32_t x, std::int32_t y) const {
  std::uint32_t value = 0;
  std::memcpy(&value, row(y) + static_cast<std::size_t>(x) * bytesPerPixel, sizeof value);
  return value & 0xFFFFFFU;
}

void Picture::fill(std::int32_t x, std::int32_t y, std::int32_t fillWidth, std::int32_t fillHeight,
                   std::uint32_t rgb) {
  const std::int32_t left = std::max(x, 0);
  const std::int32_t top = std::max(y, 0);
  const std::int32_t right = std::min(x + fillWidth, width);
  const std::int32_t bottom = std::min(y + fillHeight, height);
  const std::uint32_t value = 0xFF000000U | (rgb & 0xFFFFFFU);
  for (std::int32_t line = top; line < bottom; ++line) {
    std::uint8_t* at = row(line) + static_cast<std::size_t>(left) * bytesPerPixel;
    for (std::int32_t column = left; column < right; ++column, at += bytesPerPixel) {
      std::memcpy(at, &value, sizeof value);
    }
  }
}

}  // namespace halcy
