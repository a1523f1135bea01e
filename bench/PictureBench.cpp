// Picture pipeline costs against their peers in the same run: pixman's bilinear scaling (the one
// the engine uses) against libswscale's, the gray grid of a region, and TurboJPEG encoding.

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "Jpeg.hpp"
#include "Picture.hpp"
#include "PictureScale.hpp"
#include "ScreenLike.hpp"
#include "ScreenRules.hpp"

namespace {

using halcy::Picture;

using halcy::bench::screenLike;

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
