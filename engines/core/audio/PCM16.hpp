#pragma once
// The float-to-PCM16 conversion every sound the engine hands on goes through: dictation chunks,
// recordings and meeting tracks.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace halcy::PCM16 {

// NaN gives 0; the range is -32767...32767 (never -32768); halves round away from zero.
std::int16_t sample(float x);
std::vector<std::int16_t> samples(std::span<const float> floats);
// The samples as little-endian 16-bit words, in standard Base64.
std::string chunkText(std::span<const float> floats);

}  // namespace halcy::PCM16
