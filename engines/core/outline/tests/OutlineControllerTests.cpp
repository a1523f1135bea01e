#include "OutlineController.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CapturingOutput.hpp"
#include "FailureOf.hpp"

namespace halcy {
namespace {

// An element of the fake desktop: a name that says which control it is. A new reference every
// walk, as a platform hands out; `same` compares names.
struct FakeElement final : OutlineElementRef {
  explicit FakeElement(std::string name) : name(std::move(name)) {}
  std::string name;
};

std::string nameOf(const OutlineElement& element) {
  return static_cast<const FakeElement&>(*element).name;
}

struct FakeControl {
  std::string role;
  std::string name;
  ScreenRect frame;
  bool menuBar = false;
};

// A desktop in memory that records every call.
class FakeOutlineHost final : public OutlineHost {
 public:
  struct State {
    bool trusted = true;
    std::map<std::int64_t, FrontApp> apps = {{42, {42, "org.example.Editor", "Editor"}},
                                             {77, {77, "org.example.Secret", "Secret"}}};
    bool refused = false;
    std::optional<ScreenRect> window = ScreenRect{0, 0, 800, 600};
    std::vector<FakeControl> controls;
    std::map<std::string, std::optional<ScreenRect>> frames;
    std::map<std::string, std::optional<ElementFacts>> facts;
    std::map<std::string, ElementClips> clips;
    std::vector<std::string> calls;
    std::vector<double> budgets;
    std::vector<std::string> asked;  // elements asked about, by name
    std::vector<std::pair<std::int64_t, Sink>> observers;
    std::function<void()> duringWalk;
  };

  explicit FakeOutlineHost(std::shared_ptr<State> state) : state_(std::move(state)) {}

  bool trusted() override { return called("trusted"), state_->trusted; }
  std::optional<FrontApp> app(std::int64_t pid) override {
    called("app");
    auto found = state_->apps.find(pid);
    if (found == state_->apps.end()) return std::nullopt;
    return found->second;
  }
  OutlineWalk walk(std::int64_t, double budget) override {
    called("walk");
    state_->budgets.push_back(budget);
    if (auto hook = std::exchange(state_->duringWalk, nullptr)) hook();
    OutlineWalk walk;
    walk.refused = state_->refused;
    if (walk.refused) return walk;
    walk.window = state_->window;
    for (const FakeControl& control : state_->controls) {
      walk.found.push_back({control.role, control.name, control.frame, control.menuBar,
                            std::make_shared<FakeElement>(control.name)});
    }
    return walk;
  }
  std::optional<ScreenRect> frame(const Element& element) override {
    state_->asked.push_back(nameOf(element));
    auto found = state_->frames.find(nameOf(element));
    return found == state_->frames.end() ? std::nullopt : found->second;
  }
  std::optional<ElementFacts> facts(const Element& element) override {
    state_->asked.push_back(nameOf(element));
    auto found = state_->facts.find(nameOf(element));
    return found == state_->facts.end() ? std::nullopt : found->second;
  }
  ElementClips clips(const Element& element) override { return state_->clips[nameOf(element)]; }
  bool same(const Element& a, const Element& b) override { return nameOf(a) == nameOf(b); }
  void observe(std::int64_t pid, Sink sink) override {
    called("observe");
    state_->observers.emplace_back(pid, std::move(sink));
  }
  void stopObserving() override { called("stopObserving"); }

 private:
  void called(const char* what) { state_->calls.emplace_back(what); }
  std::shared_ptr<State> state_;
};

class OutlineControllerTest : public ::testing::Test {
 protected:
  OutlineControllerTest()
      : state(std::make_shared<FakeOutlineHost::State>()),
        controller(std::make_unique<FakeOutlineHost>(state), output, [this] { return now; }) {}

  Outline read(std::int64_t pid = 42, std::vector<std::string> neverLook = {}) {
    return controller.read(OutlineRead{pid, 200, std::move(neverLook)});
  }
  OutlineFrames refs(std::int64_t outline, std::vector<std::int64_t> refs) {
    return OutlineFrames{outline, std::move(refs)};
  }
  OutlineFoundControls find(std::int64_t outline, std::string name,
                            std::optional<std::string> role = std::nullopt,
                            std::int64_t limit = 20) {
    return controller.find(OutlineFind{outline, std::move(name), std::move(role), limit});
  }
  std::size_t count(const std::string& call) {
    return static_cast<std::size_t>(std::count(state->calls.begin(), state->calls.end(), call));
  }
  void expectFailure(const std::function<void()>& action, const std::string& message) {
    EXPECT_EQ(failureOf(action), EngineFailure(ErrorCode::unavailable, message));
  }

  double now = 12.5;
  CapturingOutput output;
  std::shared_ptr<FakeOutlineHost::State> state;
  OutlineController controller;
};

const ScreenRect someFrame{10, 20, 80, 24};

TEST_F(OutlineControllerTest, ReadAnswersTheKeptControlsInOutlineOrderWithTheirRefs) {
  state->controls = {{"AXStaticText", "Label", {10, 10, 50, 20}},
                     {"AXButton", "Save", {10, 40, 60, 24}},
                     {"AXMenuBarItem", "File", {0, 0, 40, 20}, true},
                     {"AXButton", std::string(130, 'n'), {10, 70, 60, 24}}};
  const Outline outline = read();
  EXPECT_EQ(
      outline.toJson().dump(),
      R"({"outline":1,"pid":42,"refused":false,"gated":false,)"
      R"("window":{"x":0.0,"y":0.0,"width":800.0,"height":600.0},"controls":[)"
      R"({"ref":0,"role":"AXMenuBarItem","name":"File","frame":{"x":0.0,"y":0.0,"width":40.0,"height":20.0}},)"
      R"({"ref":1,"role":"AXButton","name":"Save","frame":{"x":10.0,"y":40.0,"width":60.0,"height":24.0}},)"
      R"({"ref":2,"role":"AXButton","name":")" +
          std::string(120, 'n') +
          R"(","frame":{"x":10.0,"y":70.0,"width":60.0,"height":24.0}},)"
          R"({"ref":3,"role":"AXStaticText","name":"Label","frame":{"x":10.0,"y":10.0,"width":50.0,"height":20.0}}]})");
  EXPECT_EQ(state->budgets, std::vector<double>{0.2});
  // The refs address the controls: ref 0 is the menu-bar item.
  state->frames["File"] = someFrame;
  EXPECT_EQ(controller.frames(refs(1, {0})).frames,
            std::vector<std::optional<ScreenRect>>{someFrame});
}

TEST_F(OutlineControllerTest, ReadsThatLookAtNothingStillHoldAnOutline) {
  struct Case {
    const char* what;
    std::vector<std::string> neverLook;
    bool trusted;
    bool refused;
    bool answersGated;
    bool answersRefused;
    bool walks;
  };
  const std::vector<Case> cases = {
      {"on the never-look list", {"org.example.Editor"}, true, false, true, false, false},
      {"never-look compares exactly", {"org.example.editor"}, true, false, false, false, true},
      {"accessibility not trusted", {}, false, false, false, true, false},
      {"the platform refuses the walk", {}, true, true, false, true, true},
  };
  std::int64_t id = 0;
  for (const Case& c : cases) {
    state->trusted = c.trusted;
    state->refused = c.refused;
    state->controls = {{"AXButton", "Save", someFrame}};
    state->calls.clear();
    const Outline outline = read(42, c.neverLook);
    EXPECT_EQ(outline.outline, ++id) << c.what;
    EXPECT_EQ(outline.gated, c.answersGated) << c.what;
    EXPECT_EQ(outline.refused, c.answersRefused) << c.what;
    EXPECT_EQ(count("walk"), c.walks ? 1U : 0U) << c.what;
    if (c.answersGated || c.answersRefused) {
      EXPECT_TRUE(outline.controls.empty()) << c.what;
      EXPECT_EQ(outline.window, std::nullopt) << c.what;
      EXPECT_EQ(controller.frames(refs(id, {0})).frames,
                std::vector<std::optional<ScreenRect>>{std::nullopt})
          << c.what;
    }
  }
}

TEST_F(OutlineControllerTest, UnknownPidsAndOutlinesFail) {
  expectFailure([&] { read(5); }, "No running app has that pid.");
  expectFailure([&] { controller.watch(OutlineWatch{5}); }, "No running app has that pid.");
  EXPECT_EQ(count("walk") + count("observe"), 0U);
  for (const auto& call : std::vector<std::function<void()>>{
           [&] { controller.frames(refs(1, {0})); }, [&] { controller.state(refs(1, {0})); },
           [&] { controller.visible(refs(1, {0})); }, [&] { find(1, "a"); }}) {
    expectFailure(call, "That outline is no longer held.");
  }
}

TEST_F(OutlineControllerTest, AFifthReadPushesOutTheFirstAndIdsAreNeverReused) {
  for (std::int64_t id = 1; id <= 5; ++id) EXPECT_EQ(read().outline, id);
  expectFailure([&] { controller.frames(refs(1, {})); }, "That outline is no longer held.");
  for (std::int64_t id = 2; id <= 5; ++id) EXPECT_NO_THROW(controller.frames(refs(id, {})));
  EXPECT_EQ(read().outline, 6);
  expectFailure([&] { controller.state(refs(2, {})); }, "That outline is no longer held.");
}

TEST_F(OutlineControllerTest, FramesAnswerPerRefInRequestOrderAskingEachElementOnce) {
  for (int i = 0; i < 10; ++i) {
    state->controls.push_back({"AXButton", "b" + std::to_string(i), someFrame});
  }
  state->frames["b0"] = someFrame;
  state->frames["b1"] = ScreenRect{5, 5, 1, 30};  // a line, not live
  state->frames["b2"] = ScreenRect{5, 5, 20, 30};
  const std::int64_t id = read().outline;
  const auto frames = controller.frames(refs(id, {0, 999, 1, 3, 0, 2})).frames;
  EXPECT_EQ(frames, (std::vector<std::optional<ScreenRect>>{someFrame, std::nullopt, std::nullopt,
                                                            std::nullopt, someFrame,
                                                            ScreenRect{5, 5, 20, 30}}));
  EXPECT_EQ(state->asked, (std::vector<std::string>{"b0", "b1", "b2", "b3"}));
  EXPECT_EQ(controller.frames(refs(id, {})).toJson().dump(), R"({"frames":[]})");
}

TEST_F(OutlineControllerTest, VisibleClipsFramesByScrollAreaAndWindow) {
  state->controls = {{"AXRow", "in view", someFrame},
                     {"AXRow", "scrolled out", someFrame},
                     {"AXRow", "half in", someFrame},
                     {"AXRow", "no clips", someFrame}};
  const ScreenRect list{0, 100, 300, 200};
  state->frames = {{"in view", ScreenRect{0, 120, 300, 20}},
                   {"scrolled out", ScreenRect{0, 400, 300, 20}},
                   {"half in", ScreenRect{0, 290, 300, 20}},
                   {"no clips", ScreenRect{0, 0, 10, 10}}};
  for (const char* row : {"in view", "scrolled out", "half in"}) {
    state->clips[row] = {list, ScreenRect{0, 0, 250, 1000}};
  }
  const std::int64_t id = read().outline;
  EXPECT_EQ(controller.visible(refs(id, {0, 1, 2, 3, 4})).frames,
            (std::vector<std::optional<ScreenRect>>{ScreenRect{0, 120, 250, 20}, std::nullopt,
                                                    ScreenRect{0, 290, 250, 10},
                                                    ScreenRect{0, 0, 10, 10}, std::nullopt}));
}

TEST_F(OutlineControllerTest, StateTellsValuesOnlyAsLengthAndDigest) {
  state->controls = {{"AXTextField", "Name", someFrame},
                     {"AXSecureTextField", "Password", someFrame},
                     {"AXCheckBox", "Remember", someFrame},
                     {"AXButton", "Gone", someFrame}};
  state->facts["Name"] = ElementFacts{"hello", false, std::nullopt, std::nullopt, true};
  // A host that read a secure value by mistake still never lets it out.
  state->facts["Password"] = ElementFacts{"hunter2", true, std::nullopt, std::nullopt, true};
  state->facts["Remember"] = ElementFacts{"1", false, false, std::nullopt, false};
  const std::int64_t id = read().outline;  // the secure field, not actionable, comes last
  const OutlineStates states = controller.state(refs(id, {0, 3, 1, 2, 7}));
  EXPECT_EQ(
      states.toJson().dump(),
      R"({"states":[)"
      R"({"value":{"length":5,"digest":"2cf24dba5fb0a30e"},"selected":null,"expanded":null,"enabled":true},)"
      R"({"value":null,"selected":null,"expanded":null,"enabled":true},)"
      R"({"value":{"length":1,"digest":"6b86b273ff34fce1"},"selected":false,"expanded":null,"enabled":false},)"
      R"(null,null]})");
  EXPECT_EQ(states.toJson().dump().find("hello"), std::string::npos);
}

TEST_F(OutlineControllerTest, FindMatchesNamesAndRolesAndKeepsRefsStable) {
  state->controls = {{"AXStaticText", "Résumé heading", someFrame},
                     {"AXButton", "Save", someFrame},
                     {"AXButton", "Résumé Builder", someFrame},
                     {"AXLink", "resume link", someFrame}};
  const std::int64_t id = read().outline;  // refs 0 Save, 1 Résumé Builder, 2 link, 3 heading
  state->controls.push_back({"AXSecureTextField", "Resume password", someFrame});
  state->controls.push_back({"AXButton", "Resume later", someFrame});

  struct Case {
    const char* what;
    std::string name;
    std::optional<std::string> role;
    std::int64_t limit;
    std::vector<std::pair<std::int64_t, std::string>> found;  // ref and name, in order
  };
  const std::vector<Case> cases = {
      {"actionable first, heading last, password never",
       "RESUME",
       std::nullopt,
       20,
       {{1, "Résumé Builder"}, {2, "resume link"}, {4, "Resume later"}, {3, "Résumé heading"}}},
      {"found again keeps its ref", "resume later", std::nullopt, 20, {{4, "Resume later"}}},
      {"exact role", "resume", "AXLink", 20, {{2, "resume link"}}},
      {"role compares exactly", "resume", "axlink", 20, {}},
      {"limit", "e", std::nullopt, 2, {{0, "Save"}, {1, "Résumé Builder"}}},
      {"nothing", "zebra", std::nullopt, 20, {}},
  };
  for (const Case& c : cases) {
    const OutlineFoundControls found = find(id, c.name, c.role, c.limit);
    std::vector<std::pair<std::int64_t, std::string>> got;
    for (const OutlineControl& control : found.controls)
      got.emplace_back(control.ref, control.name);
    EXPECT_EQ(got, c.found) << c.what;
  }
  EXPECT_EQ(state->budgets.back(), 0.4);
  // The held list grew once, by "Resume later": ref 5 does not exist.
  state->frames["Resume later"] = someFrame;
  EXPECT_EQ(controller.frames(refs(id, {4, 5})).frames,
            (std::vector<std::optional<ScreenRect>>{someFrame, std::nullopt}));
}

TEST_F(OutlineControllerTest, FindAnswersNothingWithoutLookingWhenItMayNot) {
  state->controls = {{"AXButton", "Save", someFrame}};
  const std::int64_t gated = read(77, {"org.example.Secret"}).outline;
  state->calls.clear();
  EXPECT_TRUE(find(gated, "save").controls.empty());
  EXPECT_EQ(count("walk"), 0U);

  const std::int64_t open = read().outline;
  state->trusted = false;
  EXPECT_TRUE(find(open, "save").controls.empty());
  state->trusted = true;
  state->refused = true;
  EXPECT_TRUE(find(open, "save").controls.empty());
}

TEST_F(OutlineControllerTest, FindFailsWhenItsOutlineIsPushedOutWhileItWalks) {
  state->controls = {{"AXButton", "Save", someFrame}};
  const std::int64_t id = read().outline;
  state->duringWalk = [&] {
    for (int i = 0; i < 4; ++i) read();
  };
  expectFailure([&] { find(id, "save"); }, "That outline is no longer held.");
}

TEST_F(OutlineControllerTest, WatchWritesChangesOfTheWatchedApplicationOnly) {
  EXPECT_EQ(controller.watch(OutlineWatch{std::nullopt}).toJson().dump(),
            R"({"pid":null,"at":12.5})");
  EXPECT_EQ(count("stopObserving"), 0U);

  EXPECT_EQ(controller.watch(OutlineWatch{42}).toJson().dump(), R"({"pid":42,"at":12.5})");
  ASSERT_EQ(state->observers.size(), 1U);
  const OutlineHost::Sink first = state->observers[0].second;
  now = 13.25;
  first({"AXValueChanged", "AXTextField", "", "Name field"});
  first({"AXSelectedTextChanged", "AXTextField", "Name", std::nullopt});  // no kind: dropped
  first({"AXMenuOpened", std::nullopt, std::nullopt, std::nullopt});
  EXPECT_EQ(
      output.lines(),
      (std::vector<std::string>{
          R"({"event":"outline.change","data":{"kind":"value","role":"AXTextField","name":"Name field","at":13.25}})",
          R"({"event":"outline.change","data":{"kind":"menuOpened","role":"","name":"","at":13.25}})"}));

  controller.watch(OutlineWatch{77});
  ASSERT_EQ(state->observers.size(), 2U);
  EXPECT_EQ(state->observers[1].first, 77);
  first({"AXMoved", "AXWindow", "Late", std::nullopt});  // the first application: dropped
  state->observers[1].second({"AXMoved", "AXWindow", "Editor", std::nullopt});
  EXPECT_EQ(output.lines().size(), 3U);
  EXPECT_NE(output.lines().back().find(R"("kind":"moved","role":"AXWindow","name":"Editor")"),
            std::string::npos);

  controller.watch(OutlineWatch{std::nullopt});
  EXPECT_EQ(count("stopObserving"), 1U);
  state->observers[1].second({"AXMoved", "AXWindow", "After", std::nullopt});
  EXPECT_EQ(output.lines().size(), 3U);
}

// Notices arrive on the host's thread while requests run on theirs.
TEST_F(OutlineControllerTest, NoticesAndRequestsRunTogether) {
  state->controls = {{"AXButton", "Save", someFrame}};
  controller.watch(OutlineWatch{42});
  const OutlineHost::Sink sink = state->observers[0].second;
  std::atomic<bool> done{false};
  std::thread notifier([&] {
    while (!done) sink({"AXValueChanged", "AXTextField", "Name", std::nullopt});
  });
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (int i = 0; i < 50 || (output.lines().empty() && std::chrono::steady_clock::now() < giveUp);
       ++i) {
    const std::int64_t id = read().outline;
    find(id, "save");
    controller.frames(refs(id, {0}));
  }
  controller.watch(OutlineWatch{std::nullopt});
  const std::size_t heard = output.lines().size();
  done = true;
  notifier.join();
  EXPECT_GT(heard, 0U);
  EXPECT_EQ(output.lines().size(), heard);
}

TEST_F(OutlineControllerTest, ShutdownStopsTheObservationOnlyWhenWatching) {
  controller.shutdown();
  EXPECT_EQ(count("stopObserving"), 0U);
  controller.watch(OutlineWatch{42});
  controller.shutdown();
  EXPECT_EQ(count("stopObserving"), 1U);
  state->observers[0].second({"AXMoved", "AXWindow", "After", std::nullopt});
  EXPECT_TRUE(output.lines().empty());
}

}  // namespace
}  // namespace halcy
