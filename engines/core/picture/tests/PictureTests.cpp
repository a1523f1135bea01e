#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "DesktopFacts.hpp"
#include "GrayRaster.hpp"
#include "Jpeg.hpp"
#include "Picture.hpp"
#include "PictureScale.hpp"

namespace halcy {
namespace {

struct Decoded {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  std::uint32_t at(int x, int y) const {
    const unsigned char* p = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
    return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
  }
};

Decoded decode(const std::string& file) {
  std::unique_ptr<void, int (*)(void*)> handle(tjInitDecompress(), tjDestroy);
  Decoded decoded;
  int subsampling = 0;
  int colourspace = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  EXPECT_EQ(tjDecompressHeader3(handle.get(), bytes, file.size(), &decoded.width, &decoded.height,
                                &subsampling, &colourspace),
            0);
  decoded.rgb.resize(static_cast<std::size_t>(decoded.width * decoded.height * 3));
  EXPECT_EQ(tjDecompress2(handle.get(), bytes, file.size(), decoded.rgb.data(), decoded.width, 0,
                          decoded.height, TJPF_RGB, 0),
            0);
  return decoded;
}

bool near(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)) >
        tolerance) {
      return false;
    }
  }
  return true;
}

TEST(Picture, BlankFillAndPixel) {
  Picture picture = Picture::blank(4, 3);
  EXPECT_EQ(picture.pixel(3, 2), 0x000000U);
  picture.fill(1, 1, 10, 10, 0x123456);
  EXPECT_EQ(picture.pixel(0, 0), 0x000000U);
  EXPECT_EQ(picture.pixel(3, 2), 0x123456U);
  EXPECT_TRUE(Picture::blank(0, 3).empty());
}

TEST(PictureScale, ExactSizesFlatColoursAndAveragedReductions) {
  Picture flat = Picture::blank(1920, 1080);
  flat.fill(0, 0, 1920, 1080, 0x3399CC);
  for (auto [width, height] : {std::pair{1568, 882}, {64, 36}, {72, 64}, {1, 1}, {1920, 1080}}) {
    const Picture scaled = PictureScale::to(flat, width, height);
    ASSERT_EQ(scaled.width, width);
    ASSERT_EQ(scaled.height, height);
    EXPECT_EQ(scaled.pixel(0, 0), 0x3399CCU);
    EXPECT_EQ(scaled.pixel(width - 1, height - 1), 0x3399CCU);
  }
  // One-pixel stripes reduced 32 times become their average, not one of the two stripes.
  Picture stripes = Picture::blank(256, 64);
  for (int x = 0; x < 256; x += 2) stripes.fill(x, 0, 1, 64, 0xFFFFFF);
  const Picture small = PictureScale::to(stripes, 8, 2);
  EXPECT_TRUE(near(small.pixel(3, 1), 0x7F7F7F, 2)) << std::hex << small.pixel(3, 1);
  EXPECT_TRUE(PictureScale::to(flat, 0, 10).empty());
  EXPECT_TRUE(PictureScale::to(Picture{}, 10, 10).empty());
}

TEST(PictureScale, CropCopiesTheClippedRectangle) {
  Picture picture = Picture::blank(10, 10);
  picture.fill(2, 3, 1, 1, 0xABCDEF);
  const Picture piece = PictureScale::crop(picture, 2, 3, 20, 2);
  ASSERT_EQ(piece.width, 8);
  ASSERT_EQ(piece.height, 2);
  EXPECT_EQ(piece.pixel(0, 0), 0xABCDEFU);
  EXPECT_TRUE(PictureScale::crop(picture, 10, 0, 5, 5).empty());
}

TEST(Jpeg, QualityMapsToTurboJpegsScale) {
  const std::pair<double, int> cases[] = {{0.1, 10}, {1.0, 100}, {0.555, 56},
                                          {0.8, 80}, {0.0, 1},   {2.0, 100}};
  for (auto [quality, turbo] : cases) EXPECT_EQ(Jpeg::turboQuality(quality), turbo) << quality;
}

TEST(Jpeg, EncodesAFileThatDecodesToThePicture) {
  Picture picture = Picture::blank(160, 90);
  picture.fill(0, 0, 80, 90, 0xFF0000);
  picture.fill(80, 0, 80, 90, 0x00FF00);
  for (double quality : {0.5, 0.95}) {
    const auto file = Jpeg::encode(picture, quality);
    ASSERT_TRUE(file);
    const Decoded decoded = decode(*file);
    EXPECT_EQ(decoded.width, 160);
    EXPECT_EQ(decoded.height, 90);
    EXPECT_TRUE(near(decoded.at(20, 45), 0xFF0000, 8)) << std::hex << decoded.at(20, 45);
    EXPECT_TRUE(near(decoded.at(140, 45), 0x00FF00, 8)) << std::hex << decoded.at(140, 45);
  }
  const auto text = Jpeg::base64(picture, 0.8);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->rfind("/9j/", 0), 0U) << "a JPEG's start-of-image marker";
  EXPECT_EQ(Jpeg::encode(Picture{}, 0.8), std::nullopt);
}

TEST(GrayRaster, LumaOfColours) {
  const std::pair<std::uint32_t, std::uint8_t> cases[] = {
      {0x000000, 0}, {0xFFFFFF, 255}, {0xFF0000, 76}, {0x00FF00, 149}, {0x0000FF, 28}};
  for (auto [rgb, luma] : cases) {
    Picture picture = Picture::blank(100, 100);
    picture.fill(0, 0, 100, 100, rgb);
    const auto raster = GrayRaster::of(picture, 72, 64);
    ASSERT_TRUE(raster);
    ASSERT_EQ(raster->size(), 72U * 64U);
    EXPECT_EQ(raster->front(), luma) << std::hex << rgb;
    EXPECT_EQ(raster->back(), luma) << std::hex << rgb;
  }
}

}  // namespace
}  // namespace halcy
