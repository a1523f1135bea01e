#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CapturingOutput.hpp"
#include "Pointer.hpp"
#include "PointerRules.hpp"
#include "WireTestSupport.hpp"

namespace halcy {
namespace {

struct FakeElement final : PointerElementRef {
  explicit FakeElement(std::string name) : name(std::move(name)) {}
  std::string name;
};

std::string nameOf(const PointerHost::Element& element) {
  return std::static_pointer_cast<FakeElement>(element)->name;
}

AXDescription described(const std::string& name, std::string role = "AXButton") {
  AXDescription description;
  description.role = std::move(role);
  description.title = name;
  description.value = name + " value";
  description.frame = ScreenRect{1, 2, 3, 4};
  return description;
}

// A desktop in memory: windows front to back, elements by name with their parents and files.
class FakePointerHost final : public PointerHost {
 public:
  struct State {
    Location location{12.5, 30};
    std::int64_t buttons = 1;
    bool secure = false;
    bool trusted = true;
    std::vector<WindowFact> windows;
    std::map<std::int64_t, FrontApp> apps;
    // What a hit answers, by the pid asked (0 for the whole desktop).
    std::map<std::int64_t, std::pair<std::int64_t, std::string>> hits;
    std::map<std::string, AXDescription> descriptions;
    std::map<std::string, std::string> parents;
    std::map<std::string, std::string> files;
    std::vector<std::string> selection;
    std::vector<std::string> calls;
    std::vector<std::optional<std::int64_t>> hitPids;
    std::vector<InputWatch> started;
    InputHandler input;
  };

  explicit FakePointerHost(std::shared_ptr<State> state) : state_(std::move(state)) {}

  Location location() override { return called("location"), state_->location; }
  std::int64_t buttons() override { return called("buttons"), state_->buttons; }
  bool secureInput() override { return called("secureInput"), state_->secure; }
  bool trusted() override { return called("trusted"), state_->trusted; }
  std::vector<WindowFact> windows() override { return called("windows"), state_->windows; }
  std::optional<FrontApp> app(std::int64_t pid) override {
    called("app");
    auto found = state_->apps.find(pid);
    if (found == state_->apps.end()) return std::nullopt;
    return found->second;
  }
  std::optional<Hit> hit(double, double, std::optional<std::int64_t> pid) override {
    called("hit");
    state_->hitPids.push_back(pid);
    auto found = state_->hits.find(pid.value_or(0));
    if (found == state_->hits.end()) return std::nullopt;
    return Hit{found->second.first, element(found->second.second)};
  }
  AXDescription describe(const Element& element) override {
    called("describe " + nameOf(element));
    return state_->descriptions[nameOf(element)];
  }
  Element parent(const Element& element) override {
    called("parent " + nameOf(element));
    auto found = state_->parents.find(nameOf(element));
    return found == state_->parents.end() ? nullptr : this->element(found->second);
  }
  std::optional<std::string> file(const Element& element) override {
    called("file " + nameOf(element));
    auto found = state_->files.find(nameOf(element));
    if (found == state_->files.end()) return std::nullopt;
    return found->second;
  }
  std::vector<std::string> selectedPaths(std::int64_t pid, std::size_t max) override {
    called("selectedPaths " + std::to_string(pid) + " " + std::to_string(max));
    return state_->selection;
  }
  void startInput(const InputWatch& watch, InputHandler handler) override {
    called("startInput");
    state_->started.push_back(watch);
    state_->input = std::move(handler);
  }
  void stopInput() override { called("stopInput"); }

 private:
  static Element element(std::string name) {
    return std::make_shared<FakeElement>(std::move(name));
  }
  void called(std::string name) { state_->calls.push_back(std::move(name)); }
  std::shared_ptr<State> state_;
};

constexpr std::int64_t halcyPid = 500;
constexpr std::int64_t editorPid = 42;
constexpr std::int64_t panelPid = 77;

WindowFact window(std::int64_t pid, ScreenRect bounds, std::int64_t layer = 0) {
  return WindowFact{pid, "w" + std::to_string(pid), layer, true, bounds};
}

struct Pointer {
  std::shared_ptr<FakePointerHost::State> state = std::make_shared<FakePointerHost::State>();
  CapturingOutput output;
  double now = 9.5;
  std::shared_ptr<PointerController> controller = std::make_shared<PointerController>(
      std::make_unique<FakePointerHost>(state), output, [this] { return now; });

  Pointer() {
    // The caller's overlay on top of a panel (layer 3) on top of the editor.
    state->windows = {window(halcyPid, {0, 0, 100, 100}, 3), window(panelPid, {0, 0, 50, 50}, 3),
                      window(editorPid, {0, 0, 800, 600})};
    state->apps[editorPid] = FrontApp{editorPid, "org.example.Editor", "Editor"};
    state->hits[0] = {editorPid, "button"};
    state->hits[editorPid] = {editorPid, "button"};
    state->descriptions["button"] = described("button");
    state->descriptions["row"] = described("row", "AXRow");
    state->parents["button"] = "row";
  }

  PointerElement element(double x, double y, bool beneathHalcy,
                         std::vector<std::int64_t> excludePids = {halcyPid},
                         std::vector<std::string> neverLook = {},
                         std::vector<std::string> selectionOf = {}) {
    return controller->element(
        {x, y, std::move(excludePids), beneathHalcy, std::move(neverLook), std::move(selectionOf)});
  }
  int count(const std::string& call) {
    return static_cast<int>(std::count(state->calls.begin(), state->calls.end(), call));
  }
  std::vector<std::string> lines() { return output.lines(); }
};

FrontApp editor() {
  return FrontApp{editorPid, "org.example.Editor", "Editor"};
}

// --- records and rules ---------------------------------------------------------------------

TEST(PointerRecords, EncodeEveryKeyInOrder) {
  AXDescription secure = described("pin", "AXTextField");
  secure.subrole = "AXSecureTextField";
  PointerElement full{editor(), described("b"), AXDescription{}, "/tmp/a", {"/tmp/a", "/tmp/b"}};
  const std::vector<std::pair<Json, std::string>> cases = {
      {PointerState{1.5, -2, 3, true, 4}.toJson(),
       R"({"x":1.5,"y":-2.0,"buttons":3,"secureInput":true,"at":4.0})"},
      {PointerElement::nothing().toJson(),
       R"({"app":null,"element":null,"parent":null,"filePath":null,"selectedPaths":[]})"},
      {PointerElement::only(FrontApp{3, std::nullopt, std::nullopt}).toJson(),
       R"({"app":{"pid":3,"bundleId":null,"name":null},"element":null,"parent":null,)"
       R"("filePath":null,"selectedPaths":[]})"},
      {full.toJson(),
       R"({"app":{"pid":42,"bundleId":"org.example.Editor","name":"Editor"},)"
       R"("element":{"role":"AXButton","subrole":null,"roleDescription":null,"title":"b",)"
       R"("description":null,"help":null,"value":"b value",)"
       R"("frame":{"x":1.0,"y":2.0,"width":3.0,"height":4.0}},)"
       R"("parent":{"role":null,"subrole":null,"roleDescription":null,"title":null,)"
       R"("description":null,"help":null,"value":null,"frame":null},)"
       R"("filePath":"/tmp/a","selectedPaths":["/tmp/a","/tmp/b"]})"},
      {secure.redacted().toJson(),
       R"({"role":"AXTextField","subrole":"AXSecureTextField","roleDescription":null,)"
       R"("title":"pin","description":null,"help":null,"value":null,)"
       R"("frame":{"x":1.0,"y":2.0,"width":3.0,"height":4.0}})"},
      {InputWatching{PointerReport::drags, true, false, true, 2}.toJson(),
       R"({"pointer":"drags","keys":true,"moves":false,"scroll":true,"at":2.0})"},
      {InputEvent{RawInput::press(PointerButton::left, 1, 2, 3), true}.toJson(),
       R"({"type":"press","button":"left","x":1.0,"y":2.0,"overHalcy":true,"at":3.0})"},
      {InputEvent{RawInput::release(PointerButton::right, 1, 2, 3), false}.toJson(),
       R"({"type":"release","button":"right","x":1.0,"y":2.0,"overHalcy":false,"at":3.0})"},
      {InputEvent{RawInput::drag(1, 2, 3)}.toJson(), R"({"type":"drag","x":1.0,"y":2.0,"at":3.0})"},
      {InputEvent{RawInput::move(1, 2, 3)}.toJson(), R"({"type":"move","x":1.0,"y":2.0,"at":3.0})"},
      {InputEvent{RawInput::scroll(1, 2, 0, -10, 3)}.toJson(),
       R"({"type":"scroll","x":1.0,"y":2.0,"dx":0.0,"dy":-10.0,"at":3.0})"},
      {InputEvent{RawInput::key(9, 3)}.toJson(), R"({"type":"key","keyCode":9,"at":3.0})"},
  };
  for (const auto& [encoded, expected] : cases) EXPECT_EQ(encoded.dump(), expected);
}

TEST(PointerRules, WindowsDecideFrontToBackWithEdgesIncluded) {
  const std::vector<WindowFact> windows = {
      window(halcyPid, {0, 0, 100, 100}, 3), window(panelPid, {0, 0, 200, 200}, 3),
      window(editorPid, {0, 0, 800, 600}), window(editorPid + 1, {0, 0, 1000, 1000})};
  struct Case {
    const char* name;
    double x, y;
    std::vector<std::int64_t> excluding;
    std::optional<std::int64_t> beneath;
    bool overHalcy;
    std::optional<std::int64_t> deciding;
  };
  const std::vector<Case> cases = {
      {"over the caller", 50, 50, {halcyPid}, editorPid, true, halcyPid},
      {"right edge of the caller", 100, 100, {halcyPid}, editorPid, true, halcyPid},
      {"just past the caller, over the panel", 100.5, 100, {halcyPid}, editorPid, false, editorPid},
      {"nobody excluded", 50, 50, {}, editorPid, false, editorPid},
      {"editor excluded too", 50, 50, {halcyPid, editorPid}, editorPid + 1, true, halcyPid},
      {"only the big window", 900, 900, {halcyPid}, editorPid + 1, false, editorPid + 1},
      {"outside every window", 1000.5, 10, {halcyPid}, std::nullopt, false, std::nullopt},
      {"negative coordinates", -1, 10, {}, std::nullopt, false, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PointerRules::ownerBeneath(c.x, c.y, windows, c.excluding), c.beneath) << c.name;
    EXPECT_EQ(PointerRules::overHalcy(c.x, c.y, windows, c.excluding), c.overHalcy) << c.name;
    auto deciding = PointerRules::deciding(c.x, c.y, windows, c.excluding);
    EXPECT_EQ(deciding ? std::optional<std::int64_t>(deciding->pid) : std::nullopt, c.deciding)
        << c.name;
  }
}

TEST(PointerRules, MovesAreThinnedByEventTime) {
  struct Case {
    const char* name;
    std::vector<double> times;
    std::vector<double> kept;
  };
  const std::vector<Case> cases = {
      {"ten milliseconds apart", {0.000, 0.010, 0.040, 0.050}, {0.000, 0.040}},
      {"exactly the interval", {1.0, 1.033, 1.066}, {1.0, 1.033, 1.066}},
      {"dropped moves do not push the next one back", {0, 0.02, 0.03, 0.034}, {0, 0.034}},
      {"the clock went back", {5.0, 4.0, 4.01}, {5.0, 4.0}},
  };
  for (const Case& c : cases) {
    std::optional<double> last;
    std::vector<double> kept;
    for (double at : c.times) {
      if (PointerRules::keepsMove(at, last)) {
        kept.push_back(at);
        last = at;
      }
    }
    EXPECT_EQ(kept, c.kept) << c.name;
  }
}

// --- read and element -----------------------------------------------------------------------

TEST(PointerController, ReadAsksLocationButtonsAndSecureInputInOrder) {
  Pointer pointer;
  pointer.state->secure = true;
  const PointerState state = pointer.controller->read();
  EXPECT_EQ(state.toJson().dump(),
            R"({"x":12.5,"y":30.0,"buttons":1,"secureInput":true,"at":9.5})");
  EXPECT_EQ(pointer.state->calls, (std::vector<std::string>{"location", "buttons", "secureInput"}));
}

TEST(PointerController, WithoutAccessibilityOnlyTheWindowListAnswers) {
  struct Case {
    const char* name;
    double x, y;
    bool beneathHalcy;
    std::vector<std::int64_t> excluding;
    std::optional<FrontApp> app;
  };
  const std::vector<Case> cases = {
      {"over the caller", 10, 10, false, {halcyPid}, std::nullopt},
      {"beneath the caller", 10, 10, true, {halcyPid}, editor()},
      {"raised windows of no excluded pid are looked past", 60, 60, false, {}, editor()},
      {"beside the caller", 300, 300, false, {halcyPid}, editor()},
      {"beneath, outside every window", 900, 10, true, {halcyPid}, std::nullopt},
  };
  for (const Case& c : cases) {
    Pointer pointer;
    pointer.state->trusted = false;
    pointer.state->windows.insert(pointer.state->windows.begin() + 2,
                                  window(panelPid, {55, 55, 10, 10}, 3));
    const PointerElement answer = pointer.element(c.x, c.y, c.beneathHalcy, c.excluding);
    EXPECT_EQ(answer.app, c.app) << c.name;
    EXPECT_EQ(answer.element, std::nullopt) << c.name;
    EXPECT_EQ(pointer.count("hit"), 0) << c.name;
  }
  // Over a window of no excluded pid on the ordinary layer the app is named by pid alone.
  Pointer unknown;
  unknown.state->trusted = false;
  unknown.state->windows = {window(9, {0, 0, 10, 10})};
  EXPECT_EQ(unknown.element(5, 5, false).app, (FrontApp{9, std::nullopt, std::nullopt}));
}

TEST(PointerController, TheCallersOwnWindowAnswersNothingUnlessAskedToLookBeneath) {
  Pointer pointer;
  pointer.state->hits[0] = {halcyPid, "overlay"};
  EXPECT_EQ(pointer.element(10, 10, false), PointerElement::nothing());
  EXPECT_EQ(pointer.state->hitPids.back(), std::nullopt);

  const PointerElement beneath = pointer.element(10, 10, true);
  EXPECT_EQ(pointer.state->hitPids.back(), editorPid);
  EXPECT_EQ(beneath.app, editor());
  EXPECT_EQ(beneath.element, described("button"));
  EXPECT_EQ(beneath.parent, described("row", "AXRow"));

  // Nothing ordinary beneath: no hit test at all.
  Pointer empty;
  empty.state->windows = {window(halcyPid, {0, 0, 100, 100}, 3)};
  EXPECT_EQ(empty.element(10, 10, true), PointerElement::nothing());
  EXPECT_EQ(empty.count("hit"), 0);
}

TEST(PointerController, AnUnknownApplicationIsNamedByItsPidAlone) {
  Pointer pointer;
  pointer.state->hits[0] = {31337, "button"};
  const PointerElement answer = pointer.element(300, 300, false);
  EXPECT_EQ(answer.app, (FrontApp{31337, std::nullopt, std::nullopt}));
  EXPECT_EQ(answer.element, described("button"));
}

TEST(PointerController, NeverLookAnswersTheAppOnlyAndSelectionsAreCapped) {
  struct Case {
    const char* name;
    std::vector<std::string> neverLook;
    std::vector<std::string> selectionOf;
    std::size_t selected;  // paths the host has
    std::size_t reported;
    bool described;
  };
  const std::vector<Case> cases = {
      {"never look wins over selection",
       {"org.example.Editor"},
       {"org.example.Editor"},
       3,
       0,
       false},
      {"another app never looked at", {"org.other"}, {}, 3, 0, true},
      {"selection asked", {}, {"org.other", "org.example.Editor"}, 3, 3, true},
      {"selection capped", {}, {"org.example.Editor"}, 25, 20, true},
  };
  for (const Case& c : cases) {
    Pointer pointer;
    for (std::size_t i = 0; i < c.selected; ++i) {
      pointer.state->selection.push_back("/f" + std::to_string(i));
    }
    const PointerElement answer =
        pointer.element(300, 300, false, {halcyPid}, c.neverLook, c.selectionOf);
    EXPECT_EQ(answer.app, editor()) << c.name;
    EXPECT_EQ(answer.selectedPaths.size(), c.reported) << c.name;
    EXPECT_EQ(answer.element.has_value(), c.described) << c.name;
    EXPECT_EQ(pointer.count("describe button"), c.described ? 1 : 0) << c.name;
    EXPECT_EQ(pointer.count("selectedPaths 42 20"), c.reported > 0 ? 1 : 0) << c.name;
  }
}

TEST(PointerController, SecureElementsAndParentsLoseTheirValues) {
  Pointer pointer;
  AXDescription field = described("pin", "AXTextField");
  field.subrole = "AXSecureTextField";
  AXDescription secureParent = described("box", "AXSecureTextField");
  pointer.state->descriptions["button"] = field;
  pointer.state->descriptions["row"] = secureParent;
  const PointerElement answer = pointer.element(300, 300, false);
  ASSERT_TRUE(answer.element && answer.parent);
  EXPECT_EQ(answer.element->value, std::nullopt);
  EXPECT_EQ(answer.element->title, "pin");
  EXPECT_EQ(answer.parent->value, std::nullopt);
}

TEST(PointerController, TheFilePathIsTheNearestOfTheElementAndThreeAncestors) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> parents;
    std::map<std::string, std::string> files;
    std::optional<std::string> expected;
    std::vector<std::string> asked;
  };
  const std::map<std::string, std::string> chain = {
      {"button", "row"}, {"row", "list"}, {"list", "pane"}, {"pane", "window"}};
  const std::vector<std::string> walk = {"button", "row", "list", "pane"};
  const std::vector<Case> cases = {
      {"the element itself", chain, {{"button", "/a"}, {"row", "/b"}}, "/a", {"button"}},
      {"the third ancestor", chain, {{"pane", "/p"}}, "/p", walk},
      {"the fourth ancestor is too far", chain, {{"window", "/w"}}, std::nullopt, walk},
      {"the walk ends at the top", {{"button", "row"}}, {}, std::nullopt, {"button", "row"}},
  };
  for (const Case& c : cases) {
    Pointer pointer;
    pointer.state->parents = c.parents;
    pointer.state->files = c.files;
    EXPECT_EQ(pointer.element(300, 300, false).filePath, c.expected) << c.name;
    std::vector<std::string> asked;
    for (const std::string& call : pointer.state->calls) {
      if (call.rfind("file ", 0) == 0) asked.push_back(call.substr(5));
    }
    EXPECT_EQ(asked, c.asked) << c.name;
  }
}

TEST(PointerController, AHitOfNothingOrOfAnExcludedPidAnswersNothing) {
  Pointer nothing;
  nothing.state->hits.clear();
  EXPECT_EQ(nothing.element(300, 300, false), PointerElement::nothing());
  Pointer excluded;
  EXPECT_EQ(excluded.element(300, 300, false, {editorPid}), PointerElement::nothing());
  EXPECT_EQ(excluded.count("describe button"), 0);
}

// --- input watching --------------------------------------------------------------------------

InputWatch watchOf(PointerReport pointer, bool keys, bool moves, bool scroll,
                   std::vector<std::int64_t> excludePids = {halcyPid}) {
  return InputWatch{pointer, keys, moves, scroll, std::move(excludePids)};
}

std::string inputLine(const RawInput& input, bool overHalcy = false) {
  return Frames::notice("input.event", InputEvent{input, overHalcy}.toJson());
}

TEST(PointerController, WatchReportsWhatItsSettingsAsk) {
  const std::vector<RawInput> inputs = {
      RawInput::press(PointerButton::left, 300, 300, 1.00),
      RawInput::drag(301, 300, 1.01),
      RawInput::release(PointerButton::left, 302, 300, 1.02),
      RawInput::move(303, 300, 1.03),
      RawInput::scroll(303, 300, 0, 10, 1.04),
      RawInput::key(9, 1.05),
      RawInput::press(PointerButton::right, 10, 10, 1.06),
  };
  struct Case {
    const char* name;
    InputWatch watch;
    std::vector<std::size_t> reported;  // indexes into inputs
  };
  const std::vector<Case> cases = {
      {"clicks", watchOf(PointerReport::clicks, false, false, false), {0, 2, 6}},
      {"drags", watchOf(PointerReport::drags, false, false, false), {0, 1, 2, 6}},
      {"moves", watchOf(PointerReport::none, false, true, false), {3}},
      {"scroll", watchOf(PointerReport::none, false, false, true), {4}},
      {"keys", watchOf(PointerReport::none, true, false, false), {5}},
      {"everything", watchOf(PointerReport::drags, true, true, true), {0, 1, 2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    Pointer pointer;
    const InputWatching answer = pointer.controller->watch(c.watch);
    EXPECT_EQ(answer.toJson().dump(),
              (InputWatching{c.watch.pointer, c.watch.keys, c.watch.moves, c.watch.scroll, 9.5}
                   .toJson()
                   .dump()))
        << c.name;
    for (const RawInput& input : inputs) pointer.state->input(input);
    std::vector<std::string> expected;
    for (std::size_t index : c.reported) {
      // The right press at (10, 10) lands on the caller's own window.
      expected.push_back(inputLine(inputs[index], index == 6));
    }
    EXPECT_EQ(pointer.lines(), expected) << c.name;
  }
}

TEST(PointerController, TheWindowListIsReadForPressesAndReleasesOnly) {
  Pointer pointer;
  pointer.controller->watch(watchOf(PointerReport::drags, true, true, true));
  const int before = pointer.count("windows");
  pointer.state->input(RawInput::move(1, 1, 1.0));
  pointer.state->input(RawInput::drag(1, 1, 1.1));
  pointer.state->input(RawInput::scroll(1, 1, 1, 0, 1.2));
  pointer.state->input(RawInput::key(1, 1.3));
  EXPECT_EQ(pointer.count("windows"), before);
  pointer.state->input(RawInput::press(PointerButton::left, 1, 1, 1.4));
  pointer.state->input(RawInput::release(PointerButton::left, 1, 1, 1.5));
  EXPECT_EQ(pointer.count("windows"), before + 2);
}

TEST(PointerController, EachWatchReplacesTheLastAndResetsTheMoveThrottle) {
  Pointer pointer;
  pointer.controller->watch(watchOf(PointerReport::none, false, true, false));
  pointer.state->input(RawInput::move(1, 1, 1.000));
  pointer.controller->watch(watchOf(PointerReport::none, false, true, false));
  pointer.state->input(RawInput::move(2, 2, 1.010));  // would be thinned without the reset
  EXPECT_EQ(pointer.lines(), (std::vector<std::string>{inputLine(RawInput::move(1, 1, 1.0)),
                                                       inputLine(RawInput::move(2, 2, 1.01))}));
  EXPECT_EQ(pointer.count("startInput"), 2);
  EXPECT_EQ(pointer.count("stopInput"), 0);
}

TEST(PointerController, AWatchOfNothingStopsAndOnlyAnActiveWatchIsStopped) {
  Pointer idle;
  const InputWatching answer =
      idle.controller->watch(watchOf(PointerReport::none, false, false, false));
  EXPECT_EQ(answer.toJson().dump(),
            R"({"pointer":"none","keys":false,"moves":false,"scroll":false,"at":9.5})");
  EXPECT_TRUE(idle.state->calls.empty());

  Pointer pointer;
  pointer.controller->watch(watchOf(PointerReport::clicks, false, false, false));
  auto late = pointer.state->input;
  pointer.controller->watch(watchOf(PointerReport::none, false, false, false));
  EXPECT_EQ(pointer.count("stopInput"), 1);
  late(RawInput::press(PointerButton::left, 1, 1, 1.0));  // queued before the stop took effect
  EXPECT_TRUE(pointer.lines().empty());
}

TEST(PointerController, ShutdownStopsAnActiveWatchAndLateEventsAreDropped) {
  Pointer idle;
  idle.controller->shutdown();
  EXPECT_EQ(idle.count("stopInput"), 0);

  Pointer pointer;
  pointer.controller->watch(watchOf(PointerReport::clicks, true, true, true));
  auto late = pointer.state->input;
  pointer.controller->shutdown();
  EXPECT_EQ(pointer.count("stopInput"), 1);
  late(RawInput::key(1, 1.0));
  pointer.controller.reset();
  late(RawInput::key(2, 1.1));
  EXPECT_TRUE(pointer.lines().empty());
}

}  // namespace
}  // namespace halcy
