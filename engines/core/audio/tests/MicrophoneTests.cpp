#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "AudioTestSupport.hpp"
#include "FailureOf.hpp"
#include "FakeCapture.hpp"
#include "InertEngineHost.hpp"
#include "Microphone.hpp"
#include "WireTestSupport.hpp"

namespace halcy {
namespace {

using audio::eventually;
using audio::FakeClock;
using audio::FileSizeLimit;
using audio::noticesNamed;
using Kind = MicStartRules::PathKind;

// --- rules -----------------------------------------------------------------------------------

TEST(MicStartRules, FirstBrokenRuleWins) {
  const std::map<std::string, Kind> disk = {
      {"/", Kind::folder}, {"/tmp", Kind::folder}, {"/tmp/old.wav", Kind::file}};
  const PathClassifier kind = [&](const std::string& path) {
    auto found = disk.find(path);
    return found == disk.end() ? Kind::missing : found->second;
  };
  const std::string tooLong = "maxSeconds must be 1 to 60.";
  const std::pair<MicStart, std::optional<std::string>> cases[] = {
      {{"/tmp/a.wav", 0}, tooLong},
      {{"/tmp/a.wav", 61}, tooLong},
      {{"/tmp/a.wav", -5}, tooLong},
      {{"rec.wav", 0}, tooLong},
      {{"/tmp/a.wav", 1}, std::nullopt},
      {{"/tmp/a.wav", 60}, std::nullopt},
      {{"/tmp/old.wav", 5}, std::nullopt},
      {{"/a.wav", 5}, std::nullopt},
      {{"rec.wav", 5}, "The path must be absolute."},
      {{"", 5}, "The path must be absolute."},
      {{"/tmp", 5}, "The path is a folder."},
      {{"/", 5}, "The path is a folder."},
      {{"/no/such/dir/a.wav", 5}, "The path's folder does not exist."},
      {{"/tmp/old.wav/a.wav", 5}, "The path's folder does not exist."},
      // The folder of a path ending in slashes is the one above its last name.
      {{"/tmp/new.wav/", 5}, std::nullopt},
      {{"/tmp//new.wav", 5}, std::nullopt},
      {{"/new.wav//", 5}, std::nullopt},
      {{"/no/such/dir/", 5}, "The path's folder does not exist."},
  };
  for (const auto& [request, message] : cases) {
    const auto failure = MicStartRules::failure(request, kind);
    if (!message) {
      EXPECT_FALSE(failure) << request.path << " " << request.maxSeconds;
      continue;
    }
    ASSERT_TRUE(failure) << request.path << " " << request.maxSeconds;
    EXPECT_EQ(*failure, EngineFailure(ErrorCode::invalidParams, *message));
  }
}

TEST(MicStartRules, OnDiskTellsFilesFromFolders) {
  const auto folder = std::filesystem::temp_directory_path();
  const auto file = folder / "halcy-mic-rules-probe.wav";
  std::ofstream(file) << "x";
  EXPECT_EQ(MicStartRules::onDisk(folder.string()), Kind::folder);
  EXPECT_EQ(MicStartRules::onDisk(file.string()), Kind::file);
  EXPECT_EQ(MicStartRules::onDisk("/no/such/thing"), Kind::missing);
  std::filesystem::remove(file);
}

// "mic.start" as the caller writes it: decoding, then the rules, then the recorder.
TEST(WireMic, StartDecodesStrictlyAndChecksRules) {
  const std::string notPermitted =
      R"({"id":7,"error":{"code":"not_permitted","message":"Halcy is not allowed to use the microphone."}})";
  const std::pair<const char*, std::string> cases[] = {
      {R"({"path":"/tmp/a.wav","maxSeconds":5})", notPermitted},
      {R"({"path":"/tmp/a.wav","maxSeconds":5.0})", notPermitted},
      {R"({"maxSeconds":5,"path":"/tmp/a.wav"})", notPermitted},
      {R"({"path":"/tmp/a.wav","maxSeconds":5.5})", wire::refusedLine("mic.start")},
      {R"({"path":"/tmp/a.wav","maxSeconds":"5"})", wire::refusedLine("mic.start")},
      {R"({"path":"/tmp/a.wav","maxSeconds":null})", wire::refusedLine("mic.start")},
      {R"({"path":"/tmp/a.wav","maxSeconds":true})", wire::refusedLine("mic.start")},
      {R"({"path":"/tmp/a.wav"})", wire::refusedLine("mic.start")},
      {R"({"maxSeconds":5})", wire::refusedLine("mic.start")},
      {R"({"path":null,"maxSeconds":5})", wire::refusedLine("mic.start")},
      {R"({"path":5,"maxSeconds":5})", wire::refusedLine("mic.start")},
      {R"({"path":"/tmp/a\u0000.wav","maxSeconds":5})", wire::refusedLine("mic.start")},
      {R"([])", wire::refusedLine("mic.start")},
      {R"({"path":"/tmp/a.wav","maxSeconds":5,"x":1,"b":2})",
       wire::invalidParamsLine("mic.start takes no b, x.")},
      {R"({"path":"/tmp/a.wav","maxSeconds":0})",
       wire::invalidParamsLine("maxSeconds must be 1 to 60.")},
      {R"({"path":"/tmp/a.wav","maxSeconds":61})",
       wire::invalidParamsLine("maxSeconds must be 1 to 60.")},
      {R"({"path":"rec.wav","maxSeconds":5})",
       wire::invalidParamsLine("The path must be absolute.")},
      {R"({"path":"/tmp","maxSeconds":5})", wire::invalidParamsLine("The path is a folder.")},
      {R"({"path":"/no/such/dir/a.wav","maxSeconds":5})",
       wire::invalidParamsLine("The path's folder does not exist.")},
  };
  wire::WireHarness harness;
  for (const auto& [params, expected] : cases) {
    EXPECT_EQ(harness.replyTo("mic.start", params), expected) << params;
  }
  EXPECT_EQ(harness.replyTo("mic.stop", "{}"),
            R"({"id":7,"error":{"code":"unavailable","message":"Nothing is recording."}})");
  EXPECT_EQ(harness.replyTo("mic.stop", R"({"a":1})"),
            wire::invalidParamsLine("mic.stop takes no a."));
}

// --- the recorder ----------------------------------------------------------------------------

class FakeMicHost final : public InertEngineHost {
 public:
  FakeMicHost(std::shared_ptr<MicCaptureScript> script, PermissionState microphone)
      : script_(std::move(script)), microphone_(microphone) {}
  PermissionsStatus permissions() override {
    PermissionsStatus status;
    status.microphone = microphone_;
    return status;
  }
  PermissionState request(Permission) override { return microphone_; }
  std::unique_ptr<MicCapture> microphone() override {
    return std::make_unique<FakeMicCapture>(script_);
  }

 private:
  std::shared_ptr<MicCaptureScript> script_;
  PermissionState microphone_;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Recording {
  explicit Recording(PermissionState permission = PermissionState::granted)
      : controller(std::make_shared<FakeMicHost>(script, permission), output, MicStartRules::onDisk,
                   clock.clock()) {
    std::filesystem::create_directories(folder);
  }
  ~Recording() { std::filesystem::remove_all(folder); }

  void deliver(std::size_t count, float value, double at) {
    clock.set(at);
    script->sink->receive(std::vector<float>(count, value));
  }

  std::vector<Json> ended() { return noticesNamed(output, "mic.ended"); }
  std::size_t fileSize() { return std::filesystem::file_size(wav); }

  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("halcy-mic-" + std::to_string(::getpid()));
  std::filesystem::path wav = folder / "take.wav";
  std::shared_ptr<MicCaptureScript> script = std::make_shared<MicCaptureScript>();
  CapturingOutput output;
  FakeClock clock;
  MicController controller;
};

TEST(MicController, RecordsUntilStopped) {
  Recording recording;
  EXPECT_EQ(recording.controller.start({recording.wav.string(), 5}).toJson().dump(),
            R"({"sampleRate":16000,"channels":1})");
  EXPECT_EQ(recording.fileSize(), 44u);
  recording.deliver(8000, 0.5f, 1.0);
  const auto stopped = recording.controller.stop();
  EXPECT_EQ(stopped.toJson().dump(),
            R"({"path":")" + recording.wav.string() + R"(","seconds":0.5})");
  EXPECT_EQ(recording.fileSize(), 44u + 16000u);
  EXPECT_EQ(recording.script->stops, 1);
  const auto bytes = readFile(recording.wav);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[44]), 0x00);  // 16384 = 00 40
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[45]), 0x40);
  EXPECT_EQ(failureOf([&] { recording.controller.stop(); }),
            EngineFailure(ErrorCode::unavailable, "Nothing is recording."));
}

TEST(MicController, EndsAtTheLimitWithOneNotice) {
  Recording recording;
  recording.controller.start({recording.wav.string(), 1});
  recording.deliver(20000, 0.1f, 1.0);
  ASSERT_TRUE(eventually([&] { return !recording.ended().empty(); }));
  recording.deliver(500, 0.9f, 1.5);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(recording.ended().size(), 1u);
  EXPECT_EQ(recording.ended()[0].dump(),
            R"({"path":")" + recording.wav.string() + R"(","seconds":1.0,"reason":"limit"})");
  EXPECT_EQ(recording.fileSize(), 44u + 32000u);
  // The block after the limit gave no level either.
  EXPECT_EQ(noticesNamed(recording.output, "mic.level").size(), 1u);
  EXPECT_EQ(recording.script->stops, 1);
  EXPECT_EQ(failureOf([&] { recording.controller.stop(); }),
            EngineFailure(ErrorCode::unavailable, "Nothing is recording."));
}

TEST(MicController, StopRightAfterTheLimitAnswersAndNoEndFollows) {
  Recording recording;
  recording.controller.start({recording.wav.string(), 1});
  // The capture's last block reaches the limit while the recorder is stopping it.
  recording.script->duringStop = [&] { recording.deliver(16000, 0.2f, 2.0); };
  EXPECT_EQ(recording.controller.stop().seconds, 1.0);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(recording.ended().empty());
}

TEST(MicController, CaptureFailureEndsOnce) {
  Recording recording;
  recording.controller.start({recording.wav.string(), 5});
  recording.deliver(1600, 0.1f, 1.0);
  recording.script->sink->fail("The microphone changed while recording.");
  recording.script->sink->fail("The microphone's audio could not be converted.");
  ASSERT_TRUE(eventually([&] { return !recording.ended().empty(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(recording.ended().size(), 1u);
  EXPECT_EQ(recording.ended()[0]["reason"], "failed");
  EXPECT_EQ(recording.ended()[0]["message"], "The microphone changed while recording.");
  EXPECT_EQ(recording.ended()[0]["seconds"], 0.1);
  EXPECT_EQ(recording.fileSize(), 44u + 3200u);
}

// A full disk while recording or while finishing: the take ends as failed, and the notice still
// tells how much sound the file holds.
TEST(MicController, DiskFailuresEndTheTakeAsFailed) {
  struct Case {
    const char* name;
    rlim_t fileSizeLimit;  // applied after the first 1600 samples are on disk
    bool stopByCaller;     // else the capture fails and the take ends on its own
    const char* message;
  };
  const Case cases[] = {
      {"write fails", 44 + 3200, false, "Could not write the recording."},
      {"finish fails on the ended path", 2, false, "Could not finish the recording."},
      {"finish fails on stop", 2, true, "Could not finish the recording."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recording recording;
    recording.controller.start({recording.wav.string(), 5});
    recording.deliver(1600, 0.1f, 1.0);
    std::vector<Json> ended;
    std::optional<EngineFailure> stopFailure;
    {
      FileSizeLimit limit(c.fileSizeLimit);
      if (c.stopByCaller) {
        stopFailure = failureOf([&] { recording.controller.stop(); });
      } else if (c.fileSizeLimit > 44) {
        recording.deliver(1600, 0.2f, 1.1);
      } else {
        recording.script->sink->fail("The microphone changed while recording.");
      }
      if (!c.stopByCaller) {
        EXPECT_TRUE(eventually([&] { return !recording.ended().empty(); }));
        ended = recording.ended();
      }
    }
    if (c.stopByCaller) {
      EXPECT_EQ(stopFailure, EngineFailure(ErrorCode::failed, c.message));
      EXPECT_TRUE(recording.ended().empty());
    } else {
      ASSERT_EQ(ended.size(), 1u);
      EXPECT_EQ(ended[0].dump(), R"({"path":")" + recording.wav.string() +
                                     R"(","seconds":0.1,"reason":"failed","message":")" +
                                     c.message + R"("})");
    }
    EXPECT_EQ(recording.script->stops, 1);
    EXPECT_EQ(failureOf([&] { recording.controller.stop(); }),
              EngineFailure(ErrorCode::unavailable, "Nothing is recording."));
  }
}

TEST(MicController, LevelsComeAtMostTenTimesASecond) {
  Recording recording;
  recording.controller.start({recording.wav.string(), 60});
  // Blocks of 1/64 s for two seconds, as a capture with small blocks delivers them.
  for (int block = 0; block < 128; ++block) {
    recording.deliver(250, block % 2 == 0 ? 0.5f : -0.25f, block / 64.0);
  }
  const auto levels = noticesNamed(recording.output, "mic.level");
  EXPECT_GE(levels.size(), 18u);
  EXPECT_LE(levels.size(), 20u);
  for (const auto& level : levels) EXPECT_EQ(level.dump(), R"({"level":0.5})");
  recording.controller.stop();
}

TEST(MicController, FailedStartsLeaveNoFile) {
  for (const auto& [thrown, expected] : audio::captureStartFailures()) {
    Recording recording;
    std::ofstream(recording.wav) << "an older file";
    recording.script->failure = thrown;
    EXPECT_EQ(failureOf([&] {
                recording.controller.start({recording.wav.string(), 5});
              }),
              expected);
    EXPECT_FALSE(std::filesystem::exists(recording.wav));
    recording.script->failure = nullptr;
    recording.controller.start({recording.wav.string(), 5});  // not busy afterwards
    recording.controller.stop();
  }
}

TEST(MicController, RefusalsBeforeAnythingIsWritten) {
  {
    Recording recording(PermissionState::denied);
    EXPECT_EQ(
        failureOf([&] {
          recording.controller.start({recording.wav.string(), 5});
        }),
        EngineFailure(ErrorCode::notPermitted, "Halcy is not allowed to use the microphone."));
    EXPECT_FALSE(std::filesystem::exists(recording.wav));
    EXPECT_EQ(recording.script->starts, 0);
  }
  {
    Recording recording;
    recording.controller.start({recording.wav.string(), 5});
    const auto other = recording.folder / "other.wav";
    EXPECT_EQ(failureOf([&] {
                recording.controller.start({other.string(), 5});
              }),
              EngineFailure(ErrorCode::busy, "The microphone is already recording."));
    EXPECT_FALSE(std::filesystem::exists(other));
    recording.controller.stop();
  }
  {
    // Devices and pipes are not recording files; they are left untouched.
    Recording recording;
    EXPECT_EQ(failureOf([&] {
                recording.controller.start({"/dev/null", 5});
              }),
              EngineFailure(ErrorCode::failed, "Could not create the recording file."));
    EXPECT_TRUE(std::filesystem::exists("/dev/null"));
    EXPECT_EQ(recording.script->starts, 0);
  }
}

TEST(MicController, ShutdownFinishesTheFileQuietly) {
  Recording recording;
  recording.controller.start({recording.wav.string(), 5});
  recording.deliver(1600, 0.1f, 1.0);
  recording.controller.shutdown();
  EXPECT_EQ(recording.script->stops, 1);
  EXPECT_TRUE(recording.ended().empty());
  const auto bytes = readFile(recording.wav);
  ASSERT_EQ(bytes.size(), 44u + 3200u);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[40]), 0x80);  // 3200 = 0x0C80
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[41]), 0x0C);
}

}  // namespace
}  // namespace halcy
