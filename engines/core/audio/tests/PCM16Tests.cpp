#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "PCM16.hpp"

namespace halcy {
namespace {

TEST(PCM16, ConvertsFloatsToSixteenBitValues) {
  const float infinity = std::numeric_limits<float>::infinity();
  const std::pair<float, std::int16_t> cases[] = {
      {1.5f, 32767},     {-1.5f, -32767},     {std::nanf(""), 0},    {0.5f, 16384},
      {-0.5f, -16384},   {1.0f, 32767},       {-1.0f, -32767},       {0.0f, 0},
      {infinity, 32767}, {-infinity, -32767}, {0.75f / 32767.0f, 1}, {-0.75f / 32767.0f, -1},
  };
  for (const auto& [x, expected] : cases) EXPECT_EQ(PCM16::sample(x), expected) << x;
}

TEST(PCM16, ChunkTextIsLittleEndianBase64) {
  // 32767 = FF 7F, -32767 = 01 80, 1 = 01 00.
  const float floats[] = {1.0f, -1.0f, 1.0f / 32767.0f};
  EXPECT_EQ(PCM16::chunkText(floats), "/38BgAEA");
  EXPECT_EQ(PCM16::chunkText({}), "");
}

}  // namespace
}  // namespace halcy
