#include "Wave.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace halcy {

namespace {

void putWord(std::uint8_t* at, std::uint32_t value) {
  for (int index = 0; index < 4; ++index)
    at[index] = static_cast<std::uint8_t>(value >> (8 * index));
}

void putHalf(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void putTag(std::uint8_t* at, const char (&tag)[5]) {
  for (int index = 0; index < 4; ++index) at[index] = static_cast<std::uint8_t>(tag[index]);
}

std::system_error lastError(const char* what) {
  return std::system_error(errno, std::generic_category(), what);
}

// Writes all of the bytes at an offset, across short writes and signals.
void writeAllAt(int handle, const std::uint8_t* bytes, std::size_t count, off_t offset) {
  while (count > 0) {
    const ssize_t written = ::pwrite(handle, bytes, count, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) throw lastError("write");
    if (written == 0) throw std::system_error(EIO, std::generic_category(), "write");
    bytes += written;
    count -= static_cast<std::size_t>(written);
    offset += written;
  }
}

}  // namespace

std::array<std::uint8_t, WaveHeader::size> WaveHeader::bytes(std::uint64_t sampleRate,
                                                             std::uint64_t samples) {
  if (samples > maxSamples) throw std::length_error("Too many samples for a WAV header.");
  if (sampleRate > maxSampleRate) throw std::length_error("Sample rate too high for a WAV header.");
  const auto dataBytes = static_cast<std::uint32_t>(2 * samples);
  std::array<std::uint8_t, size> header{};
  putTag(&header[0], "RIFF");
  putWord(&header[4], 36 + dataBytes);
  putTag(&header[8], "WAVE");
  putTag(&header[12], "fmt ");
  putWord(&header[16], 16);
  putHalf(&header[20], 1);
  putHalf(&header[22], 1);
  putWord(&header[24], static_cast<std::uint32_t>(sampleRate));
  putWord(&header[28], static_cast<std::uint32_t>(sampleRate * 2));
  putHalf(&header[32], 2);
  putHalf(&header[34], 16);
  putTag(&header[36], "data");
  putWord(&header[40], dataBytes);
  return header;
}

WaveFileWriter::WaveFileWriter(std::string path, std::uint64_t sampleRate)
    : path_(std::move(path)), sampleRate_(sampleRate) {
  const auto header = WaveHeader::bytes(sampleRate, 0);
  // Not truncated before it is known to be a plain file: a device or a pipe named by the caller is
  // refused untouched (and opening a pipe must not wait for a reader).
  handle_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (handle_ < 0) throw WriteError(WriteError::cannotCreate);
  struct stat facts {};
  const bool plainFile = ::fstat(handle_, &facts) == 0 && S_ISREG(facts.st_mode);
  if (!plainFile || ::ftruncate(handle_, 0) != 0) {
    abandon();
    throw WriteError(WriteError::cannotCreate);
  }
  try {
    writeAllAt(handle_, header.data(), header.size(), 0);
  } catch (const std::system_error&) {
    // Emptied but without a header: no file is better than one no reader can open.
    abandon();
    ::unlink(path_.c_str());
    throw WriteError(WriteError::cannotCreate);
  }
}

WaveFileWriter::~WaveFileWriter() {
  abandon();
}

void WaveFileWriter::append(std::span<const std::int16_t> samples) {
  if (samples.empty()) return;
  if (handle_ < 0) throw std::system_error(EBADF, std::generic_category(), "append");
  if (samples.size() > WaveHeader::maxSamples - samples_) {
    throw std::length_error("A WAV file cannot hold more samples.");
  }
  std::vector<std::uint8_t> bytes(2 * samples.size());
  for (std::size_t index = 0; index < samples.size(); ++index) {
    putHalf(&bytes[2 * index], static_cast<std::uint16_t>(samples[index]));
  }
  // Written at the end of the samples counted so far, so a failed write leaves no gap.
  const auto offset = static_cast<off_t>(WaveHeader::size + 2 * samples_);
  writeAllAt(handle_, bytes.data(), bytes.size(), offset);
  samples_ += samples.size();
}

void WaveFileWriter::patch(std::size_t offset, const std::uint8_t* bytes) {
  writeAllAt(handle_, bytes, 4, static_cast<off_t>(offset));
}

void WaveFileWriter::finish() {
  if (handle_ < 0) throw std::system_error(EBADF, std::generic_category(), "finish");
  const auto header = WaveHeader::bytes(sampleRate_, samples_);
  patch(4, &header[4]);
  patch(40, &header[40]);
  // Bytes of a write that failed halfway lie past the counted samples.
  if (::ftruncate(handle_, static_cast<off_t>(WaveHeader::size + 2 * samples_)) != 0) {
    throw lastError("truncate");
  }
  const int handle = handle_;
  handle_ = -1;
  if (::close(handle) != 0) throw lastError("close");
}

void WaveFileWriter::abandon() {
  if (handle_ < 0) return;
  ::close(handle_);
  handle_ = -1;
}

}  // namespace halcy
