#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "FileSizeLimit.hpp"
#include "Wave.hpp"

namespace halcy {
namespace {

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t wordAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

struct WaveFolder {
  WaveFolder() { std::filesystem::create_directories(folder); }
  ~WaveFolder() { std::filesystem::remove_all(folder); }
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("halcy-wave-" + std::to_string(::getpid()));
  std::filesystem::path wav = folder / "a.wav";
};

TEST(WaveHeader, EmptyFileHeaderBytes) {
  const std::vector<std::uint8_t> expected = {
      'R', 'I', 'F', 'F', 36, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
      ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0x80, 0x3E, 0,   0,   0x00, 0x7D,
      0,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
  const auto header = WaveHeader::bytes(16000, 0);
  EXPECT_EQ(std::vector<std::uint8_t>(header.begin(), header.end()), expected);

  WaveFolder place;
  WaveFileWriter writer(place.wav.string(), 16000);
  EXPECT_EQ(bytesOf(place.wav), expected);  // a reader sees a valid empty file before finish
  writer.finish();
  EXPECT_EQ(bytesOf(place.wav), expected);
}

TEST(WaveHeader, RefusesToPassThe32BitLimits) {
  const auto largest = WaveHeader::bytes(16000, WaveHeader::maxSamples);
  EXPECT_EQ(wordAt({largest.begin(), largest.end()}, 4), 0xFFFFFFFFu - 1);
  EXPECT_EQ(wordAt({largest.begin(), largest.end()}, 40), 0xFFFFFFFFu - 37);
  EXPECT_THROW(WaveHeader::bytes(16000, WaveHeader::maxSamples + 1), std::length_error);
  EXPECT_NO_THROW(WaveHeader::bytes(2147483647u, 0));
  EXPECT_THROW(WaveHeader::bytes(2147483648u, 0), std::length_error);
}

TEST(WaveFileWriter, PatchesTheSizesAtFinish) {
  WaveFolder place;
  WaveFileWriter writer(place.wav.string(), 16000);
  std::vector<std::int16_t> samples(16000, 0);
  samples[0] = -32767;
  samples[1] = 32767;
  writer.append(samples);
  writer.append({});
  EXPECT_EQ(writer.samples(), 16000u);
  const auto unfinished = bytesOf(place.wav);
  EXPECT_EQ(wordAt(unfinished, 4), 36u);
  EXPECT_EQ(wordAt(unfinished, 40), 0u);
  writer.finish();
  const auto bytes = bytesOf(place.wav);
  ASSERT_EQ(bytes.size(), 32044u);
  EXPECT_EQ(wordAt(bytes, 4), 32036u);
  EXPECT_EQ(wordAt(bytes, 40), 32000u);
  EXPECT_EQ(bytes[44], 0x01);
  EXPECT_EQ(bytes[45], 0x80);
  EXPECT_EQ(bytes[46], 0xFF);
  EXPECT_EQ(bytes[47], 0x7F);
}

TEST(WaveFileWriter, ReplacesAnExistingFile) {
  WaveFolder place;
  std::ofstream(place.wav) << std::string(5000, 'x');
  WaveFileWriter writer(place.wav.string(), 16000);
  EXPECT_EQ(std::filesystem::file_size(place.wav), 44u);
  writer.abandon();
  writer.abandon();
}

TEST(WaveFileWriter, RefusesWhatCannotBeAFile) {
  for (const char* path : {"/no/such/dir/a.wav", "/dev/null", "/tmp"}) {
    EXPECT_THROW(WaveFileWriter(path, 16000), WaveFileWriter::WriteError) << path;
  }
  EXPECT_TRUE(std::filesystem::exists("/dev/null"));
}

TEST(WaveFileWriter, FailedWriteLeavesAConsistentFile) {
  WaveFolder place;
  WaveFileWriter writer(place.wav.string(), 16000);
  writer.append(std::vector<std::int16_t>(100, 7));
  {
    FileSizeLimit limit(44 + 2 * 150);
    EXPECT_THROW(writer.append(std::vector<std::int16_t>(100, 9)), std::system_error);
  }
  EXPECT_EQ(writer.samples(), 100u);
  writer.append(std::vector<std::int16_t>(10, 5));
  writer.finish();
  const auto bytes = bytesOf(place.wav);
  ASSERT_EQ(bytes.size(), 44u + 220u);
  EXPECT_EQ(wordAt(bytes, 40), 220u);
  EXPECT_EQ(bytes[44 + 200], 5);
}

TEST(WaveFileWriter, FileThatCannotTakeItsHeaderIsNotLeftBehind) {
  WaveFolder place;
  std::ofstream(place.wav) << "older content";
  {
    FileSizeLimit limit(20);
    EXPECT_THROW(WaveFileWriter(place.wav.string(), 16000), WaveFileWriter::WriteError);
  }
  EXPECT_FALSE(std::filesystem::exists(place.wav));
}

}  // namespace
}  // namespace halcy
