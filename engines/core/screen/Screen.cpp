#include "Screen.hpp"

#include <algorithm>

#include "Deadline.hpp"
#include "ScreenRules.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

EngineFailure noApp() {
  return EngineFailure(ErrorCode::unavailable, "No running app has that pid.");
}

EngineFailure meetingHoldsScreen() {
  return EngineFailure(ErrorCode::busy, "A meeting's capture holds the screen.");
}

EngineFailure notGranted() {
  return EngineFailure(ErrorCode::notPermitted, "Screen Recording is not granted.");
}

// No function at all when nothing is to be left out, so that a host need not ask about windows.
HidesWindow hidesFor(std::vector<std::int64_t> excluding, std::vector<std::string> neverLook) {
  if (excluding.empty() && neverLook.empty()) return {};
  return [excluding = std::move(excluding), neverLook = std::move(neverLook)](
             std::optional<std::int64_t> owner, const std::optional<std::string>& bundleId) {
    return ScreenRules::hides(owner, bundleId, excluding, neverLook);
  };
}

}  // namespace

ScreenController::ScreenController(std::unique_ptr<ScreenHost> host, double deadline)
    : host_(std::move(host)), deadline_(deadline) {}

ScreenText ScreenController::read(const ScreenRead& request) {
  const std::optional<FrontApp> app = host_->app(request.pid);
  if (!app) throw noApp();
  ScreenText answer{*app, std::nullopt, "", false};
  if (!ScreenRules::allows(app->bundleId, request.neverLook)) {
    answer.gated = true;
    return answer;
  }
  if (!host_->trusted()) return answer;
  WindowText read = host_->windowText(request.pid, request.maxChars);
  answer.windowTitle = std::move(read.title);
  answer.text = Graphemes::prefix(read.text, static_cast<std::size_t>(request.maxChars));
  return answer;
}

ScreenCaptured ScreenController::capture(const ScreenCapture& request, bool meetingRunning) {
  if (meetingRunning) throw meetingHoldsScreen();
  if (request.pid && !host_->app(*request.pid)) throw noApp();
  if (!host_->captureAllowed()) throw notGranted();
  const EngineFailure noDisplay(ErrorCode::failed, "No display to capture.");
  const DisplayList displays = host_->displays();
  const auto display = ScreenRules::target(
      request.pid, [&] { return host_->windows(); }, displays.all, displays.main);
  if (!display) throw noDisplay;
  const auto size = ScreenRules::size(display->width, display->height, request.longEdge);
  if (!size) throw noDisplay;
  auto picture = Deadline::first<HostPicture>(
      deadline_, [host = host_, chosen = *display, size = *size, quality = request.quality,
                  hides = hidesFor(request.excludePids, request.neverLook)] {
        return host->capture(chosen, size, quality, hides);
      });
  if (!picture || picture->jpeg.empty() || picture->width <= 0 || picture->height <= 0) {
    throw EngineFailure(ErrorCode::failed, "No picture of the screen arrived.");
  }
  return ScreenCaptured{std::move(picture->jpeg), picture->width, picture->height, display->bounds};
}

ScreenRegionCaptured ScreenController::region(const ScreenRegion& request, bool meetingRunning) {
  if (meetingRunning) throw meetingHoldsScreen();
  const auto found = ScreenRules::region(request.rect, host_->displays().all);
  if (!found) throw EngineFailure(ErrorCode::unavailable, "That region is on no display.");
  if (!host_->captureAllowed()) throw notGranted();
  const auto& [display, clipped] = *found;
  auto picture = Deadline::first<HostRegion>(
      deadline_, [host = host_, display = display, clipped = clipped, quality = request.quality,
                  hides = hidesFor(request.excludePids, request.neverLook)] {
        return host->captureRegion(display, clipped, quality, hides);
      });
  std::optional<std::string> hash;
  if (picture && picture->width >= 1 && picture->height >= 1 && !picture->jpeg.empty()) {
    hash = ScreenRules::dHash(picture->gray);
  }
  if (!hash) throw EngineFailure(ErrorCode::failed, "No picture of the region arrived.");
  return ScreenRegionCaptured{std::move(picture->jpeg), picture->width, picture->height, clipped,
                              std::move(*hash)};
}

StructureFacts ScreenController::structure(const StructureRead& request) {
  if (!host_->app(request.pid)) throw noApp();
  if (std::find(request.neverLook.begin(), request.neverLook.end(), request.bundleId) !=
      request.neverLook.end()) {
    return StructureFacts::none();
  }
  if (!host_->trusted()) {
    throw EngineFailure(ErrorCode::notPermitted, "Accessibility is not granted.");
  }
  return host_->structure(request.pid);
}

}  // namespace halcy
