#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

#include "AudioTestSupport.hpp"
#include "Dictation.hpp"
#include "Dispatcher.hpp"
#include "FailureOf.hpp"
#include "FakeCapture.hpp"
#include "InertEngineHost.hpp"

namespace halcy {
namespace {

using audio::chunkValues;
using audio::eventually;
using audio::FakeClock;
using audio::noticesNamed;

// --- the stream ----------------------------------------------------------------------------

struct Delivery {
  std::size_t count;
  double at;
};

struct Chunk {
  std::size_t size;
  double at;
  bool operator==(const Chunk&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Chunk& chunk) {
  return out << chunk.size << "@" << chunk.at;
}

struct StreamRun {
  CapturingOutput output;
  FakeClock clock;
  std::shared_ptr<DictationStream> stream =
      std::make_shared<DictationStream>(clock.clock(), output, nullptr);

  // Each delivery holds the next values of a ramp, so order, loss and repeats show.
  void deliver(const std::vector<Delivery>& deliveries) {
    for (const auto& delivery : deliveries) {
      clock.set(delivery.at);
      std::vector<float> samples;
      for (std::size_t index = 0; index < delivery.count; ++index) samples.push_back(next());
      stream->receive(samples);
    }
  }

  std::vector<Chunk> chunks() {
    std::vector<Chunk> found;
    for (const auto& data : noticesNamed(output, "dictation.audio")) {
      found.push_back({chunkValues(data).size(), data["at"].get<double>()});
    }
    return found;
  }

  float next() { return static_cast<float>(sent_++ % 30000) / 32767.0f; }
  std::size_t sent_ = 0;
};

TEST(DictationStream, CutsDeliveriesIntoChunks) {
  struct Case {
    const char* name;
    std::vector<Delivery> deliveries;
    std::vector<Chunk> beforeClose;
    std::vector<Chunk> atClose;
  };
  const Case cases[] = {
      {"two deliveries make one chunk", {{1000, 1.0}, {1000, 1.1}}, {{1600, 1.1}}, {{400, 1.1}}},
      {"a pause sends the leftover with its own time",
       {{1000, 1.0}, {1000, 1.1}, {100, 1.4}},
       {{1600, 1.1}, {400, 1.1}},
       {{100, 1.4}}},
      {"a big delivery makes several chunks at once",
       {{5000, 2.0}},
       {{1600, 2.0}, {1600, 2.0}, {1600, 2.0}},
       {{200, 2.0}}},
      {"an empty delivery does not move the time of what is pending",
       {{1000, 1.0}, {0, 1.2}, {1000, 1.3}},
       {{1000, 1.0}},
       {{1000, 1.3}}},
      {"a gap of exactly the stall time is no pause",
       {{1000, 1.0}, {1000, 1.25}},
       {{1600, 1.25}},
       {{400, 1.25}}},
      {"a whole chunk leaves nothing for close", {{1600, 3.0}}, {{1600, 3.0}}, {}},
      {"small regular deliveries",
       {{320, 0.02}, {320, 0.04}, {320, 0.06}, {320, 0.08}, {320, 0.10}, {320, 0.12}},
       {{1600, 0.10}},
       {{320, 0.12}}},
  };
  for (const auto& testCase : cases) {
    StreamRun run;
    run.deliver(testCase.deliveries);
    EXPECT_EQ(run.chunks(), testCase.beforeClose) << testCase.name;
    run.stream->close();
    auto all = testCase.beforeClose;
    all.insert(all.end(), testCase.atClose.begin(), testCase.atClose.end());
    EXPECT_EQ(run.chunks(), all) << testCase.name;
  }
}

TEST(DictationStream, SendsEverySampleOnceInOrder) {
  StreamRun run;
  std::vector<Delivery> deliveries;
  double at = 0;
  for (std::size_t count : {1, 1599, 1601, 3, 4096, 0, 7, 1365, 1366, 2000}) {
    deliveries.push_back({count, at += 0.1});
  }
  deliveries.push_back({500, at += 1.0});
  run.deliver(deliveries);
  run.stream->close();

  std::vector<std::int16_t> received;
  for (const auto& data : noticesNamed(run.output, "dictation.audio")) {
    const auto values = chunkValues(data);
    received.insert(received.end(), values.begin(), values.end());
  }
  ASSERT_EQ(received.size(), run.sent_);
  for (std::size_t index = 0; index < received.size(); ++index) {
    ASSERT_EQ(received[index], static_cast<std::int16_t>(index % 30000)) << index;
  }
}

TEST(DictationStream, AcceptsNothingOnceClosed) {
  StreamRun run;
  run.deliver({{400, 1.0}});
  run.stream->close();
  run.stream->close();
  run.deliver({{4000, 1.1}});
  EXPECT_EQ(run.chunks(), (std::vector<Chunk>{{400, 1.0}}));
}

TEST(DictationStream, NoticeLineKeepsSlashesAndFieldOrder) {
  StreamRun run;
  run.stream->receive(std::vector<float>(1600, 1.0f));
  const auto lines = run.output.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_THAT(lines[0], ::testing::StartsWith(
                            R"({"event":"dictation.audio","data":{"at":0.0,"samples":"/3//f/9/)"));
  EXPECT_EQ(lines[0].find("\\/"), std::string::npos);
}

// --- the controller ------------------------------------------------------------------------

class FakeDictationHost final : public DictationHost {
 public:
  FakeDictationHost(std::shared_ptr<MeetingCaptureScript> script, PermissionState permission)
      : script_(std::move(script)), permission_(permission) {}
  PermissionState microphonePermission() override { return permission_; }
  std::unique_ptr<MeetingCapture> dictationMicrophone() override {
    return std::make_unique<FakeMeetingCapture>(script_);
  }

 private:
  std::shared_ptr<MeetingCaptureScript> script_;
  PermissionState permission_;
};

struct Dictating {
  explicit Dictating(PermissionState permission = PermissionState::granted)
      : controller(std::make_shared<DictationController>(
            std::make_unique<FakeDictationHost>(script, permission), output, clock.clock())) {}

  std::vector<Json> ended() { return noticesNamed(output, "dictation.ended"); }

  std::shared_ptr<MeetingCaptureScript> script = std::make_shared<MeetingCaptureScript>();
  CapturingOutput output;
  FakeClock clock;
  std::shared_ptr<DictationController> controller;
};

const EngineFailure busy(ErrorCode::busy, "A dictation is already capturing.");
const EngineFailure notCapturing(ErrorCode::unavailable, "No dictation is capturing.");

TEST(DictationController, StartsAndStops) {
  Dictating dictating;
  dictating.clock.set(12.5);
  const auto started = dictating.controller->start();
  EXPECT_EQ(started.toJson().dump(), R"({"sampleRate":16000,"channels":1,"at":12.5})");
  EXPECT_EQ(dictating.script->starts, 1);

  dictating.clock.set(13.0);
  dictating.script->sink->receive(std::vector<float>(400, 0.5f));
  dictating.clock.set(13.1);
  EXPECT_EQ(dictating.controller->stop().at, 13.1);
  EXPECT_EQ(dictating.script->stops, 1);
  const auto chunks = noticesNamed(dictating.output, "dictation.audio");
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunkValues(chunks[0]).size(), 400u);
  EXPECT_EQ(chunks[0]["at"], 13.0);

  EXPECT_EQ(failureOf([&] { dictating.controller->stop(); }), notCapturing);
}

TEST(DictationController, RefusesWithoutPermission) {
  for (auto permission :
       {PermissionState::denied, PermissionState::undetermined, PermissionState::unsupported}) {
    Dictating dictating(permission);
    EXPECT_EQ(
        failureOf([&] { dictating.controller->start(); }),
        EngineFailure(ErrorCode::notPermitted, "Halcy is not allowed to use the microphone."));
    EXPECT_EQ(dictating.script->starts, 0);
  }
}

TEST(DictationController, CaptureThatCannotStartLeavesNoTrace) {
  for (const auto& [thrown, expected] : audio::captureStartFailures()) {
    Dictating dictating;
    dictating.script->failure = thrown;
    // What came before the start failed is dropped, not flushed.
    dictating.script->duringStart = [](MeetingSink& sink) {
      sink.receive(std::vector<float>(1000, 0.1f));
    };
    EXPECT_EQ(failureOf([&] { dictating.controller->start(); }), expected);
    dictating.script->sink->receive(std::vector<float>(2000, 0.1f));
    EXPECT_TRUE(dictating.output.lines().empty());
    EXPECT_EQ(failureOf([&] { dictating.controller->stop(); }), notCapturing);
  }
}

TEST(DictationController, SecondStartIsBusyEvenWhileTheFirstIsOpening) {
  Dictating dictating;
  dictating.script->holdStart = true;
  auto first = std::async(std::launch::async, [&] { return dictating.controller->start(); });
  {
    std::unique_lock lock(dictating.script->mutex);
    dictating.script->changed.wait(lock, [&] { return dictating.script->starts == 1; });
  }
  auto second = std::async(std::launch::async,
                           [&] { return failureOf([&] { dictating.controller->start(); }); });
  EXPECT_EQ(second.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  dictating.script->release();
  first.get();
  EXPECT_EQ(second.get(), busy);
  EXPECT_EQ(failureOf([&] { dictating.controller->start(); }), busy);
  EXPECT_EQ(dictating.script->starts, 1);
}

TEST(DictationController, GateServesCallersInArrivalOrder) {
  Dictating dictating;
  dictating.script->holdStart = true;
  auto first = std::async(std::launch::async, [&] { dictating.controller->start(); });
  {
    std::unique_lock lock(dictating.script->mutex);
    dictating.script->changed.wait(lock, [&] { return dictating.script->starts == 1; });
  }
  // While the first start waits for its microphone, a stop and then a start queue up.
  auto stop = std::async(std::launch::async, [&] { dictating.controller->stop(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto restart = std::async(std::launch::async, [&] { dictating.controller->start(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  dictating.script->release();
  first.get();
  stop.get();
  restart.get();
  EXPECT_EQ(dictating.script->calls, (std::vector<std::string>{"start", "stop", "start"}));
  dictating.controller->stop();
}

TEST(DictationController, InterruptionsEndOnceWithTheFirstReason) {
  struct Case {
    const char* name;
    std::vector<std::pair<MeetingInterruption, std::optional<std::string>>> interruptions;
    std::string ended;
  };
  const Case cases[] = {
      {"device change",
       {{MeetingInterruption::deviceChanged, "The microphone changed."}},
       R"({"reason":"deviceChanged","message":"The microphone changed."})"},
      {"stopped is reported as failed",
       {{MeetingInterruption::stopped, std::nullopt}},
       R"({"reason":"failed"})"},
      {"two interruptions, the first wins",
       {{MeetingInterruption::deviceChanged, "The microphone changed."},
        {MeetingInterruption::failed, "The microphone's audio could not be converted."}},
       R"({"reason":"deviceChanged","message":"The microphone changed."})"},
      {"failure with its message",
       {{MeetingInterruption::failed, "The microphone's audio could not be converted."},
        {MeetingInterruption::deviceChanged, "The microphone changed."}},
       R"({"reason":"failed","message":"The microphone's audio could not be converted."})"},
  };
  for (const auto& testCase : cases) {
    Dictating dictating;
    dictating.controller->start();
    dictating.clock.set(4.0);
    dictating.script->sink->receive(std::vector<float>(700, 0.25f));
    for (const auto& [reason, message] : testCase.interruptions) {
      dictating.script->sink->interrupt(reason, message);
    }
    ASSERT_TRUE(eventually([&] { return !dictating.ended().empty(); })) << testCase.name;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto lines = dictating.output.lines();
    ASSERT_EQ(lines.size(), 2u) << testCase.name;
    // The leftover is flushed before the end is told.
    EXPECT_EQ(chunkValues(audio::parsed(lines[0])["data"]).size(), 700u);
    EXPECT_EQ(audio::parsed(lines[1])["data"].dump(), testCase.ended) << testCase.name;
    EXPECT_EQ(dictating.script->stops, 1);
    EXPECT_EQ(failureOf([&] { dictating.controller->stop(); }), notCapturing);
  }
}

TEST(DictationController, InterruptionAfterStopIsSilent) {
  Dictating dictating;
  dictating.controller->start();
  auto sink = dictating.script->sink;
  dictating.controller->stop();
  sink->interrupt(MeetingInterruption::deviceChanged, "The microphone changed.");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(dictating.ended().empty());
}

TEST(DictationController, InterruptionOfAStoppedStreamLeavesTheNextOneRunning) {
  Dictating dictating;
  // The old stream breaks while it is being stopped; its end task must not touch the next one.
  dictating.script->duringStop = [&] {
    dictating.script->sink->interrupt(MeetingInterruption::failed, std::nullopt);
  };
  dictating.controller->start();
  dictating.controller->stop();
  dictating.script->duringStop = nullptr;
  dictating.controller->start();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(dictating.ended().empty());
  EXPECT_EQ(dictating.script->stops, 1);
  dictating.controller->stop();
}

TEST(DictationController, ShutdownStopsQuietlyAndRefusesLaterStarts) {
  Dictating dictating;
  dictating.controller->start();
  dictating.script->sink->receive(std::vector<float>(100, 0.0f));
  dictating.controller->shutdown();
  EXPECT_EQ(dictating.script->stops, 1);
  EXPECT_EQ(noticesNamed(dictating.output, "dictation.audio").size(), 1u);
  EXPECT_TRUE(dictating.ended().empty());
  EXPECT_EQ(failureOf([&] { dictating.controller->start(); }),
            EngineFailure(ErrorCode::unavailable, "The engine is stopping."));
  EXPECT_EQ(failureOf([&] { dictating.controller->stop(); }), notCapturing);
}

// Through the dispatcher: the last chunk leaves before the stop reply.
TEST(DictationController, LastChunkPrecedesTheStopReply) {
  Dictating dictating;
  EngineAreas areas = EngineAreas::unbuilt();
  areas.dictation = dictating.controller;
  Dispatcher dispatcher(std::make_shared<InertEngineHost>(), dictating.output, areas);
  dispatcher.receive(R"({"id":1,"method":"dictation.start","params":{}})");
  ASSERT_TRUE(dispatcher.awaitAnswers(std::chrono::seconds(5)));
  dictating.script->sink->receive(std::vector<float>(400, 0.0f));
  dispatcher.receive(R"({"id":2,"method":"dictation.stop","params":{}})");
  ASSERT_TRUE(dispatcher.awaitAnswers(std::chrono::seconds(5)));
  const auto lines = dictating.output.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(audio::parsed(lines[1])["event"], "dictation.audio");
  EXPECT_EQ(audio::parsed(lines[2])["id"], 2);
  EXPECT_EQ(dispatcher.reply(R"({"id":3,"method":"dictation.stop","params":{}})"),
            R"({"id":3,"error":{"code":"unavailable","message":"No dictation is capturing."}})");
  EXPECT_EQ(
      dispatcher.reply(R"({"id":4,"method":"dictation.start","params":{"a":1}})"),
      R"({"id":4,"error":{"code":"invalid_params","message":"dictation.start takes no a."}})");
}

}  // namespace
}  // namespace halcy
