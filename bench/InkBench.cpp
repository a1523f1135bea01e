// The composition of ink against its floor in the same run: a 1080p capture cut into one tile,
// five marks drawn with their badges and the JPEG made, against only scaling that capture to the
// composed size and encoding it (what any composition must do at least), and the context picture.

#include <benchmark/benchmark.h>

#include <cmath>

#include "InkComposer.hpp"
#include "Jpeg.hpp"
#include "PictureScale.hpp"
#include "ScreenLike.hpp"

namespace {

using namespace halcy;

using bench::screenLike;

const std::map<std::int64_t, InkComposer::Held>& captures() {
  static const std::map<std::int64_t, InkComposer::Held> held = {
      {1, {screenLike(1920, 1080), {0, 0, 1920, 1080}}}};
  return held;
}

// One mark of each kind, each a 300-point stroke, as a hand draws them.
std::vector<InkComposeMark> fiveMarks() {
  std::vector<InkComposeMark> marks;
  const InkKind kinds[] = {InkKind::region, InkKind::point, InkKind::underline, InkKind::arrow,
                           InkKind::cross};
  for (int n = 1; n <= 5; ++n) {
    InkComposeMark mark;
    mark.n = n;
    mark.kind = kinds[n - 1];
    const double x = 300.0 * n;
    for (int i = 0; i < 300; ++i)
      mark.line.push_back({x + i * 0.7, 200 + 100 * std::sin(i / 30.0)});
    mark.focus = {x, 100, 210, 200};
    mark.to = mark.line.back();
    marks.push_back(mark);
  }
  return marks;
}

void ComposeFiveMarksOf1080p(benchmark::State& state) {
  const auto marks = fiveMarks();
  const std::vector<InkPiece> pieces = {{1, {0, 0, 1920, 1080}, {1, 2, 3, 4, 5}}};
  for (auto _ : state) {
    const auto composite = InkComposer::compose(marks, pieces, captures());
    benchmark::DoNotOptimize(InkComposer::inked(*composite, marks));
  }
}

void FloorScaleAndEncode1080p(benchmark::State& state) {
  const Picture& capture = captures().at(1).image;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Jpeg::base64(PictureScale::to(capture, 1568, 882), 0.8));
  }
}

void ContextPictureWithFiveMarks(benchmark::State& state) {
  const auto marks = fiveMarks();
  for (auto _ : state) {
    benchmark::DoNotOptimize(InkComposer::contextPicture(captures().at(1), marks));
  }
}

}  // namespace

BENCHMARK(ComposeFiveMarksOf1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(FloorScaleAndEncode1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(ContextPictureWithFiveMarks)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
