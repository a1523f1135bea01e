#include "PCM16.hpp"

#include <algorithm>
#include <cmath>

#include "Base64.hpp"

namespace halcy {

std::int16_t PCM16::sample(float x) {
  if (std::isnan(x)) return 0;
  if (x < -1.0f) return -32767;
  // In double, so that halves such as 0.5 x 32767 are exact before rounding.
  return static_cast<std::int16_t>(std::round(static_cast<double>(std::min(x, 1.0f)) * 32767.0));
}

std::vector<std::int16_t> PCM16::samples(std::span<const float> floats) {
  std::vector<std::int16_t> values;
  values.reserve(floats.size());
  for (float x : floats) values.push_back(sample(x));
  return values;
}

std::string PCM16::chunkText(std::span<const float> floats) {
  std::string bytes;
  bytes.reserve(2 * floats.size());
  for (float x : floats) {
    const auto word = static_cast<std::uint16_t>(sample(x));
    bytes.push_back(static_cast<char>(word & 0xFF));
    bytes.push_back(static_cast<char>(word >> 8));
  }
  return base64Encode(bytes);
}

}  // namespace halcy
