// Picture pipeline costs against their peers in the same run: pixman's bilinear scaling (the one
// the engine uses) against libswscale's, the gray grid of a region, and TurboJPEG encoding.

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <random>

#include "Jpeg.hpp"
#include "Picture.hpp"
#include "PictureScale.hpp"
#include "ScreenRules.hpp"

namespace {

using halcy::Picture;

// A screen-like picture: flat areas with noisy text-like rows.
Picture screenLike(int width, int height) {
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

void PixmanScale(benchmark::State& state) {
  const Picture screen = screenLike(1920, 1080);
  for (auto _ : state) benchmark::DoNotOptimize(halcy::PictureScale::to(screen, 1568, 882));
}

void SwscaleScale(benchmark::State& state) {
  const Picture screen = screenLike(1920, 1080);
  Picture target = Picture::blank(1568, 882);
  SwsContext* context = sws_getContext(1920, 1080, AV_PIX_FMT_BGR0, 1568, 882, AV_PIX_FMT_BGR0,
                                       static_cast<int>(state.range(0)), nullptr, nullptr, nullptr);
  const uint8_t* in[1] = {screen.pixels};
  const int inStride[1] = {static_cast<int>(screen.stride)};
  uint8_t* out[1] = {target.pixels};
  const int outStride[1] = {static_cast<int>(target.stride)};
  for (auto _ : state) sws_scale(context, in, inStride, 0, 1080, out, outStride);
  sws_freeContext(context);
}

void GrayGridOfARegion(benchmark::State& state) {
  const Picture region = screenLike(400, 300);
  for (auto _ : state) benchmark::DoNotOptimize(halcy::ScreenRules::gray(region));
}

void JpegOfADefaultCapture(benchmark::State& state) {
  const Picture capture = halcy::PictureScale::to(screenLike(1920, 1080), 1568, 882);
  for (auto _ : state) benchmark::DoNotOptimize(halcy::Jpeg::base64(capture, 0.8));
}

}  // namespace

BENCHMARK(PixmanScale)->Unit(benchmark::kMillisecond);
BENCHMARK(SwscaleScale)->Arg(SWS_FAST_BILINEAR)->Arg(SWS_BILINEAR)->Unit(benchmark::kMillisecond);
BENCHMARK(GrayGridOfARegion)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegOfADefaultCapture)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
