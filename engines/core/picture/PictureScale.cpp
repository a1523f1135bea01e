#include "PictureScale.hpp"

#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace halcy::PictureScale {

namespace {

struct ImageUnref {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using Image = std::unique_ptr<pixman_image_t, ImageUnref>;

Image imageOf(const Picture& picture) {
  return Image(pixman_image_create_bits(PIXMAN_x8r8g8b8, picture.width, picture.height,
                                        reinterpret_cast<std::uint32_t*>(picture.pixels),
                                        static_cast<int>(picture.stride)));
}

// One bilinear step; edges repeat their last pixel instead of fading into transparent black.
Picture step(const Picture& source, std::int32_t width, std::int32_t height) {
  Picture target = Picture::blank(width, height);
  if (target.empty()) return {};
  Image from = imageOf(source);
  Image to = imageOf(target);
  if (!from || !to) return {};
  pixman_transform_t transform;
  pixman_transform_init_scale(&transform,
                              pixman_double_to_fixed(static_cast<double>(source.width) / width),
                              pixman_double_to_fixed(static_cast<double>(source.height) / height));
  pixman_image_set_transform(from.get(), &transform);
  pixman_image_set_filter(from.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(from.get(), PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, from.get(), nullptr, to.get(), 0, 0, 0, 0, 0, 0, width,
                           height);
  return target;
}

// The next size on the way from `from` to `to` along one axis: half while more than half is to go.
std::int32_t nextEdge(std::int32_t from, std::int32_t to) {
  return from > 2 * to ? (from + 1) / 2 : to;
}

}  // namespace

Picture to(const Picture& source, std::int32_t width, std::int32_t height) {
  if (source.empty() || width <= 0 || height <= 0) return {};
  Picture current = source;
  while (current.width != width || current.height != height) {
    const std::int32_t nextWidth = nextEdge(current.width, width);
    const std::int32_t nextHeight = nextEdge(current.height, height);
    Picture next = step(current, nextWidth, nextHeight);
    if (next.empty()) return {};
    current = std::move(next);
  }
  return current;
}

Picture crop(const Picture& source, std::int32_t x, std::int32_t y, std::int32_t width,
             std::int32_t height) {
  const std::int32_t left = std::max(x, 0);
  const std::int32_t top = std::max(y, 0);
  const std::int32_t right = std::min(x + width, source.width);
  const std::int32_t bottom = std::min(y + height, source.height);
  if (source.empty() || right <= left || bottom <= top) return {};
  Picture target = Picture::blank(right - left, bottom - top);
  if (target.empty()) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(target.width) * Picture::bytesPerPixel;
  for (std::int32_t line = 0; line < target.height; ++line) {
    std::memcpy(target.row(line),
                source.row(top + line) + static_cast<std::size_t>(left) * Picture::bytesPerPixel,
                rowBytes);
  }
  return target;
}

}  // namespace halcy::PictureScale
