#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "InkComposer.hpp"
#include "InkPen.hpp"
#include "Jpeg.hpp"
#include "RunMergeSort.hpp"

namespace halcy {
namespace {

using InkComposer::Composite;
using InkComposer::Held;

constexpr std::uint32_t gray = 0x808080;
constexpr std::uint32_t red = 0xE01010;
constexpr std::uint32_t blue = 0x1020E0;
constexpr std::uint32_t green = 0x20C040;
// White at 0.9 over the gray background.
constexpr std::uint32_t halo = 0xF2F2F2;

bool near(std::uint32_t a, std::uint32_t b, int tolerance = 10) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)) >
        tolerance) {
      return false;
    }
  }
  return true;
}

Picture flat(std::int32_t width, std::int32_t height, std::uint32_t rgb) {
  Picture picture = Picture::blank(width, height);
  picture.fill(0, 0, width, height, rgb);
  return picture;
}

std::uint32_t at(const Picture& picture, double x, double y) {
  return picture.pixel(static_cast<std::int32_t>(std::floor(x)),
                       static_cast<std::int32_t>(std::floor(y)));
}

InkComposeMark mark(std::int64_t n, InkKind kind, std::vector<ScreenPoint> line, ScreenRect focus,
                    std::optional<ScreenPoint> to = std::nullopt) {
  InkComposeMark made;
  made.n = n;
  made.kind = kind;
  made.line = std::move(line);
  made.focus = focus;
  made.to = to;
  return made;
}

// A composite of one flat colour whose marks were laid out at one pixel a point.
Composite composite(std::int32_t width, std::int32_t height,
                    const std::vector<InkComposeMark>& marks) {
  Composite made{flat(width, height, gray), {}, {}, {}};
  for (const InkComposeMark& each : marks) {
    made.rects[each.n] = each.focus;
    made.lines[each.n] = each.line;
    made.ends[each.n] = {each.from, each.to};
  }
  return made;
}

TEST(InkComposer, PixelsOfARectangleRoundOutwardAndClip) {
  struct Case {
    ScreenRect rect;
    ScreenRect display;
    PixelSize size;
    ScreenRect expected;
  };
  const std::vector<Case> cases = {
      // Two pixels a point.
      {{1100, 100, 200, 100}, {1000, 0, 1512, 982}, {3024, 1964}, {200, 200, 400, 200}},
      {{10.25, 10.75, 5.5, 1}, {0, 0, 100, 100}, {100, 100}, {10, 10, 6, 2}},
      {{-50, -20, 100, 100}, {0, 0, 800, 600}, {800, 600}, {0, 0, 50, 80}},
      {{750, 550, 100, 100}, {0, 0, 800, 600}, {800, 600}, {750, 550, 50, 50}},
      {{900, 10, 10, 10}, {0, 0, 800, 600}, {800, 600}, {0, 0, 0, 0}},
      {{10, 10, 10, 10}, {0, 0, 0, 600}, {800, 600}, {0, 0, 0, 0}},
      {{10, 10, 10, 10}, {0, 0, 800, -1}, {800, 600}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InkComposer::pixels(c.rect, c.display, c.size), c.expected)
        << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height;
  }
}

TEST(InkComposer, TilesStandInOneTopAlignedRow) {
  const auto two = InkComposer::layout({{300, 200}, {500, 100}});
  EXPECT_EQ(two.origins, (std::vector<ScreenPoint>{{0, 0}, {316, 0}}));
  EXPECT_EQ(two.size, (PixelSize{816, 200}));
  const auto one = InkComposer::layout({{40, 30}});
  EXPECT_EQ(one.size, (PixelSize{40, 30}));
  EXPECT_EQ(InkComposer::layout({}).size, (PixelSize{0, 0}));
  EXPECT_EQ(InkComposer::canvas(0.9, 10), std::nullopt);
  EXPECT_EQ(InkComposer::canvas(10, 0), std::nullopt);
  const auto canvas = InkComposer::canvas(3.9, 2.2);
  ASSERT_TRUE(canvas);
  EXPECT_EQ(canvas->width, 3);
  EXPECT_EQ(canvas->height, 2);
  EXPECT_EQ(canvas->pixel(2, 1), 0xFFFFFFU);
}

TEST(InkComposer, ComposeCutsHeldCapturesIntoTilesWithAGap) {
  const std::map<std::int64_t, Held> held = {{1, {flat(800, 600, red), {0, 0, 800, 600}}},
                                             {2, {flat(640, 480, blue), {800, 0, 640, 480}}}};
  std::vector<InkPiece> pieces = {{1, {100, 100, 300, 200}, {}},
                                  {7, {0, 0, 100, 100}, {}},  // not held: skipped
                                  {2, {900, 10, 500, 100}, {}},
                                  {1, {5000, 5000, 10, 10}, {}}};  // off its display: no tile
  const auto made = InkComposer::compose({}, pieces, held);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->image.width, 816);
  EXPECT_EQ(made->image.height, 200);
  EXPECT_EQ(made->image.pixel(0, 0), red);
  EXPECT_EQ(made->image.pixel(299, 199), red);
  EXPECT_EQ(made->image.pixel(300, 50), 0xFFFFFFU) << "the gap";
  EXPECT_EQ(made->image.pixel(315, 50), 0xFFFFFFU) << "the gap";
  EXPECT_EQ(made->image.pixel(316, 50), blue);
  EXPECT_EQ(made->image.pixel(600, 150), 0xFFFFFFU) << "below the shorter tile";

  EXPECT_EQ(InkComposer::compose({}, {{1, {5000, 0, 10, 10}, {1}}}, held), std::nullopt);
  EXPECT_EQ(InkComposer::compose({}, {}, held), std::nullopt);
}

TEST(InkComposer, MarksAreMappedIntoTheirTilesPixels) {
  // A display of two pixels a point, to the right of another.
  const std::map<std::int64_t, Held> held = {{3, {flat(3024, 1964, red), {1000, 0, 1512, 982}}},
                                             {4, {flat(100, 100, blue), {0, 0, 100, 100}}}};
  InkComposeMark arrow = mark(1, InkKind::arrow, {{1150, 120}, {1160, 140}}, {1150, 120, 50, 30},
                              ScreenPoint{1160, 140});
  arrow.from = ScreenPoint{1150, 120};
  const InkComposeMark twice = mark(2, InkKind::region, {}, {10, 10, 20, 20});
  const InkComposeMark nowhere = mark(3, InkKind::cross, {{1, 1}}, {1, 1, 1, 1});
  const std::vector<InkPiece> pieces = {{4, {0, 0, 50, 50}, {2}},
                                        {3, {1100, 100, 200, 100}, {1, 2}}};
  const auto made = InkComposer::compose({arrow, twice, nowhere}, pieces, held);
  ASSERT_TRUE(made);
  // The second tile starts at 50 + 16.
  EXPECT_EQ(made->rects.at(1), (ScreenRect{66 + 100, 40, 100, 60}));
  EXPECT_EQ(made->lines.at(1), (std::vector<ScreenPoint>{{166, 40}, {186, 80}}));
  EXPECT_EQ(made->ends.at(1), (InkComposer::Ends{ScreenPoint{166, 40}, ScreenPoint{186, 80}}));
  // Listed by both pieces: the last one's geometry, here far outside its tile.
  EXPECT_EQ(made->rects.at(2), (ScreenRect{66 + (10 - 1000) * 2 - 200, 10 * 2 - 200, 40, 40}));
  EXPECT_TRUE(made->lines.at(2).empty());
  EXPECT_EQ(made->ends.at(2), (InkComposer::Ends{}));
  EXPECT_EQ(made->rects.count(3), 0U);
  EXPECT_EQ(made->lines.count(3), 0U);
  EXPECT_EQ(made->ends.count(3), 0U);
}

TEST(InkComposer, APieceReachingPastItsDisplayKeepsItsMarksOnWhatTheyPointAt) {
  Picture picture = flat(800, 600, red);
  picture.fill(50, 50, 10, 10, green);
  const std::map<std::int64_t, Held> held = {{1, {picture, {0, 0, 800, 600}}}};
  const auto made = InkComposer::compose({mark(1, InkKind::region, {}, {50, 50, 10, 10})},
                                         {{1, {-100, -40, 300, 200}, {1}}}, held);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->image.width, 200);
  EXPECT_EQ(made->image.height, 160);
  const ScreenRect rect = made->rects.at(1);
  EXPECT_EQ(rect, (ScreenRect{50, 50, 10, 10}));
  EXPECT_EQ(at(made->image, rect.x + 5, rect.y + 5), green);
}

TEST(InkComposer, AWideCompositeIsDrawnInUnitsOfItsWidthAndReturnedSmaller) {
  // 3600 wide: a unit of 4 pixels (halo 32, accent 16, badge radius 64 and 52), scaled by
  // 1568/3600.
  const InkComposeMark line =
      mark(1, InkKind::region, {{200, 450}, {1800, 450}}, {1000, 300, 800, 300});
  const Composite made = composite(3600, 900, {line});
  const auto drawn = InkComposer::draw(made, {line});
  ASSERT_TRUE(drawn);
  const double s = 1568.0 / 3600.0;
  EXPECT_EQ(drawn->image.width, 1568);
  EXPECT_EQ(drawn->image.height, 392);
  const double y = 450 * s;
  EXPECT_TRUE(near(at(drawn->image, 1000 * s, y), InkComposer::accent))
      << std::hex << at(drawn->image, 1000 * s, y);
  EXPECT_TRUE(near(at(drawn->image, 1000 * s, y + 12 * s), halo));
  EXPECT_TRUE(near(at(drawn->image, 1000 * s, y + 20 * s), gray));
  const ScreenPoint badge{1800 * s, 300 * s};
  EXPECT_TRUE(near(at(drawn->image, badge.x - 48 * s, badge.y), InkComposer::accent));
  EXPECT_TRUE(near(at(drawn->image, badge.x - 58 * s, badge.y), 0xFFFFFF));
  EXPECT_TRUE(near(at(drawn->image, badge.x, badge.y - 70 * s), gray));
  EXPECT_EQ(drawn->rects.at(1), (ScreenRect{1000 * s, 300 * s, 800 * s, 300 * s}));
  // The composite is left as it was.
  EXPECT_EQ(at(made.image, 1000, 450), gray);
}

TEST(InkComposer, AnArrowPointsAlongTheLastPartOfItsLine) {
  // The head's strokes leave the tip at 147.6 degrees either side of the shaft; 12 pixels along
  // each lies on the stroke.
  const ScreenPoint tip{500, 400};
  const auto headPoint = [&](double shaft, double side) {
    const double angle = shaft + side * 0.82 * std::numbers::pi;
    return ScreenPoint{tip.x + 12 * std::cos(angle), tip.y + 12 * std::sin(angle)};
  };
  struct Case {
    const char* name;
    std::vector<ScreenPoint> line;
    double shaft;
  };
  const std::vector<Case> cases = {
      // Three points: from the first point, which lies straight to the left.
      {"three points", {{100, 400}, {500, 100}, tip}, 0},
      // Ten points: from the fifth (index 4), straight above; the sixth lies up to the left.
      {"ten points",
       {{100, 400},
        {150, 400},
        {200, 400},
        {250, 400},
        {500, 100},
        {300, 200},
        {300, 250},
        {300, 300},
        {300, 350},
        tip},
       std::numbers::pi / 2},
  };
  for (const Case& c : cases) {
    const InkComposeMark arrow = mark(1, InkKind::arrow, c.line, {0, 0, 1, 1}, tip);
    const auto drawn = InkComposer::draw(composite(900, 600, {arrow}), {arrow});
    ASSERT_TRUE(drawn);
    for (const double side : {1.0, -1.0}) {
      const ScreenPoint expected = headPoint(c.shaft, side);
      EXPECT_TRUE(near(at(drawn->image, expected.x, expected.y), InkComposer::accent))
          << c.name << " " << expected.x << "," << expected.y;
    }
    const double other = c.shaft == 0 ? std::numbers::pi / 2 : 0;
    const ScreenPoint wrong = headPoint(other, other == 0 ? 1.0 : -1.0);
    EXPECT_FALSE(near(at(drawn->image, wrong.x, wrong.y), InkComposer::accent)) << c.name;
  }
}

TEST(InkComposer, PointsAndShortLinesAreCirclesAroundTheirFirstPoint) {
  const InkComposeMark point =
      mark(1, InkKind::point, {{200, 200}, {400, 200}, {600, 200}}, {0, 0, 1, 1});
  const InkComposeMark single = mark(2, InkKind::underline, {{300, 400}}, {0, 0, 1, 1});
  const InkComposeMark bare = mark(3, InkKind::region, {}, {600, 500, 100, 50});
  const auto drawn =
      InkComposer::draw(composite(900, 600, {point, single, bare}), {point, single, bare});
  ASSERT_TRUE(drawn);
  const Picture& image = drawn->image;
  EXPECT_TRUE(near(at(image, 210, 200), InkComposer::accent));
  EXPECT_TRUE(near(at(image, 200, 190), InkComposer::accent));
  EXPECT_TRUE(near(at(image, 200, 200), gray)) << "a ring, not a disc";
  EXPECT_TRUE(near(at(image, 400, 200), gray)) << "no line through the other points";
  EXPECT_TRUE(near(at(image, 300, 410), InkComposer::accent));
  // A mark without a line still gets its badge.
  EXPECT_TRUE(near(at(image, 700 - 11, 500), InkComposer::accent));
}

TEST(InkComposer, BadgeNumbersAreWhiteAndCentredOnTheFocusCorner) {
  ASSERT_TRUE(InkPen::badgeFamily()) << "a bold sans-serif font is installed";
  const InkComposeMark eight = mark(8, InkKind::region, {}, {300, 200, 100, 100});
  const auto drawn = InkComposer::draw(composite(900, 600, {eight}), {eight});
  ASSERT_TRUE(drawn);
  const ScreenPoint c{400, 200};
  double sumX = 0;
  double sumY = 0;
  int whites = 0;
  for (int y = -12; y <= 12; ++y) {
    for (int x = -12; x <= 12; ++x) {
      if (x * x + y * y > 11 * 11) continue;
      if (near(drawn->image.pixel(static_cast<int>(c.x) + x, static_cast<int>(c.y) + y), 0xFFFFFF,
               40)) {
        sumX += x + 0.5;
        sumY += y + 0.5;
        ++whites;
      }
    }
  }
  ASSERT_GT(whites, 15) << "the digit is drawn";
  EXPECT_NEAR(sumX / whites, 0, 1.5);
  EXPECT_NEAR(sumY / whites, 0, 2.5);
}

TEST(InkComposer, TheContextPictureShowsMarksOnTheirDisplay) {
  // 2048 x 1536 pixels for a display of 1024 x 768 points at 100, 50: half size, G = 0.5.
  const Held held{flat(2048, 1536, gray), {100, 50, 1024, 768}};
  const InkComposeMark on =
      mark(1, InkKind::underline, {{200, 450}, {900, 450}}, {200, 400, 700, 50});
  // Its line lies on the display, but not the centre of its focus: left out.
  const InkComposeMark off =
      mark(2, InkKind::underline, {{200, 650}, {900, 650}}, {2000, 400, 10, 10});
  const auto picture = InkComposer::drawContext(held, {on, off});
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 1024);
  EXPECT_EQ(picture->height, 768);
  EXPECT_TRUE(near(at(*picture, 500 - 100, 450 - 50), InkComposer::accent));
  EXPECT_TRUE(near(at(*picture, 500 - 100, 450 - 50 + 2.5), halo));
  EXPECT_TRUE(near(at(*picture, 500 - 100, 450 - 50 + 4), gray));
  EXPECT_TRUE(near(at(*picture, 500 - 100, 650 - 50), gray));
  // Badge radii 12.8 and 10.4 at the focus's top-right corner.
  EXPECT_TRUE(near(at(*picture, 900 - 100 - 11.6, 400 - 50), 0xFFFFFF));
  EXPECT_TRUE(near(at(*picture, 900 - 100 - 14, 400 - 50), gray));
  EXPECT_TRUE(InkComposer::contextPicture(held, {on}));
  EXPECT_EQ(InkComposer::drawContext({flat(10, 10, gray), {0, 0, 0, 10}}, {on}), std::nullopt);
}

TEST(InkComposer, SmallPicturesAreDrawnOnACopy) {
  const InkComposeMark line = mark(1, InkKind::region, {{10, 10}, {90, 10}}, {10, 10, 80, 10});
  const Composite small = composite(100, 100, {line});
  ASSERT_TRUE(InkComposer::draw(small, {line}));
  EXPECT_EQ(at(small.image, 50, 10), gray);
  const Held held{flat(100, 100, gray), {0, 0, 100, 100}};
  ASSERT_TRUE(InkComposer::drawContext(held, {line}));
  EXPECT_EQ(at(held.image, 50, 10), gray);
}

TEST(InkComposer, ExtremeCoordinatesAreDrawnOrLeftOutWithoutHarm) {
  const std::map<std::int64_t, Held> held = {{1, {flat(640, 480, gray), {0, 0, 640, 480}}}};
  for (const double far : {1e308, -1e308, 1e15, 5e-324}) {
    InkComposeMark wild = mark(1, InkKind::arrow, {{far, far}, {0, far}, {far, 0}, {10, 10}},
                               {far, far, 1e308, 1e308}, ScreenPoint{far, -far});
    wild.from = ScreenPoint{-far, far};
    InkComposeMark point = mark(2, InkKind::point, {{far, 3}}, {3, far, 0, 0});
    const std::vector<InkComposeMark> marks = {wild, point};
    const std::vector<InkPiece> pieces = {{1, {0, 0, 640, 480}, {1, 2}},
                                          {1, {far, far, far, far}, {1}}};
    const auto made = InkComposer::compose(marks, pieces, held);
    ASSERT_TRUE(made) << far;
    EXPECT_TRUE(InkComposer::inked(*made, marks)) << far;
    EXPECT_TRUE(InkComposer::contextPicture(held.at(1), marks)) << far;
  }
}

TEST(InkComposer, EncodingFallsBackToTheSecondQualityOverTheBudget) {
  const Picture small = flat(64, 64, gray);
  EXPECT_EQ(InkComposer::encode(small), Jpeg::base64(small, 0.8));
  // Noise defeats JPEG: over the budget at 0.8, and still over it at 0.6.
  Picture noise = Picture::blank(1568, 1568);
  std::mt19937 random(7);
  for (std::int32_t y = 0; y < noise.height; ++y) {
    for (std::int32_t x = 0; x < noise.width; ++x) noise.fill(x, y, 1, 1, random() & 0xFFFFFF);
  }
  ASSERT_GT(Jpeg::base64(noise, 0.8)->size(), InkLimits::base64Budget);
  const auto encoded = InkComposer::encode(noise);
  EXPECT_EQ(encoded, Jpeg::base64(noise, 0.6));
  EXPECT_GT(encoded->size(), InkLimits::base64Budget);
  EXPECT_EQ(InkComposer::encode(Picture{}), std::nullopt);
}

// A recognised line whose box centre lies at (x, y) pixels of a 1000 x 500 composite.
InkWords wordsAt(const std::string& text, double x, double y) {
  return {text, {x / 1000.0, 1.0 - y / 500.0, 0, 0}};
}

TEST(InkComposer, WordsGoToTheFirstMarkHoldingTheirCentreInReadingOrder) {
  Composite made{flat(1000, 500, gray), {}, {}, {}};
  made.rects = {{1, {0, 0, 500, 500}}, {2, {500, 0, 500, 500}}, {3, {0, 0, 1000, 500}}};
  struct Case {
    const char* name;
    std::vector<InkWords> found;
    std::vector<std::int64_t> order;
    std::map<std::int64_t, std::string> expected;
  };
  const std::vector<Case> cases = {
      {"rows 5 pixels apart are one row",
       {wordsAt("world", 300, 100), wordsAt("hello", 100, 105)},
       {1},
       {{1, "hello world"}}},
      {"rows 7 pixels apart are read top first",
       {wordsAt("below", 100, 107), wordsAt("above", 300, 100)},
       {1},
       {{1, "above below"}}},
      {"a right edge is outside, a left edge inside",
       {wordsAt("edge", 500, 100)},
       {1, 2},
       {{2, "edge"}}},
      {"a bottom edge is outside", {wordsAt("low", 100, 500)}, {1, 2, 3}, {}},
      {"the first mark in order wins", {wordsAt("both", 100, 100)}, {3, 1}, {{3, "both"}}},
      {"marks without geometry are passed over", {wordsAt("x", 100, 100)}, {9, 1}, {{1, "x"}}},
      // Insertion, as the engine sorts short lists; a merging sort would give "a z c d".
      {"rows drift: the order of the sort",
       {wordsAt("d", 60, 104), wordsAt("c", 50, 108), wordsAt("a", 10, 104), wordsAt("z", 40, 112)},
       {1},
       {{1, "a c d z"}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(InkComposer::words(c.found, made, c.order), c.expected) << c.name;

  std::string accented;
  for (int i = 0; i < 700; ++i) accented += "e\xCC\x81";
  const auto capped = InkComposer::words({wordsAt(accented, 100, 100)}, made, {1});
  EXPECT_EQ(capped.at(1), accented.substr(0, 600 * 3)) << "600 characters, not bytes";
}

TEST(RunMergeSort, SortsStablyLikeAnyStableSortWhenTheOrderIsTransitive) {
  std::mt19937 random(11);
  for (std::size_t count : {0, 1, 2, 5, 20, 21, 63, 64, 65, 100, 257, 1000}) {
    for (int round = 0; round < 5; ++round) {
      std::vector<std::pair<int, std::size_t>> items;
      const int keys = round == 0 ? 3 : 1000;
      for (std::size_t i = 0; i < count; ++i)
        items.emplace_back(static_cast<int>(random() % keys), i);
      if (round == 1) std::sort(items.begin(), items.end());
      if (round == 2) std::sort(items.rbegin(), items.rend());
      const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
      auto expected = items;
      std::stable_sort(expected.begin(), expected.end(), byKey);
      RunMergeSort::sort(items, byKey);
      EXPECT_EQ(items, expected) << count << " items, round " << round;
    }
  }
}

TEST(InkRules, TheDisplayUnderAPoint) {
  const DisplayFact left{1, 1920, 1080, {0, 0, 1920, 1080}};
  const DisplayFact right{2, 1280, 1024, {1920, 0, 1280, 1024}};
  struct Case {
    double x;
    double y;
    std::vector<DisplayFact> among;
    std::uint32_t main;
    std::optional<DisplayFact> expected;
  };
  const std::vector<Case> cases = {
      {100, 100, {left, right}, 2, left},    {2000, 100, {left, right}, 1, right},
      {1920, 500, {left, right}, 2, left},    // the shared edge: the first listed
      {3200, 1024, {left, right}, 1, right},  // far corner included
      {5000, 5000, {left, right}, 2, right},  // nowhere: the main display
      {5000, 5000, {left, right}, 9, left},   // no main among them: the first
      {0, 0, {}, 1, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InkRules::display(c.x, c.y, c.among, c.main), c.expected) << c.x << "," << c.y;
  }
}

}  // namespace
}  // namespace halcy
