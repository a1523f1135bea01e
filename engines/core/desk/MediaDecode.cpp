#include "MediaDecode.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "FilePaths.hpp"
#include "Output.hpp"
#include "Wave.hpp"

namespace halcy {

namespace {

EngineFailure invalid(std::string message) {
  return EngineFailure(ErrorCode::invalidParams, std::move(message));
}

EngineFailure unreadable() {
  return EngineFailure(ErrorCode::failed, "The file could not be read.");
}

EngineFailure unwritable() {
  return EngineFailure(ErrorCode::failed, "The decoded file could not be written.");
}

std::string lowered(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
  return lower;
}

// A NUL would cut the path short in the file system, naming a file the caller did not.
bool isAbsolute(const std::string& path) {
  return !path.empty() && path.front() == '/' && path.size() <= MediaDecode::pathMax &&
         path.find('\0') == std::string::npos;
}

// The text after the last dot of the last component; a name that only starts with a dot has none.
std::string_view extensionOf(std::string_view path) {
  const auto slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

bool isFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// A uniquely named file beside the output, created empty; deleted unless committed by renaming.
class PendingFile {
 public:
  explicit PendingFile(const std::string& out) {
    static std::atomic<std::uint64_t> counter{0};
    const std::string folder = folderOf(out);
    const std::string prefix = (folder == "/" ? std::string() : folder) + "/.halcy-decode-" +
                               std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = prefix + std::to_string(++counter) + ".wav.part";
      const int handle =
          ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (handle >= 0) {
        ::close(handle);
        path_ = std::move(candidate);
        return;
      }
      if (errno != EEXIST) break;
    }
    throw unwritable();
  }
  ~PendingFile() {
    if (!committed_) ::unlink(path_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& path() const { return path_; }
  void commitAs(const std::string& out) {
    if (std::rename(path_.c_str(), out.c_str()) != 0) throw unwritable();
    committed_ = true;
  }

 private:
  std::string path_;
  bool committed_ = false;
};

std::unique_ptr<AudioTrackReader> opened(MediaSource& source, const std::string& path) {
  try {
    auto track = source.openAudioTrack(path);
    if (!track) throw unreadable();
    return track;
  } catch (const EngineFailure&) {
    throw;
  } catch (...) {
    throw unreadable();
  }
}

std::span<const std::int16_t> nextBlock(AudioTrackReader& track) {
  try {
    return track.next();
  } catch (const EngineFailure&) {
    throw;
  } catch (...) {
    throw unreadable();
  }
}

// Every block of the track into the writer; answers the samples written.
std::uint64_t copyTrack(AudioTrackReader& track, const std::string& path) {
  std::optional<WaveFileWriter> writer;
  try {
    writer.emplace(path, MediaDecode::sampleRate);
  } catch (...) {
    throw unwritable();
  }
  for (auto block = nextBlock(track); !block.empty(); block = nextBlock(track)) {
    try {
      writer->append(block);
    } catch (...) {
      throw unwritable();
    }
  }
  try {
    writer->finish();
  } catch (...) {
    throw unwritable();
  }
  return writer->samples();
}

}  // namespace

bool MediaDecode::readsTypeOf(std::string_view path) {
  static constexpr std::array<std::string_view, 5> extensions = {"m4a", "mp3", "wav", "mp4", "mov"};
  const std::string extension = lowered(extensionOf(path));
  return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

std::int64_t MediaDecode::durationMs(std::uint64_t samples) {
  return static_cast<std::int64_t>((samples * 1000 + sampleRate / 2) / sampleRate);
}

void MediaDecode::check(const MediaDecodeRequest& request) {
  if (!isAbsolute(request.path) || !isAbsolute(request.out)) {
    throw invalid("media.decode takes absolute paths.");
  }
  if (!lowered(request.out).ends_with(".wav") || request.out == request.path) {
    throw invalid("media.decode writes a .wav of its own.");
  }
  if (!readsTypeOf(request.path)) throw invalid("media.decode does not read that type of file.");
  // A pipe or a device is no file either: reading one could wait or go on for ever.
  std::error_code error;
  if (!std::filesystem::is_regular_file(request.path, error)) {
    throw invalid("No file at that path.");
  }
  if (!isFolder(folderOf(request.out))) throw invalid("No folder for the decoded file.");
}

MediaDecoded MediaDecode::decode(const MediaDecodeRequest& request, MediaSource& source) {
  check(request);
  auto track = opened(source, request.path);
  PendingFile pending(request.out);
  const std::uint64_t samples = copyTrack(*track, pending.path());
  pending.commitAs(request.out);
  return MediaDecoded{durationMs(samples), static_cast<std::int64_t>(sampleRate), 1};
}

}  // namespace halcy
