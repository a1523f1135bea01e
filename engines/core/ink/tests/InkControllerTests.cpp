#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Ink.hpp"

namespace halcy {
namespace {

constexpr std::uint32_t red = 0xE01010;
const DisplayFact mainDisplay{5, 800, 600, {0, 0, 800, 600}};
const DisplayFact sideDisplay{9, 400, 300, {800, 0, 400, 300}};

Picture flat(std::int32_t width, std::int32_t height, std::uint32_t rgb) {
  Picture picture = Picture::blank(width, height);
  picture.fill(0, 0, width, height, rgb);
  return picture;
}

// A desktop in memory: two displays whose pictures are flat red, and a record of what was asked.
struct FakeDesktop {
  bool captureAllowed = true;
  DisplayList displays{{mainDisplay, sideDisplay}, 5};
  std::optional<Picture> picture;  // none: a picture of the display asked for
  std::chrono::milliseconds captureTakes{0};
  std::vector<InkWords> words;

  std::mutex lock;  // requests may come at once
  std::vector<std::string> calls;
  std::optional<DisplayFact> captured;
  HidesWindow hides;
  std::optional<Picture> readFrom;
};

class FakeInkHost final : public InkHost {
 public:
  explicit FakeInkHost(std::shared_ptr<FakeDesktop> desktop) : d_(std::move(desktop)) {}
  bool captureAllowed() override { return note("captureAllowed"), d_->captureAllowed; }
  DisplayList displays() override { return note("displays"), d_->displays; }
  std::optional<Picture> capture(const DisplayFact& display, const HidesWindow& hides) override {
    note("capture");
    {
      std::lock_guard guard(d_->lock);
      d_->captured = display;
      d_->hides = hides;
    }
    std::this_thread::sleep_for(d_->captureTakes);
    if (d_->picture) return d_->picture;
    return flat(static_cast<std::int32_t>(display.width), static_cast<std::int32_t>(display.height),
                red);
  }
  std::vector<InkWords> readText(const Picture& picture) override {
    note("readText");
    std::lock_guard guard(d_->lock);
    d_->readFrom = picture;
    return d_->words;
  }

 private:
  void note(const char* call) {
    std::lock_guard guard(d_->lock);
    d_->calls.emplace_back(call);
  }
  std::shared_ptr<FakeDesktop> d_;
};

struct InkFixture {
  // Generous, so that a slow machine's captures are in time, unless a test is about the deadline.
  explicit InkFixture(double deadline = 10)
      : ink(std::make_unique<FakeInkHost>(desktop), deadline) {}

  std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
  InkController ink;

  InkCaptured capture(double x = 10, double y = 10, bool meeting = false) {
    return ink.capture({x, y, {}, {}}, meeting);
  }
};

InkComposeMark region(std::int64_t n, ScreenRect focus, std::vector<ScreenPoint> line = {}) {
  InkComposeMark mark;
  mark.n = n;
  mark.focus = focus;
  mark.line = std::move(line);
  return mark;
}

InkCompose composeOf(std::vector<InkPiece> pieces, std::vector<InkComposeMark> marks,
                     std::optional<std::int64_t> context = std::nullopt, bool readText = false) {
  return {std::move(pieces), std::move(marks), context, readText};
}

TEST(InkController, CaptureRefusalsComeInOrderBeforeAnyPicture) {
  struct Case {
    const char* name;
    bool meeting;
    bool allowed;
    std::vector<DisplayFact> displays;
    EngineFailure expected;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"a meeting holds the stream",
       true,
       false,
       {},
       EngineFailure(ErrorCode::busy, "A meeting's capture holds the screen."),
       {}},
      {"no permission",
       false,
       false,
       {mainDisplay},
       EngineFailure(ErrorCode::notPermitted, "Screen Recording is not granted."),
       {"captureAllowed"}},
      {"no display",
       false,
       true,
       {},
       EngineFailure(ErrorCode::failed, "No display to capture."),
       {"captureAllowed", "displays"}},
  };
  for (const Case& c : cases) {
    InkFixture fixture;
    fixture.desktop->captureAllowed = c.allowed;
    fixture.desktop->displays.all = c.displays;
    try {
      fixture.capture(10, 10, c.meeting);
      ADD_FAILURE() << c.name << ": no failure";
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure, c.expected) << c.name;
    }
    EXPECT_EQ(fixture.desktop->calls, c.calls) << c.name;
    EXPECT_TRUE(fixture.ink.held().empty()) << c.name;
  }
}

TEST(InkController, APictureThatDoesNotArriveIsAFailure) {
  const EngineFailure none(ErrorCode::failed, "No picture of the screen arrived.");
  {
    InkFixture fixture;
    fixture.desktop->picture = Picture{};
    EXPECT_THROW(fixture.capture(), EngineFailure);
  }
  InkFixture slow(0.2);
  slow.desktop->captureTakes = std::chrono::milliseconds(600);
  const auto started = std::chrono::steady_clock::now();
  try {
    slow.capture();
    ADD_FAILURE() << "a late picture was taken";
  } catch (const EngineFailure& failure) {
    EXPECT_EQ(failure, none);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(550));
  EXPECT_TRUE(slow.ink.held().empty());
  // The abandoned capture still holds the host when it ends.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
}

TEST(InkController, CapturesTheDisplayUnderThePointLeavingOutTheRequestsWindows) {
  InkFixture fixture;
  const InkCaptured side = fixture.ink.capture({900, 100, {77}, {"org.secret"}}, false);
  EXPECT_EQ(side.capture, 1);
  EXPECT_EQ(side.display, sideDisplay.bounds);
  EXPECT_EQ(side.toJson(), Json::parse(R"({"capture":1,
      "display":{"x":800.0,"y":0.0,"width":400.0,"height":300.0},"pixels":{"width":400,"height":300}})"));
  EXPECT_EQ(fixture.desktop->captured, sideDisplay);
  ASSERT_TRUE(fixture.desktop->hides);
  EXPECT_TRUE(fixture.desktop->hides(77, std::nullopt));
  EXPECT_TRUE(fixture.desktop->hides(12, "org.secret"));
  EXPECT_FALSE(fixture.desktop->hides(12, "org.public"));
  const InkCaptured nowhere = fixture.capture(-5000, 0);
  EXPECT_EQ(nowhere.capture, 2);
  EXPECT_EQ(nowhere.display, mainDisplay.bounds);
  EXPECT_FALSE(fixture.desktop->hides) << "nothing to leave out: no question per window";
}

TEST(InkController, HandlesCountUpAndTheNinthCaptureDropsTheFirst) {
  InkFixture fixture;
  for (int i = 0; i < 9; ++i) fixture.capture();
  EXPECT_EQ(fixture.ink.held(), (std::vector<std::int64_t>{2, 3, 4, 5, 6, 7, 8, 9}));
  const InkComposed gone =
      fixture.ink.compose(composeOf({{1, {0, 0, 100, 100}, {1}}}, {region(1, {10, 10, 5, 5})}, 1));
  EXPECT_EQ(gone.toJson(),
            Json::parse(R"({"image":null,"rects":[],"ends":[],"text":[],"context":null})"));
  EXPECT_TRUE(fixture.ink.compose(composeOf({{2, {0, 0, 100, 100}, {}}}, {})).image);

  fixture.ink.release({{3, 5, 99, 0}});
  EXPECT_EQ(fixture.ink.held(), (std::vector<std::int64_t>{2, 4, 6, 7, 8, 9}));
  EXPECT_EQ(fixture.capture().capture, 10) << "handles are never reused";
}

TEST(InkController, ComposeAnswersGeometryInRequestOrderAndTheContextOfAHeldCapture) {
  InkFixture fixture;
  const std::int64_t first = fixture.capture().capture;
  const std::int64_t second = fixture.capture().capture;
  fixture.ink.release({{second}});
  InkComposeMark arrow = region(4, {20, 20, 10, 10}, {{20, 20}, {30, 30}});
  arrow.kind = InkKind::arrow;
  arrow.to = ScreenPoint{30, 30};
  const InkComposeMark unlisted = region(2, {50, 50, 10, 10});
  const InkComposeMark plain = region(1, {0, 0, 40, 40});
  const auto request = [&](std::optional<std::int64_t> context) {
    return composeOf({{first, {10, 10, 100, 100}, {1, 4}}}, {arrow, unlisted, plain}, context);
  };
  const InkComposed composed = fixture.ink.compose(request(first));
  ASSERT_TRUE(composed.image);
  ASSERT_TRUE(composed.context);
  const Json json = composed.toJson();
  EXPECT_EQ(json["rects"],
            Json::parse(R"([{"n":4,"rect":{"x":10.0,"y":10.0,"width":10.0,"height":10.0}},
                                          {"n":1,"rect":{"x":-10.0,"y":-10.0,"width":40.0,"height":40.0}}])"));
  EXPECT_EQ(json["ends"], Json::parse(R"([{"n":4,"from":null,"to":{"x":20.0,"y":20.0}},
                                         {"n":1,"from":null,"to":null}])"));
  EXPECT_EQ(json["text"], Json::array());
  EXPECT_EQ(fixture.ink.compose(request(second)).context, std::nullopt) << "a released context";
  EXPECT_TRUE(fixture.ink.compose(request(second)).image);
  EXPECT_EQ(std::count(fixture.desktop->calls.begin(), fixture.desktop->calls.end(), "readText"),
            0);
}

TEST(InkController, TextIsReadFromThePictureBeforeItsMarksAndGivenToTheMarks) {
  InkFixture fixture;
  const std::int64_t handle = fixture.capture().capture;
  // The composite is 200 x 100: the piece's rectangle at one pixel a point.
  fixture.desktop->words = {{"Apples", {0.05, 0.7, 0.2, 0.1}},  // centre 30, 25
                            {"Pears", {0.55, 0.7, 0.2, 0.1}}};  // centre 130, 25
  const InkComposeMark underlined = region(1, {0, 0, 100, 50}, {{10, 40}, {90, 40}});
  const InkComposeMark empty = region(2, {100, 50, 100, 50});
  const InkComposed composed = fixture.ink.compose(
      composeOf({{handle, {0, 0, 200, 100}, {1, 2}}}, {underlined, empty}, std::nullopt, true));
  EXPECT_EQ(composed.toJson()["text"], Json::parse(R"([{"n":1,"text":"Apples"}])"));
  ASSERT_TRUE(fixture.desktop->readFrom);
  EXPECT_EQ(fixture.desktop->readFrom->width, 200);
  EXPECT_EQ(fixture.desktop->readFrom->pixel(50, 40), red)
      << "the underline is not in the text's way";
}

TEST(InkController, CapturesComposesAndReleasesMayOverlap) {
  InkFixture fixture;
  std::vector<std::thread> requests;
  for (int worker = 0; worker < 3; ++worker) {
    requests.emplace_back([&fixture] {
      for (int round = 0; round < 12; ++round) {
        const std::int64_t handle = fixture.capture().capture;
        const auto marks =
            std::vector<InkComposeMark>{region(1, {10, 10, 30, 30}, {{5, 5}, {60, 60}})};
        EXPECT_TRUE(
            fixture.ink.compose(composeOf({{handle, {0, 0, 200, 100}, {1}}}, marks, handle, true))
                .image);
        fixture.ink.release({{handle}});
      }
    });
  }
  for (std::thread& request : requests) request.join();
  EXPECT_LE(fixture.ink.held().size(), InkLimits::capturesKept);
}

}  // namespace
}  // namespace halcy
