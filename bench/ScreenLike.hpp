#pragma once
// A screen-like picture for the picture benchmarks: flat areas with noisy text-like rows.

#include <random>

#include "Picture.hpp"

namespace halcy::bench {

inline Picture screenLike(int width, int height) {
  Picture picture = Picture::blank(width, height);
  std::mt19937 noise(7);
  picture.fill(0, 0, width, height, 0xF0F0F0);
  for (int y = 40; y < height; y += 24) {
    for (int x = 20; x < width - 20; x += 9) {
      if (noise() % 3 != 0) picture.fill(x, y, 6, 12, noise() & 0x404040);
    }
  }
  return picture;
}

}  // namespace halcy::bench
