// Text recognition of the ink host on pictures drawn here: what it reads, where it says it read
// it, and where it cuts a line into runs.

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LinuxInk.hpp"

namespace halcy {
namespace {

struct Drawn {
  std::string text;
  ScreenRect ink;  // pixels, top-left origin
};

// Black words in a big bold face on white, each at its baseline origin.
Picture page(std::int32_t width, std::int32_t height,
             const std::vector<std::pair<std::string, ScreenPoint>>& words,
             std::vector<Drawn>& drawn) {
  Picture picture = Picture::blank(width, height);
  picture.fill(0, 0, width, height, 0xFFFFFF);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      picture.pixels, CAIRO_FORMAT_RGB24, width, height, static_cast<int>(picture.stride));
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 40);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const auto& [text, at] : words) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    drawn.push_back(
        {text,
         {at.x + extents.x_bearing, at.y + extents.y_bearing, extents.width, extents.height}});
    cairo_move_to(cr, at.x, at.y);
    cairo_show_text(cr, text.c_str());
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  return picture;
}

// The centre of a normalised, bottom-left box in pixels with the origin at the top-left.
ScreenPoint centre(const ScreenRect& box, const Picture& picture) {
  return {(box.x + box.width / 2) * picture.width, (1 - (box.y + box.height / 2)) * picture.height};
}

bool inside(ScreenPoint point, const ScreenRect& rect) {
  return point.x >= rect.x && point.x < rect.x + rect.width && point.y >= rect.y &&
         point.y < rect.y + rect.height;
}

TEST(LinuxTextReader, ReadsRunsOfWordsWithBoxesFromTheBottomLeft) {
  std::vector<Drawn> drawn;
  // Two columns on one baseline, far further apart than the words of a column.
  const Picture picture = page(
      1400, 320,
      {{"APPLES AND PEARS", {40, 100}}, {"CHERRIES", {1000, 100}}, {"ORANGES", {40, 250}}}, drawn);
  LinuxTextReader reader;
  // Loading ahead, asked twice: one engine on its way, taken by the first picture.
  reader.prepare();
  reader.prepare();
  const std::vector<InkWords> found = reader.read(picture);
  ASSERT_EQ(found.size(), drawn.size()) << "language data for English is installed";
  for (const Drawn& expected : drawn) {
    const auto read = std::find_if(found.begin(), found.end(), [&](const InkWords& words) {
      return words.text == expected.text;
    });
    ASSERT_NE(read, found.end()) << expected.text;
    EXPECT_TRUE(inside(centre(read->box, picture), expected.ink)) << expected.text;
    EXPECT_NEAR(read->box.height * picture.height, expected.ink.height, 6) << expected.text;
  }
  // The engine is kept: a second picture reads the same.
  EXPECT_EQ(reader.read(picture).size(), found.size());
}

TEST(LinuxTextReader, NothingToReadIsNoText) {
  LinuxTextReader reader;
  Picture blank = Picture::blank(300, 200);
  blank.fill(0, 0, 300, 200, 0x3B63E6);
  EXPECT_TRUE(reader.read(blank).empty());
  EXPECT_TRUE(reader.read(Picture{}).empty());
}

}  // namespace
}  // namespace halcy
