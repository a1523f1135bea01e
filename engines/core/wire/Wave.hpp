#pragma once
// The one WAV format the engine writes: mono, 16-bit little-endian PCM behind a canonical 44-byte
// header whose two sizes are patched when the file is finished.

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace halcy {

namespace WaveHeader {
inline constexpr std::size_t size = 44;
// 36 + 2 x samples must fit the 32-bit chunk size, and rate x 2 the 32-bit byte rate.
inline constexpr std::uint64_t maxSamples = (0xFFFFFFFFull - 36) / 2;
inline constexpr std::uint64_t maxSampleRate = 0x7FFFFFFFull;
// Throws std::length_error beyond the limits above.
std::array<std::uint8_t, size> bytes(std::uint64_t sampleRate, std::uint64_t samples);
}  // namespace WaveHeader

class WaveFileWriter {
 public:
  // What the writer throws when the file cannot be made; other failures are std::system_error, and
  // samples past the header's limits are refused with std::length_error.
  struct WriteError : std::runtime_error {
    enum Case { cannotCreate };
    explicit WriteError(Case) : std::runtime_error("The file cannot be created.") {}
  };

  // Creates or replaces the file with a header that claims no samples.
  WaveFileWriter(std::string path, std::uint64_t sampleRate);
  ~WaveFileWriter();
  WaveFileWriter(const WaveFileWriter&) = delete;
  WaveFileWriter& operator=(const WaveFileWriter&) = delete;

  void append(std::span<const std::int16_t> samples);
  // Patches the two sizes and closes the file.
  void finish();
  // Closes the file as it is; never fails.
  void abandon();

  const std::string& path() const { return path_; }
  std::uint64_t samples() const { return samples_; }
  std::uint64_t sampleRate() const { return sampleRate_; }

 private:
  void patch(std::size_t offset, const std::uint8_t* bytes);

  std::string path_;
  std::uint64_t samples_ = 0;
  std::uint64_t sampleRate_;
  int handle_ = -1;
};

}  // namespace halcy
