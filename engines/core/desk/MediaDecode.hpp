#pragma once
// Media files decoded to 16 kHz mono WAV: the media area behind "media.decode", with the request's
// checks, the decoding loop into the one WAV writer, and the platform's reader behind a port.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "MediaProtocol.hpp"
#include "Output.hpp"

namespace halcy {

// The first audio track of a media file, read as 16 000 Hz mono signed 16-bit samples.
class AudioTrackReader {
 public:
  virtual ~AudioTrackReader() = default;
  // The next block of samples, valid until the next call; empty once the track has ended. Throws
  // an EngineFailure ("The file could not be read.") when reading breaks off.
  virtual std::span<const std::int16_t> next() = 0;
};

// The platform's media reader.
class MediaSource {
 public:
  virtual ~MediaSource() = default;
  // Throws an EngineFailure: "The file could not be read." or "The file has no audio track.".
  virtual std::unique_ptr<AudioTrackReader> openAudioTrack(const std::string& path) = 0;
};

namespace MediaDecode {

inline constexpr std::size_t pathMax = 1024;
inline constexpr std::uint64_t sampleRate = 16000;

// The input's extension in lower case is one of "m4a", "mp3", "wav", "mp4", "mov".
bool readsTypeOf(std::string_view path);
// Decoded length in milliseconds, halves rounded away from zero.
std::int64_t durationMs(std::uint64_t samples);
// Throws the first check the request fails, as invalid_params; touches no file.
void check(const MediaDecodeRequest& request);

// Writes next to "out" and renames into place, so a failed decode never leaves a partial file at
// "out" and keeps whatever was there before.
MediaDecoded decode(const MediaDecodeRequest& request, MediaSource& source);

}  // namespace MediaDecode

class MediaArea {
 public:
  virtual ~MediaArea() = default;
  virtual MediaDecoded decode(const MediaDecodeRequest& request) = 0;
};

class UnbuiltMedia : public MediaArea {
 public:
  MediaDecoded decode(const MediaDecodeRequest&) override { throw notBuiltYet(); }
};

// The media area over the platform's reader.
class MediaController : public MediaArea {
 public:
  explicit MediaController(std::unique_ptr<MediaSource> source) : source_(std::move(source)) {}
  MediaDecoded decode(const MediaDecodeRequest& request) override {
    return MediaDecode::decode(request, *source_);
  }

 private:
  std::unique_ptr<MediaSource> source_;
};

}  // namespace halcy
