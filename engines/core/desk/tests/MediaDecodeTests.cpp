#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FileSizeLimit.hpp"
#include "MediaDecode.hpp"
#include "Output.hpp"
#include "TempFolder.hpp"

namespace halcy {
namespace {

namespace fs = std::filesystem;

struct Folder {
  Folder() {
    std::ofstream(path / "talk.m4a") << "media";
    std::ofstream(path / "old.wav") << "previous take";
    fs::create_directories(path / "clip.mp4");
    ::mkfifo((path / "pipe.mp3").c_str(), 0600);
    fs::create_symlink("/dev/zero", path / "noise.mp3");
  }
  std::string at(const std::string& name) const { return (path / name).string(); }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(path)) {
      found.push_back(entry.path().filename());
    }
    std::sort(found.begin(), found.end());
    return found;
  }
  TempFolder made{"media"};
  const fs::path& path = made.path;
};

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MediaDecode, ChecksPathsTypesAndFoldersInOrder) {
  Folder folder;
  const std::string media = folder.at("talk.m4a");
  const std::string out = folder.at("talk.wav");
  const std::string absolute = "media.decode takes absolute paths.";
  const std::string ownWav = "media.decode writes a .wav of its own.";
  const std::string type = "media.decode does not read that type of file.";
  const std::string noFile = "No file at that path.";
  const std::string noFolder = "No folder for the decoded file.";
  struct Case {
    std::string path;
    std::string out;
    std::optional<std::string> failure;
  };
  const std::vector<Case> cases = {
      {media, out, std::nullopt},
      {media, folder.at("TALK.WAV"), std::nullopt},
      {"talk.m4a", out, absolute},
      {media, "talk.wav", absolute},
      {"", out, absolute},
      {media, "", absolute},
      {"/" + std::string(1024, 'a'), out, absolute},
      {media, "/" + std::string(1020, 'a') + ".wav", absolute},
      {media, "/" + std::string(1019, 'a') + ".wav", std::nullopt},
      {std::string("/tmp/a\0b.m4a", 12), out, absolute},
      // Relative paths are refused before anything else is looked at.
      {"talk.flac", "talk.txt", absolute},
      {media, folder.at("talk.wave"), ownWav},
      {media, folder.at("talk.wav.txt"), ownWav},
      {folder.at("same.wav"), folder.at("same.wav"), ownWav},
      {folder.at("talk.flac"), out, type},
      {folder.at("talk"), out, type},
      {folder.at(".mp3"), out, type},
      {folder.at("talk.mp3.txt"), out, type},
      {folder.at("missing.MP3"), out, noFile},
      {folder.at("Missing.Mov"), out, noFile},
      {folder.at("missing.wav"), out, noFile},
      {folder.at("missing.mp4"), out, noFile},
      {folder.at("clip.mp4"), out, noFile},
      {folder.at("pipe.mp3"), out, noFile},
      {folder.at("noise.mp3"), out, noFile},
      {media, folder.at("nowhere/talk.wav"), noFolder},
      {media, folder.at("talk.m4a/talk.wav"), noFolder},
  };
  for (const auto& c : cases) {
    try {
      MediaDecode::check({c.path, c.out});
      EXPECT_FALSE(c.failure) << c.path << " -> " << c.out;
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure, EngineFailure(ErrorCode::invalidParams, c.failure.value_or("")))
          << c.path << " -> " << c.out;
    }
  }
  EXPECT_EQ(folder.names(),
            (std::vector<std::string>{"clip.mp4", "noise.mp3", "old.wav", "pipe.mp3", "talk.m4a"}));
}

TEST(MediaDecode, RoundsHalfMillisecondsUp) {
  const std::vector<std::pair<std::uint64_t, std::int64_t>> cases = {
      {0, 0}, {7, 0}, {8, 1}, {16000, 1000}, {16007, 1000}, {16008, 1001}, {57600000, 3600000}};
  for (const auto& [samples, milliseconds] : cases) {
    EXPECT_EQ(MediaDecode::durationMs(samples), milliseconds) << samples;
  }
}

// A track of fixed blocks; may break off after a number of blocks.
class ScriptedTrack final : public AudioTrackReader {
 public:
  ScriptedTrack(std::vector<std::vector<std::int16_t>> blocks, std::function<void()> breakOff)
      : blocks_(std::move(blocks)), breakOff_(std::move(breakOff)) {}
  std::span<const std::int16_t> next() override {
    if (next_ == blocks_.size()) {
      if (breakOff_) breakOff_();
      return {};
    }
    return blocks_[next_++];
  }

 private:
  std::vector<std::vector<std::int16_t>> blocks_;
  std::function<void()> breakOff_;
  std::size_t next_ = 0;
};

class ScriptedSource final : public MediaSource {
 public:
  std::unique_ptr<AudioTrackReader> openAudioTrack(const std::string& path) override {
    opened.push_back(path);
    if (openFails) openFails();
    return std::make_unique<ScriptedTrack>(blocks, breakOff);
  }
  std::vector<std::vector<std::int16_t>> blocks;
  std::function<void()> openFails;
  std::function<void()> breakOff;
  std::vector<std::string> opened;
};

TEST(MediaDecode, WritesEveryBlockIntoTheWavAndAnswersItsLength) {
  Folder folder;
  // The area decodes through the source it owns.
  auto owned = std::make_unique<ScriptedSource>();
  ScriptedSource& source = *owned;
  MediaController area(std::move(owned));
  source.blocks = {std::vector<std::int16_t>(16000, 1), std::vector<std::int16_t>(8, -2)};
  const auto decoded = area.decode({folder.at("talk.m4a"), folder.at("old.wav")});
  EXPECT_EQ(decoded.toJson().dump(), R"({"durationMs":1001,"sampleRate":16000,"channels":1})");
  const std::string wav = contentsOf(folder.at("old.wav"));
  ASSERT_EQ(wav.size(), 44u + 2 * 16008);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(static_cast<unsigned char>(wav[44 + 2 * 16000]), 0xFE);
  EXPECT_EQ(source.opened, std::vector<std::string>{folder.at("talk.m4a")});
  // The replaced file is gone and nothing was left beside it.
  EXPECT_EQ(folder.names(),
            (std::vector<std::string>{"clip.mp4", "noise.mp3", "old.wav", "pipe.mp3", "talk.m4a"}));
}

TEST(MediaDecode, FailuresLeaveThePreviousFileAndNoPartialOne) {
  struct Case {
    std::string name;
    std::function<void(ScriptedSource&)> arrange;
    EngineFailure failure;
  };
  const EngineFailure unreadable(ErrorCode::failed, "The file could not be read.");
  const EngineFailure noTrack(ErrorCode::failed, "The file has no audio track.");
  const std::vector<Case> cases = {
      {"no audio track", [&](ScriptedSource& s) { s.openFails = [&] { throw noTrack; }; }, noTrack},
      {"open throws something else",
       [](ScriptedSource& s) { s.openFails = [] { throw std::runtime_error("demuxer"); }; },
       unreadable},
      {"reading breaks off", [&](ScriptedSource& s) { s.breakOff = [&] { throw unreadable; }; },
       unreadable},
      {"reading throws something else",
       [](ScriptedSource& s) { s.breakOff = [] { throw std::bad_alloc(); }; }, unreadable},
  };
  for (const auto& c : cases) {
    Folder folder;
    ScriptedSource source;
    source.blocks = {std::vector<std::int16_t>(4000, 7)};
    c.arrange(source);
    try {
      MediaDecode::decode({folder.at("talk.m4a"), folder.at("old.wav")}, source);
      ADD_FAILURE() << c.name;
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure, c.failure) << c.name;
    }
    EXPECT_EQ(contentsOf(folder.at("old.wav")), "previous take") << c.name;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"clip.mp4", "noise.mp3", "old.wav",
                                                        "pipe.mp3", "talk.m4a"}))
        << c.name;
  }
}

TEST(MediaDecode, AFileThatCannotBeWrittenOrPutInPlaceIsRemoved) {
  Folder folder;
  ScriptedSource source;
  source.blocks = {std::vector<std::int16_t>(4000, 7), std::vector<std::int16_t>(4000, 7)};
  const EngineFailure unwritable(ErrorCode::failed, "The decoded file could not be written.");
  {
    FileSizeLimit diskFull(44 + 2 * 5000);
    try {
      MediaDecode::decode({folder.at("talk.m4a"), folder.at("old.wav")}, source);
      ADD_FAILURE() << "a full disk went unnoticed";
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure, unwritable);
    }
  }
  EXPECT_EQ(contentsOf(folder.at("old.wav")), "previous take");
  fs::create_directories(folder.path / "taken.wav" / "inside");
  try {
    MediaDecode::decode({folder.at("talk.m4a"), folder.at("taken.wav")}, source);
    ADD_FAILURE() << "a folder was replaced";
  } catch (const EngineFailure& failure) {
    EXPECT_EQ(failure, unwritable);
  }
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"clip.mp4", "noise.mp3", "old.wav",
                                                      "pipe.mp3", "taken.wav", "talk.m4a"}));
}

TEST(MediaDecode, RefusedRequestsNeverReachTheReader) {
  Folder folder;
  ScriptedSource source;
  EXPECT_THROW(MediaDecode::decode({folder.at("talk.flac"), folder.at("x.wav")}, source),
               EngineFailure);
  EXPECT_THROW(MediaDecode::decode({folder.at("talk.m4a"), folder.at("no/x.wav")}, source),
               EngineFailure);
  EXPECT_TRUE(source.opened.empty());
}

}  // namespace
}  // namespace halcy
