#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Picture.hpp"
#include "ScreenRules.hpp"

namespace halcy {
namespace {

TEST(ScreenRules, SizeNeverScalesUpAndTruncates) {
  struct Case {
    std::int64_t width, height, longEdge;
    std::optional<PixelSize> expected;
  };
  const Case cases[] = {
      {1512, 982, 1568, PixelSize{1512, 982}},
      {1512, 982, 1024, PixelSize{1024, 665}},
      {1920, 1080, 1568, PixelSize{1568, 882}},
      {1080, 1920, 64, PixelSize{36, 64}},
      {64, 64, 64, PixelSize{64, 64}},
      {0, 1080, 1568, std::nullopt},
      {1920, 0, 1568, std::nullopt},
      {-5, 10, 1568, std::nullopt},
      // The short edge would be truncated to nothing.
      {100000, 1, 64, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScreenRules::size(c.width, c.height, c.longEdge), c.expected)
        << c.width << "x" << c.height << " at " << c.longEdge;
  }
}

TEST(ScreenRules, IndexPicksTheLargestOverlapFirstOfEquals) {
  const std::vector<ScreenRect> displays = {{0, 0, 100, 100}, {100, 0, 100, 100}};
  struct Case {
    std::optional<ScreenRect> rect;
    std::optional<std::size_t> expected;
  };
  const Case cases[] = {
      {ScreenRect{10, 10, 20, 20}, 0},
      {ScreenRect{90, 0, 20, 10}, 0},              // equal areas: the first listed
      {ScreenRect{95, 0, 20, 10}, 1},              // 5 against 15
      {ScreenRect{200, 0, 10, 10}, std::nullopt},  // touching only
      {ScreenRect{-50, -50, 10, 10}, std::nullopt},
      {ScreenRect{10, 10, 0, 20}, std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScreenRules::index(c.rect, displays), c.expected) << (c.rect ? c.rect->x : -1);
  }
}

TEST(ScreenRules, FrontWindowIsTheFirstOrdinaryWindowLargerThanAPoint) {
  const std::vector<WindowFact> windows = {
      {7, "other", 0, true, {0, 0, 500, 500}},   {42, "thin", 0, true, {0, 0, 1, 300}},
      {42, "menu", 101, true, {0, 0, 300, 300}}, {42, "hidden", 0, false, {1920, 0, 300, 300}},
      {42, "back", 0, true, {0, 0, 300, 300}},
  };
  // onScreen is not consulted: the first qualifying window wins.
  EXPECT_EQ(ScreenRules::frontWindow(42, windows), (ScreenRect{1920, 0, 300, 300}));
  EXPECT_EQ(ScreenRules::frontWindow(9, windows), std::nullopt);
  EXPECT_EQ(ScreenRules::frontWindow(42, {{42, "tiny", 0, true, {0, 0, 300, 1}}}), std::nullopt);
}

TEST(ScreenRules, TargetFollowsThePidsWindowElseTheMainDisplay) {
  const std::vector<DisplayFact> displays = {{5, 1920, 1080, {0, 0, 1920, 1080}},
                                             {9, 1280, 1024, {1920, 0, 1280, 1024}}};
  int asked = 0;
  const auto windows = [&] {
    ++asked;
    return std::vector<WindowFact>{{42, "w", 0, true, {2000, 100, 400, 300}},
                                   {43, "menu", 3, true, {2000, 100, 400, 300}}};
  };
  EXPECT_EQ(ScreenRules::target(42, windows, displays, 5)->id, 9U);
  EXPECT_EQ(ScreenRules::target(43, windows, displays, 5)->id, 5U);
  EXPECT_EQ(ScreenRules::target(44, windows, displays, 9)->id, 9U);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(ScreenRules::target(std::nullopt, windows, displays, 5)->id, 5U);
  EXPECT_EQ(asked, 3) << "no pid, no window list";
  EXPECT_EQ(ScreenRules::target(std::nullopt, windows, displays, 77)->id, 5U) << "first listed";
  EXPECT_EQ(ScreenRules::target(std::nullopt, windows, {}, 5), std::nullopt);
}

TEST(ScreenRules, RegionIsClippedToTheDisplayHoldingMostOfIt) {
  const std::vector<DisplayFact> displays = {{5, 1920, 1080, {0, 0, 1920, 1080}},
                                             {9, 1280, 1024, {2000, 0, 1280, 1024}}};
  auto clipped = ScreenRules::region({1900, 1000, 60, 200}, displays);
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->first.id, 5U);
  EXPECT_EQ(clipped->second, (ScreenRect{1900, 1000, 20, 80}));
  EXPECT_EQ(ScreenRules::region({1930, 10, 60, 60}, displays), std::nullopt) << "in the gap";
  EXPECT_EQ(ScreenRules::region({0, 0, 10, 10}, {}), std::nullopt);
}

TEST(ScreenRules, HidesByPidFirstThenByNeverLook) {
  const std::vector<std::int64_t> excluding = {42};
  const std::vector<std::string> neverLook = {"org.secret.App"};
  struct Case {
    std::optional<std::int64_t> owner;
    std::optional<std::string> bundleId;
    bool hidden;
  };
  const Case cases[] = {
      {42, std::nullopt, true},     {42, "org.public.App", true},
      {7, "org.secret.App", true},  {std::nullopt, "org.secret.App", true},
      {7, "org.public.App", false}, {7, "org.Secret.App", false},  // case-sensitive
      {7, std::nullopt, false},     {std::nullopt, std::nullopt, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScreenRules::hides(c.owner, c.bundleId, excluding, neverLook), c.hidden)
        << c.owner.value_or(-1) << " " << c.bundleId.value_or("-");
  }
  EXPECT_TRUE(ScreenRules::allows(std::nullopt, neverLook));
  EXPECT_TRUE(ScreenRules::allows("org.public.App", neverLook));
  EXPECT_FALSE(ScreenRules::allows("org.secret.App", neverLook));
}

TEST(ScreenRules, DocumentRoots) {
  struct Case {
    std::optional<std::string> role;
    std::size_t length;
    bool root;
  };
  const Case cases[] = {
      {std::nullopt, 5000, false},  {"AXWebArea", 0, true},        {"AXTextArea", 400, false},
      {"AXTextArea", 401, true},    {"AXScrollArea", 401, true},   {"AXScrollArea", 10, false},
      {"AXTextField", 9000, false}, {"AXStaticText", 9000, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScreenRules::isDocumentRoot(c.role, c.length), c.root) << c.role.value_or("-");
  }
}

// A 72 x 64 raster whose 8 x 8 blocks hold the given cell values.
std::vector<std::uint8_t> rasterOf(const std::vector<std::uint8_t>& cells) {
  std::vector<std::uint8_t> raster(72 * 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 72; ++x) raster[y * 72 + x] = cells[(y / 8) * 9 + x / 8];
  }
  return raster;
}

TEST(ScreenRules, GrayCellsAreTruncatedBlockMeansRowByRow) {
  std::vector<std::uint8_t> cells(72);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::uint8_t>(i * 3);
  EXPECT_EQ(ScreenRules::grayCells(rasterOf(cells)), cells);
  // Half the block 1, half 2: 1.5 truncates to 1.
  std::vector<std::uint8_t> raster(72 * 64, 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) raster[y * 72 + x] = x < 4 ? 1 : 2;
  }
  EXPECT_EQ(ScreenRules::grayCells(raster)->front(), 1);
  EXPECT_EQ(ScreenRules::grayCells(std::vector<std::uint8_t>(72 * 63)), std::nullopt);
}

TEST(ScreenRules, DifferenceHashBitOrder) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> grid;
    std::optional<std::string> hash;
  };
  std::vector<std::uint8_t> flat(72, 128);
  std::vector<std::uint8_t> brighterRight(72), darkerRight(72), firstPair(72, 100),
      lastPair(72, 100), equalNeighbours(72, 100);
  for (int i = 0; i < 72; ++i) {
    brighterRight[i] = static_cast<std::uint8_t>(10 * (i % 9));
    darkerRight[i] = static_cast<std::uint8_t>(200 - 10 * (i % 9));
  }
  firstPair[1] = 99;        // row 0: cell 1 darker than cell 0 -> the most significant bit
  lastPair[71] = 99;        // row 7: cell 8 darker than cell 7 -> the least significant bit
  equalNeighbours[0] = 99;  // cell 1 (100) is brighter than cell 0: no bit
  const Case cases[] = {
      {"flat", flat, "0000000000000000"},
      {"brighter to the right", brighterRight, "0000000000000000"},
      {"darker to the right", darkerRight, "ffffffffffffffff"},
      {"first pair", firstPair, "8000000000000000"},
      {"last pair", lastPair, "0000000000000001"},
      {"brighter neighbour", equalNeighbours, "0000000000000000"},
      {"too short", std::vector<std::uint8_t>(71), std::nullopt},
      {"too long", std::vector<std::uint8_t>(73), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ScreenRules::dHash(c.grid), c.hash) << c.name;
}

TEST(ScreenRules, GrayOfPictures) {
  Picture flat = Picture::blank(300, 200);
  flat.fill(0, 0, 300, 200, 0x3366CC);
  const auto flatGrid = ScreenRules::gray(flat);
  ASSERT_TRUE(flatGrid);
  EXPECT_EQ(ScreenRules::dHash(*flatGrid), "0000000000000000");
  // White on the left half, black on the right: every row darkens across the middle cells only.
  Picture split = Picture::blank(720, 640);
  split.fill(0, 0, 360, 640, 0xFFFFFF);
  const auto splitGrid = ScreenRules::gray(split);
  ASSERT_TRUE(splitGrid);
  EXPECT_EQ((*splitGrid)[0], 255);
  EXPECT_EQ((*splitGrid)[8], 0);
  EXPECT_NE(ScreenRules::dHash(*splitGrid), "0000000000000000");
  EXPECT_EQ(ScreenRules::gray(Picture{}), std::nullopt);
}

}  // namespace
}  // namespace halcy
