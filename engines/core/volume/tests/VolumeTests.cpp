#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CapturingOutput.hpp"
#include "Dispatcher.hpp"
#include "Volume.hpp"
#include "WireTestSupport.hpp"

namespace halcy {
namespace {

// --- the record ----------------------------------------------------------------------------

TEST(OutputVolume, ReadsRawDeviceValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    std::string name;
    std::optional<float> main;
    std::vector<float> channels;
    std::optional<std::uint32_t> mute;
    std::optional<double> volume;
    bool muted;
  };
  const std::vector<Case> cases = {
      {"channels averaged", std::nullopt, {0.25f, 0.75f}, std::nullopt, 0.5, false},
      {"main wins over channels", 0.3f, {0.9f, 0.9f}, 0u, static_cast<double>(0.3f), false},
      {"above full clamps", 1.2f, {}, std::nullopt, 1.0, false},
      {"channels above full clamp", std::nullopt, {1.5f, 1.0f}, std::nullopt, 1.0, false},
      {"below zero clamps", -0.5f, {}, std::nullopt, 0.0, false},
      {"NaN reads as zero", nan, {}, std::nullopt, 0.0, false},
      {"NaN among channels reads as zero", std::nullopt, {nan, 0.5f}, std::nullopt, 0.0, false},
      {"no volume at all", std::nullopt, {}, std::nullopt, std::nullopt, false},
      {"mute 1", std::nullopt, {}, 1u, std::nullopt, true},
      {"any nonzero mute", 0.5f, {}, 7u, 0.5, true},
      {"mute 0", 0.5f, {}, 0u, 0.5, false},
  };
  for (const auto& c : cases) {
    const OutputVolume state = OutputVolume::read(c.main, c.channels, c.mute);
    EXPECT_EQ(state.volume, c.volume) << c.name;
    EXPECT_EQ(state.muted, c.muted) << c.name;
  }
}

TEST(OutputVolume, ChannelsSumInSinglePrecisionAndDivideAsDouble) {
  // Three thirds sum to exactly 1 in float; the division happens in double.
  const float third = 1.0f / 3.0f;
  const std::vector<float> channels = {third, third, third};
  const float sum = third + third + third;
  EXPECT_EQ(OutputVolume::read(std::nullopt, channels, std::nullopt).volume,
            static_cast<double>(sum) / 3.0);
}

TEST(OutputVolume, WritesVolumeAlwaysThenMuted) {
  EXPECT_EQ((OutputVolume{std::nullopt, false}).toJson().dump(),
            R"({"volume":null,"muted":false})");
  EXPECT_EQ((OutputVolume{0.5, true}).toJson().dump(), R"({"volume":0.5,"muted":true})");
  EXPECT_EQ((OutputVolume{0.0, false}).toJson().dump(), R"({"volume":0.0,"muted":false})");
}

// --- the controller ------------------------------------------------------------------------

class FakeVolumeHost final : public VolumeHost {
 public:
  OutputVolume current() override {
    std::lock_guard guard(mutex_);
    return state_;
  }
  void startWatching(std::function<void()> onChange) override {
    std::lock_guard guard(mutex_);
    onChange_ = std::move(onChange);
    calls_.push_back("start");
  }
  void stopWatching() override {
    std::lock_guard guard(mutex_);
    onChange_ = nullptr;
    calls_.push_back("stop");
  }

  void set(OutputVolume state) {
    std::lock_guard guard(mutex_);
    state_ = state;
  }
  // What the platform does: calls back whether or not anything changed.
  void fire() {
    std::function<void()> callback;
    {
      std::lock_guard guard(mutex_);
      callback = onChange_;
    }
    if (callback) callback();
  }
  std::function<void()> callback() {
    std::lock_guard guard(mutex_);
    return onChange_;
  }
  std::vector<std::string> calls() {
    std::lock_guard guard(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  OutputVolume state_{0.5, false};
  std::function<void()> onChange_;
  std::vector<std::string> calls_;
};

struct Rig {
  CapturingOutput output;
  FakeVolumeHost* host = nullptr;
  std::shared_ptr<VolumeController> controller;

  Rig() {
    auto owned = std::make_unique<FakeVolumeHost>();
    host = owned.get();
    controller = std::make_shared<VolumeController>(std::move(owned), output);
  }

  std::vector<std::string> notices() {
    std::vector<std::string> found;
    for (const auto& line : output.lines()) {
      if (line.find(R"("event":"volume.changed")") != std::string::npos) found.push_back(line);
    }
    return found;
  }
};

std::string changedLine(const OutputVolume& state) {
  return R"({"event":"volume.changed","data":)" + state.toJson().dump() + "}";
}

TEST(VolumeController, WritesANoticeOnlyWhenTheReportedStateChanged) {
  struct Step {
    OutputVolume state;
    bool noticed;
  };
  const std::vector<Step> steps = {
      {{0.5, false}, false},          // the answered state, called back again
      {{0.75, false}, true},          // volume moved
      {{0.75, false}, false},         // a duplicate callback
      {{0.75, true}, true},           // muted
      {{std::nullopt, true}, true},   // a device without volume
      {{std::nullopt, true}, false},  // both absent counts as equal
      {{0.0, true}, true},            // absent and 0 differ
      {{0.0, false}, true},           // unmuted
      {{0.5, false}, true},           // back to the first state: it differs from the last one
  };
  Rig rig;
  EXPECT_EQ(rig.controller->watch({true}), (OutputVolume{0.5, false}));
  std::vector<std::string> expected;
  for (const auto& step : steps) {
    rig.host->set(step.state);
    rig.host->fire();
    if (step.noticed) expected.push_back(changedLine(step.state));
    EXPECT_EQ(rig.notices(), expected) << step.state.toJson().dump();
  }
}

TEST(VolumeController, StartsTheHostOnceAndStopsItOnce) {
  // Each step is "watch", "unwatch" or "shutdown".
  struct Case {
    std::vector<std::string> steps;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {{"watch"}, {"start"}},
      {{"watch", "watch"}, {"start"}},
      {{"watch", "unwatch"}, {"start", "stop"}},
      {{"unwatch", "unwatch"}, {}},
      {{"watch", "unwatch", "watch"}, {"start", "stop", "start"}},
      {{"watch", "shutdown"}, {"start", "stop"}},
      {{"unwatch", "shutdown"}, {}},
      {{"watch", "shutdown", "unwatch", "shutdown"}, {"start", "stop"}},
  };
  for (const auto& c : cases) {
    Rig rig;
    std::string name;
    for (const auto& step : c.steps) {
      name += step + " ";
      if (step == "shutdown") {
        rig.controller->shutdown();
      } else {
        rig.controller->watch({step == "watch"});
      }
    }
    EXPECT_EQ(rig.host->calls(), c.calls) << name;
  }
}

TEST(VolumeController, ARepeatedWatchAnswersAndRemembersTheStateNow) {
  Rig rig;
  rig.controller->watch({true});
  rig.host->set({0.25, false});
  // The callback of this change is late: the second watch answers first.
  EXPECT_EQ(rig.controller->watch({true}), (OutputVolume{0.25, false}));
  rig.host->fire();
  EXPECT_TRUE(rig.notices().empty());
}

TEST(VolumeController, CallbacksOutsideAWatchWriteNothing) {
  struct Case {
    std::string name;
    std::vector<bool> watches;
    bool shutdown;
  };
  const std::vector<Case> cases = {
      {"never watched", {false}, false},
      {"watch ended", {true, false}, false},
      {"shut down", {true}, true},
  };
  for (const auto& c : cases) {
    Rig rig;
    // Keep the first callback: a platform may still deliver one after the watch ended.
    std::function<void()> late;
    for (const bool watch : c.watches) {
      rig.controller->watch({watch});
      if (!late) late = rig.host->callback();
    }
    if (c.shutdown) rig.controller->shutdown();
    rig.host->set({0.9, true});
    if (late) late();
    rig.host->fire();
    EXPECT_TRUE(rig.notices().empty()) << c.name;
  }
}

TEST(VolumeController, ACallbackAfterTheControllerIsGoneDoesNothing) {
  Rig rig;
  rig.controller->watch({true});
  const auto callback = rig.host->callback();
  rig.host = nullptr;
  rig.controller.reset();
  callback();
  EXPECT_TRUE(rig.notices().empty());
}

TEST(VolumeController, ConcurrentWatchesAndCallbacksKeepTheHostConsistent) {
  Rig rig;
  std::atomic<bool> done{false};
  std::atomic<int> fired{0};
  std::thread changes([&] {
    for (int step = 0; !done; ++step) {
      rig.host->set({(step % 100) / 100.0, step % 2 == 0});
      rig.host->fire();
      ++fired;
    }
  });
  // Both sides run many times while the other does.
  for (int round = 0; round < 2000 || fired < 2000; ++round) {
    rig.controller->watch({round % 3 != 2});
  }
  done = true;
  changes.join();
  // Starts and stops alternate: never a second start without a stop between.
  const auto calls = rig.host->calls();
  for (std::size_t index = 0; index < calls.size(); ++index) {
    EXPECT_EQ(calls[index], index % 2 == 0 ? "start" : "stop") << index;
  }
  // Consecutive notices always differ.
  const auto notices = rig.notices();
  for (std::size_t index = 1; index < notices.size(); ++index) {
    EXPECT_NE(notices[index], notices[index - 1]) << index;
  }
}

TEST(VolumeController, AnswersAndNoticesThroughTheDispatcher) {
  CapturingOutput output;
  auto owned = std::make_unique<FakeVolumeHost>();
  FakeVolumeHost* host = owned.get();
  EngineAreas areas = EngineAreas::unbuilt();
  areas.volume = std::make_shared<VolumeController>(std::move(owned), output);
  Dispatcher dispatcher(std::make_shared<wire::FakeEngineHost>(), output, std::move(areas));
  EXPECT_EQ(dispatcher.reply(R"({"id":3,"method":"volume.watch","params":{"watch":true}})"),
            R"({"id":3,"result":{"volume":0.5,"muted":false}})");
  host->set({std::nullopt, true});
  host->fire();
  EXPECT_EQ(output.lines().back(),
            R"({"event":"volume.changed","data":{"volume":null,"muted":true}})");
}

}  // namespace
}  // namespace halcy
