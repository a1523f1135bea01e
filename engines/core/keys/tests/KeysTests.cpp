#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CapturingOutput.hpp"
#include "Keys.hpp"
#include "WireTestSupport.hpp"

namespace halcy {
namespace {

// A desktop in memory that records every call and keeps the handlers it was given.
class FakeKeysHost final : public KeysHost {
 public:
  struct State {
    std::int64_t flags = 0;
    std::int64_t buttons = 0;
    std::optional<FrontApp> front = FrontApp{10, "org.example.Front", "Front"};
    std::vector<std::int64_t> runningPids = {10, 20};
    std::vector<std::string> calls;
    EventHandler events;
    FrontHandler fronts;
  };

  explicit FakeKeysHost(std::shared_ptr<State> state) : state_(std::move(state)) {}

  void startWatching(EventHandler handler) override {
    state_->calls.push_back("startWatching");
    state_->events = std::move(handler);
  }
  void stopWatching() override { state_->calls.push_back("stopWatching"); }
  std::int64_t flagsNow() override { return called("flagsNow"), state_->flags; }
  std::int64_t buttonsNow() override { return called("buttonsNow"), state_->buttons; }
  std::optional<FrontApp> frontApp() override { return called("frontApp"), state_->front; }
  bool activate(std::int64_t pid) override {
    called("activate " + std::to_string(pid));
    for (auto running : state_->runningPids) {
      if (running == pid) return true;
    }
    return false;
  }
  void observeFront(FrontHandler handler) override {
    called("observeFront");
    state_->fronts = std::move(handler);
  }

 private:
  void called(std::string name) { state_->calls.push_back(std::move(name)); }
  std::shared_ptr<State> state_;
};

constexpr std::int64_t shift = 0x20000;
constexpr std::int64_t command = 0x100000;

struct Keys {
  std::shared_ptr<FakeKeysHost::State> state = std::make_shared<FakeKeysHost::State>();
  CapturingOutput output;
  double now = 100.5;
  std::shared_ptr<KeysController> controller =
      KeysController::make(std::make_unique<FakeKeysHost>(state), output, [this] { return now; });

  KeysWatching watch(bool on, std::int64_t mask) { return controller->watch({on, mask}); }
  void hear(const KeysEvent& event) { state->events(event); }
  std::vector<std::string> lines() { return output.lines(); }
  int count(const std::string& call) {
    return static_cast<int>(std::count(state->calls.begin(), state->calls.end(), call));
  }
};

std::string keysLine(const KeysEvent& event) {
  return Frames::notice("keys.event", event.toJson());
}

TEST(KeysController, RecordsEncodeEveryKeyInOrder) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {KeysWatching{true, 0x100000, 1.5}.toJson().dump(),
       R"({"watching":true,"flags":1048576,"at":1.5})"},
      {KeysState{0x20000, 3, 2.0}.toJson().dump(), R"({"flags":131072,"buttons":3,"at":2.0})"},
      {AppsFront{}.toJson().dump(), R"({"app":null})"},
      {AppsFront{FrontApp{7, "org.a.B", "B"}}.toJson().dump(),
       R"({"app":{"pid":7,"bundleId":"org.a.B","name":"B"}})"},
      {AppsActive{FrontApp{7, std::nullopt, std::nullopt}, 3.25}.toJson().dump(),
       R"({"pid":7,"bundleId":null,"name":null,"at":3.25})"},
      {KeysEvent::flagsChanged(0x40000, 1.0).toJson().dump(),
       R"({"type":"flags","flags":262144,"at":1.0})"},
      {KeysEvent::keyPressed(9, 1.0).toJson().dump(), R"({"type":"key","keyCode":9,"at":1.0})"},
      {KeysEvent::buttonPressed(1.0).toJson().dump(), R"({"type":"pointer","at":1.0})"},
  };
  for (const auto& [encoded, expected] : cases) EXPECT_EQ(encoded, expected);
}

TEST(KeysController, WatchingTwiceStartsOnceAndKeepsTheStoredFlags) {
  Keys keys;
  keys.state->flags = shift;
  const KeysWatching first = keys.watch(true, 0);
  EXPECT_EQ(first.flags, shift);
  EXPECT_TRUE(first.watching);
  EXPECT_EQ(first.at, 100.5);
  keys.hear(KeysEvent::flagsChanged(command, 1.0));
  keys.state->flags = 0;  // a fresh read would differ
  const KeysWatching second = keys.watch(true, command);
  EXPECT_EQ(second.flags, command);
  EXPECT_EQ(keys.count("startWatching"), 1);
  EXPECT_EQ(keys.count("flagsNow"), 1);
  // The new mask lets the key through while Command is down.
  keys.hear(KeysEvent::keyPressed(9, 1.1));
  EXPECT_EQ(keys.lines().back(), keysLine(KeysEvent::keyPressed(9, 1.1)));
}

TEST(KeysController, StoppingWhileNotWatchingReadsFreshFlagsAndLeavesTheHostAlone) {
  Keys keys;
  keys.state->flags = command;
  const KeysWatching answer = keys.watch(false, 0);
  EXPECT_FALSE(answer.watching);
  EXPECT_EQ(answer.flags, command);
  EXPECT_EQ(keys.count("stopWatching"), 0);

  keys.watch(true, 0);
  keys.state->flags = shift;
  EXPECT_EQ(keys.watch(false, 77).flags, shift);
  EXPECT_EQ(keys.count("stopWatching"), 1);
  // Off to on again reads the flags afresh and starts the host again.
  keys.state->flags = 0;
  EXPECT_EQ(keys.watch(true, 0).flags, 0);
  EXPECT_EQ(keys.count("startWatching"), 2);
}

TEST(KeysController, PressesPassOnlyWhileAModifierOfTheMaskIsHeld) {
  struct Step {
    KeysEvent event;
    bool reported;
  };
  const std::vector<Step> steps = {
      {KeysEvent::keyPressed(0, 1.0), false},
      {KeysEvent::flagsChanged(shift, 1.1), true},
      {KeysEvent::keyPressed(1, 1.2), false},
      {KeysEvent::buttonPressed(1.3), false},
      {KeysEvent::flagsChanged(shift | command, 1.4), true},
      {KeysEvent::keyPressed(2, 1.5), true},
      {KeysEvent::buttonPressed(1.6), true},
      {KeysEvent::flagsChanged(0, 1.7), true},
      {KeysEvent::keyPressed(3, 1.8), false},
  };
  Keys keys;
  keys.watch(true, command);
  std::vector<std::string> expected;
  for (const Step& step : steps) {
    keys.hear(step.event);
    if (step.reported) expected.push_back(keysLine(step.event));
  }
  EXPECT_EQ(keys.lines(), expected);
}

TEST(KeysController, WithoutAMaskOnlyModifierChangesAreReported) {
  Keys keys;
  keys.state->flags = command;  // held when watching starts
  keys.watch(true, 0);
  keys.hear(KeysEvent::keyPressed(9, 1.0));
  keys.hear(KeysEvent::buttonPressed(1.1));
  keys.hear(KeysEvent::flagsChanged(0, 1.2));
  EXPECT_EQ(keys.lines(), std::vector<std::string>{keysLine(KeysEvent::flagsChanged(0, 1.2))});
}

TEST(KeysController, TheGateStartsFromTheFlagsReadWhenWatchingStarts) {
  Keys keys;
  keys.state->flags = command;
  keys.watch(true, command);
  keys.hear(KeysEvent::keyPressed(9, 1.0));
  EXPECT_EQ(keys.lines().size(), 1U);
}

TEST(KeysController, EventsWhileNotWatchingAreDroppedAndNotStored) {
  Keys keys;
  keys.watch(true, command);
  keys.watch(false, command);
  // A late event after the stop was answered: dropped, and its flags are not remembered.
  keys.hear(KeysEvent::flagsChanged(command, 1.0));
  EXPECT_TRUE(keys.lines().empty());
  keys.state->flags = 0;
  keys.watch(true, command);
  keys.hear(KeysEvent::keyPressed(9, 1.1));
  EXPECT_TRUE(keys.lines().empty());
}

TEST(KeysController, OnlyAChangeOfTheFrontApplicationIsReported) {
  Keys keys;
  keys.now = 7.0;
  const FrontApp other{20, std::nullopt, "Other"};
  keys.state->fronts(*keys.state->front);  // the one known at creation
  keys.state->fronts(other);
  keys.state->fronts(other);
  keys.state->fronts(FrontApp{10, "org.example.Front", "Front"});
  EXPECT_EQ(
      keys.lines(),
      (std::vector<std::string>{
          R"({"event":"apps.active","data":{"pid":20,"bundleId":null,"name":"Other","at":7.0}})",
          R"({"event":"apps.active","data":{"pid":10,"bundleId":"org.example.Front",)"
          R"("name":"Front","at":7.0}})"}));
}

TEST(KeysController, WithoutAFrontApplicationAtCreationTheFirstReportCounts) {
  auto state = std::make_shared<FakeKeysHost::State>();
  state->front.reset();
  CapturingOutput output;
  auto controller =
      KeysController::make(std::make_unique<FakeKeysHost>(state), output, [] { return 1.0; });
  EXPECT_EQ(controller->front().app, std::nullopt);
  state->fronts(FrontApp{10, std::nullopt, std::nullopt});
  EXPECT_EQ(output.lines().size(), 1U);
}

TEST(KeysController, ActivateAsksTheHostAndFailsForAPidNobodyHas) {
  Keys keys;
  EXPECT_NO_THROW(keys.controller->activate({20}));
  for (const std::int64_t pid : {std::int64_t{30}, std::int64_t{4294967296}}) {
    try {
      keys.controller->activate({pid});
      ADD_FAILURE() << pid;
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure, EngineFailure(ErrorCode::unavailable, "No running app has that pid."));
    }
  }
  // The front application is reported by the observer when it really changes, not here.
  EXPECT_TRUE(keys.lines().empty());
}

TEST(KeysController, StateReadsTheHostAndLeavesTheGateAlone) {
  Keys keys;
  keys.watch(true, command);
  keys.state->flags = command;
  keys.state->buttons = 0b101;
  const KeysState state = keys.controller->state();
  EXPECT_EQ(state.flags, command);
  EXPECT_EQ(state.buttons, 0b101);
  EXPECT_EQ(state.at, 100.5);
  keys.hear(KeysEvent::keyPressed(9, 1.0));  // the gate still holds the flags read at the start
  EXPECT_TRUE(keys.lines().empty());
}

TEST(KeysController, ShutdownStopsTheHostOnlyWhenWatching) {
  Keys idle;
  idle.controller->shutdown();
  EXPECT_EQ(idle.count("stopWatching"), 0);

  Keys keys;
  keys.watch(true, 0);
  keys.controller->shutdown();
  EXPECT_EQ(keys.count("stopWatching"), 1);
  keys.hear(KeysEvent::flagsChanged(shift, 1.0));
  EXPECT_TRUE(keys.lines().empty());
}

TEST(KeysController, HandlersOutlivingTheControllerDoNothing) {
  Keys keys;
  keys.watch(true, 0);
  auto events = keys.state->events;
  auto fronts = keys.state->fronts;
  keys.controller.reset();
  events(KeysEvent::flagsChanged(shift, 1.0));
  fronts(FrontApp{99, std::nullopt, std::nullopt});
  EXPECT_TRUE(keys.lines().empty());
}

}  // namespace
}  // namespace halcy
