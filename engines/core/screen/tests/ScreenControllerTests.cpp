#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FailureOf.hpp"
#include "Screen.hpp"

namespace halcy {
namespace {

const FrontApp publicApp{42, "org.public.App", "Public"};
const DisplayFact mainDisplay{5, 1920, 1080, {0, 0, 1920, 1080}};
const DisplayFact sideDisplay{9, 1280, 1024, {1920, 0, 1280, 1024}};

// A desktop in memory: two displays, one application, and a record of what was asked.
struct FakeDesktop {
  bool trusted = true;
  bool captureAllowed = true;
  std::vector<FrontApp> apps = {publicApp};
  WindowText text{"Window title", "Some window text"};
  StructureFacts structure{"Title", std::nullopt, {"field"}, std::nullopt};
  std::vector<WindowFact> windows = {{42, "w", 0, true, {2000, 10, 300, 200}}};
  DisplayList displays{{mainDisplay, sideDisplay}, 5};
  std::optional<HostPicture> picture = HostPicture{"anBlZw==", 1568, 882};
  std::optional<HostRegion> region =
      HostRegion{"anBlZw==", 100, 50, std::vector<std::uint8_t>(72, 9)};
  std::chrono::milliseconds captureTakes{0};

  std::vector<std::string> calls;
  std::optional<DisplayFact> capturedDisplay;
  std::optional<PixelSize> capturedSize;
  std::optional<ScreenRect> capturedRect;
  HidesWindow hides;
};

class FakeScreenHost final : public ScreenHost {
 public:
  explicit FakeScreenHost(std::shared_ptr<FakeDesktop> desktop) : d_(std::move(desktop)) {}
  bool trusted() override { return note("trusted"), d_->trusted; }
  bool captureAllowed() override { return note("captureAllowed"), d_->captureAllowed; }
  std::optional<FrontApp> app(std::int64_t pid) override {
    note("app");
    for (const FrontApp& app : d_->apps) {
      if (app.pid == pid) return app;
    }
    return std::nullopt;
  }
  WindowText windowText(std::int64_t, std::int64_t) override {
    return note("windowText"), d_->text;
  }
  StructureFacts structure(std::int64_t) override { return note("structure"), d_->structure; }
  std::vector<WindowFact> windows() override { return note("windows"), d_->windows; }
  DisplayList displays() override { return note("displays"), d_->displays; }
  std::optional<HostPicture> capture(const DisplayFact& display, PixelSize size, double,
                                     const HidesWindow& hides) override {
    note("capture");
    d_->capturedDisplay = display;
    d_->capturedSize = size;
    d_->hides = hides;
    std::this_thread::sleep_for(d_->captureTakes);
    return d_->picture;
  }
  std::optional<HostRegion> captureRegion(const DisplayFact& display, const ScreenRect& rect,
                                          double, const HidesWindow& hides) override {
    note("captureRegion");
    d_->capturedDisplay = display;
    d_->capturedRect = rect;
    d_->hides = hides;
    std::this_thread::sleep_for(d_->captureTakes);
    return d_->region;
  }

 private:
  void note(const char* call) { d_->calls.emplace_back(call); }
  std::shared_ptr<FakeDesktop> d_;
};

class ScreenControllerTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
  ScreenController controller{std::make_unique<FakeScreenHost>(desktop), 0.2};

  static ScreenCapture captureOf(std::optional<std::int64_t> pid) {
    return ScreenCapture{pid, {77}, {"org.secret.App"}, 1568, 0.8};
  }
  static ScreenRegion regionOf(ScreenRect rect) {
    return ScreenRegion{rect, {77}, {"org.secret.App"}, 0.8};
  }
};

TEST_F(ScreenControllerTest, ReadAnswersTheWindowTextCutToMaxChars) {
  desktop->text.text = "👩‍👩‍👧é and more";
  const ScreenText text = controller.read({42, 2, {}});
  EXPECT_EQ(text, (ScreenText{publicApp, "Window title", "👩‍👩‍👧é", false}));
}

TEST_F(ScreenControllerTest, ReadIsGatedWithoutReadingAndEmptyWithoutTrust) {
  EXPECT_EQ(controller.read({42, 100, {"org.public.App"}}),
            (ScreenText{publicApp, std::nullopt, "", true}));
  desktop->trusted = false;
  EXPECT_EQ(controller.read({42, 100, {}}), (ScreenText{publicApp, std::nullopt, "", false}));
  EXPECT_EQ(std::count(desktop->calls.begin(), desktop->calls.end(), "windowText"), 0);
  EXPECT_EQ(failureOf([&] {
              controller.read({43, 100, {}});
            }),
            EngineFailure(ErrorCode::unavailable, "No running app has that pid."));
}

TEST_F(ScreenControllerTest, CaptureFailuresInTheirOrder) {
  struct Case {
    const char* name;
    std::function<void(FakeDesktop&)> arrange;
    std::optional<std::int64_t> pid;
    bool meeting;
    ErrorCode code;
    std::string message;
  };
  const Case cases[] = {
      {"meeting", [](FakeDesktop& d) { d.captureAllowed = false; }, 43, true, ErrorCode::busy,
       "A meeting's capture holds the screen."},
      {"no app", [](FakeDesktop& d) { d.captureAllowed = false; }, 43, false,
       ErrorCode::unavailable, "No running app has that pid."},
      {"not granted", [](FakeDesktop& d) { d.captureAllowed = false; }, 42, false,
       ErrorCode::notPermitted, "Screen Recording is not granted."},
      {"no display", [](FakeDesktop& d) { d.displays = {}; }, std::nullopt, false,
       ErrorCode::failed, "No display to capture."},
      {"no size",
       [](FakeDesktop& d) {
         d.displays.all = {{5, 0, 0, {0, 0, 0, 0}}};
       },
       std::nullopt, false, ErrorCode::failed, "No display to capture."},
      {"no picture", [](FakeDesktop& d) { d.picture.reset(); }, std::nullopt, false,
       ErrorCode::failed, "No picture of the screen arrived."},
      {"empty jpeg", [](FakeDesktop& d) { d.picture->jpeg.clear(); }, std::nullopt, false,
       ErrorCode::failed, "No picture of the screen arrived."},
      {"no width", [](FakeDesktop& d) { d.picture->width = 0; }, std::nullopt, false,
       ErrorCode::failed, "No picture of the screen arrived."},
      {"too slow", [](FakeDesktop& d) { d.captureTakes = std::chrono::milliseconds(600); },
       std::nullopt, false, ErrorCode::failed, "No picture of the screen arrived."},
  };
  for (const Case& c : cases) {
    auto fresh = std::make_shared<FakeDesktop>();
    c.arrange(*fresh);
    ScreenController screen(std::make_unique<FakeScreenHost>(fresh), 0.2);
    EXPECT_EQ(failureOf([&] { screen.capture(captureOf(c.pid), c.meeting); }),
              EngineFailure(c.code, c.message));
  }
}

TEST_F(ScreenControllerTest, CaptureShowsThePidsDisplayAtTheRuleSize) {
  const ScreenCaptured captured = controller.capture(captureOf(42), false);
  EXPECT_EQ(captured.jpeg, "anBlZw==");
  EXPECT_EQ(captured.display, sideDisplay.bounds);
  EXPECT_EQ(desktop->capturedSize, (PixelSize{1280, 1024}));
  EXPECT_EQ(
      captured.toJson().dump(),
      R"({"jpeg":"anBlZw==","width":1568,"height":882,"display":{"x":1920.0,"y":0.0,"width":1280.0,"height":1024.0}})");
  // The exclusion handed to the host is the request's.
  EXPECT_TRUE(desktop->hides(77, std::nullopt));
  EXPECT_TRUE(desktop->hides(5, "org.secret.App"));
  EXPECT_FALSE(desktop->hides(5, "org.public.App"));
}

TEST_F(ScreenControllerTest, CaptureWithoutPidTakesTheMainDisplayWithoutListingWindows) {
  controller.capture(captureOf(std::nullopt), false);
  EXPECT_EQ(desktop->capturedDisplay, mainDisplay);
  EXPECT_EQ(desktop->capturedSize, (PixelSize{1568, 882}));
  EXPECT_EQ(std::count(desktop->calls.begin(), desktop->calls.end(), "windows"), 0);
}

TEST_F(ScreenControllerTest, RegionIsClippedAndHashed) {
  desktop->region->gray[1] = 0;
  const ScreenRegionCaptured captured = controller.region(regionOf({1900, 0, 100, 50}), false);
  EXPECT_EQ(captured.rect, (ScreenRect{1920, 0, 80, 50})) << "most of it lies on the side display";
  EXPECT_EQ(desktop->capturedRect, captured.rect);
  EXPECT_EQ(captured.hash, "8000000000000000");
  EXPECT_EQ(
      captured.toJson().dump(),
      R"({"jpeg":"anBlZw==","width":100,"height":50,"rect":{"x":1920.0,"y":0.0,"width":80.0,"height":50.0},"hash":"8000000000000000"})");
}

TEST_F(ScreenControllerTest, RegionFailuresInTheirOrder) {
  struct Case {
    const char* name;
    std::function<void(FakeDesktop&)> arrange;
    ScreenRect rect;
    bool meeting;
    ErrorCode code;
    std::string message;
  };
  const ScreenRect onMain{10, 10, 100, 50};
  const Case cases[] = {
      {"meeting", [](FakeDesktop&) {}, onMain, true, ErrorCode::busy,
       "A meeting's capture holds the screen."},
      // An off-display rectangle is told before a missing permission.
      {"off display",
       [](FakeDesktop& d) { d.captureAllowed = false; },
       {-500, -500, 100, 50},
       false,
       ErrorCode::unavailable,
       "That region is on no display."},
      {"not granted", [](FakeDesktop& d) { d.captureAllowed = false; }, onMain, false,
       ErrorCode::notPermitted, "Screen Recording is not granted."},
      {"no picture", [](FakeDesktop& d) { d.region.reset(); }, onMain, false, ErrorCode::failed,
       "No picture of the region arrived."},
      {"no gray", [](FakeDesktop& d) { d.region->gray.pop_back(); }, onMain, false,
       ErrorCode::failed, "No picture of the region arrived."},
      {"no height", [](FakeDesktop& d) { d.region->height = 0; }, onMain, false, ErrorCode::failed,
       "No picture of the region arrived."},
      {"too slow", [](FakeDesktop& d) { d.captureTakes = std::chrono::milliseconds(600); }, onMain,
       false, ErrorCode::failed, "No picture of the region arrived."},
  };
  for (const Case& c : cases) {
    auto fresh = std::make_shared<FakeDesktop>();
    c.arrange(*fresh);
    ScreenController screen(std::make_unique<FakeScreenHost>(fresh), 0.2);
    EXPECT_EQ(failureOf([&] { screen.region(regionOf(c.rect), c.meeting); }),
              EngineFailure(c.code, c.message));
  }
}

TEST_F(ScreenControllerTest, StructureChecksTheRequestsBundleIdThenTrust) {
  EXPECT_EQ(controller.structure({42, "org.public.App", {}}), desktop->structure);
  // The identifier the caller names decides, whatever the pid's application is.
  EXPECT_EQ(controller.structure({42, "org.other.App", {"org.other.App"}}), StructureFacts::none());
  desktop->trusted = false;
  EXPECT_EQ(failureOf([&] {
              controller.structure({42, "org.public.App", {}});
            }),
            EngineFailure(ErrorCode::notPermitted, "Accessibility is not granted."));
  EXPECT_EQ(failureOf([&] {
              controller.structure({43, "org.public.App", {}});
            }),
            EngineFailure(ErrorCode::unavailable, "No running app has that pid."));
}

}  // namespace
}  // namespace halcy
