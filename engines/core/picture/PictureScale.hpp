#pragma once
// Resampling pictures with pixman's SIMD bilinear filter (chosen by bench/PictureBench: several
// times faster than libswscale on BGRX). A bilinear step samples at most two source pixels per
// axis, so a large reduction first halves the picture, each halving an exact 2x2 average, until
// one bilinear step is left: no pixel of the source is skipped.

#include <cstdint>

#include "Picture.hpp"

namespace halcy::PictureScale {

// The picture at exactly width x height pixels; the picture itself when it has that size already;
// an empty picture when either size is not positive or memory runs out.
Picture to(const Picture& source, std::int32_t width, std::int32_t height);

// A rectangle of the picture (clipped to it) as a picture of its own memory.
Picture crop(const Picture& source, std::int32_t x, std::int32_t y, std::int32_t width,
             std::int32_t height);

}  // namespace halcy::PictureScale
