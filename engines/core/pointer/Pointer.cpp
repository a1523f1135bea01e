#include "Pointer.hpp"

#include <algorithm>
#include <utility>

#include "PointerRules.hpp"

namespace halcy {

namespace {
template <class List, class Value>
bool holds(const List& list, const Value& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}
}  // namespace

PointerController::PointerController(std::unique_ptr<PointerHost> host, LineOutput& output,
                                     Clock clock)
    : host_(std::move(host)), output_(output), clock_(std::move(clock)) {}

PointerState PointerController::read() {
  const PointerHost::Location location = host_->location();
  const std::int64_t buttons = host_->buttons();
  const bool secure = host_->secureInput();
  return PointerState{location.x, location.y, buttons, secure, clock_()};
}

FrontApp PointerController::appOf(std::int64_t pid) {
  return host_->app(pid).value_or(FrontApp{pid, std::nullopt, std::nullopt});
}

PointerElement PointerController::fromWindows(const PointerElementRequest& request) {
  const std::vector<WindowFact> windows = host_->windows();
  if (request.beneathHalcy) {
    auto pid = PointerRules::ownerBeneath(request.x, request.y, windows, request.excludePids);
    if (!pid) return PointerElement::nothing();
    return PointerElement::only(appOf(*pid));
  }
  auto window = PointerRules::deciding(request.x, request.y, windows, request.excludePids);
  if (!window || holds(request.excludePids, window->pid)) return PointerElement::nothing();
  return PointerElement::only(appOf(window->pid));
}

PointerElement PointerController::element(const PointerElementRequest& request) {
  if (!host_->trusted()) return fromWindows(request);
  std::optional<std::int64_t> inside;
  if (request.beneathHalcy) {
    inside =
        PointerRules::ownerBeneath(request.x, request.y, host_->windows(), request.excludePids);
    if (!inside) return PointerElement::nothing();
  }
  auto hit = host_->hit(request.x, request.y, inside);
  if (!hit || holds(request.excludePids, hit->pid)) return PointerElement::nothing();
  PointerElement answer = PointerElement::only(appOf(hit->pid));
  const std::optional<std::string>& bundleId = answer.app->bundleId;
  if (bundleId && holds(request.neverLook, *bundleId)) return answer;
  if (bundleId && holds(request.selectionOf, *bundleId)) {
    answer.selectedPaths = host_->selectedPaths(hit->pid, PointerLimits::selectionMax);
    if (answer.selectedPaths.size() > PointerLimits::selectionMax) {
      answer.selectedPaths.resize(PointerLimits::selectionMax);
    }
  }
  answer.element = host_->describe(hit->element).redacted();
  if (auto parent = host_->parent(hit->element)) answer.parent = host_->describe(parent).redacted();
  answer.filePath = filePath(hit->element);
  return answer;
}

std::optional<std::string> PointerController::filePath(const PointerHost::Element& hit) {
  PointerHost::Element current = hit;
  for (std::size_t examined = 0; current && examined < PointerRules::fileDepth; ++examined) {
    if (auto path = host_->file(current)) return path;
    if (examined + 1 < PointerRules::fileDepth) current = host_->parent(current);
  }
  return std::nullopt;
}

InputWatching PointerController::watch(const InputWatch& request) {
  const bool stops = request.stops();
  bool wasWatching = false;
  {
    std::lock_guard guard(lock_);
    wasWatching = watching_.has_value();
    watching_ = stops ? std::nullopt : std::optional<InputWatch>(request);
    lastMove_.reset();
  }
  if (!stops) {
    std::weak_ptr<PointerController> weak = weak_from_this();
    host_->startInput(request, [weak](const RawInput& input) {
      if (auto alive = weak.lock()) alive->heard(input);
    });
  } else if (wasWatching) {
    host_->stopInput();
  }
  return InputWatching{request.pointer, request.keys, request.moves, request.scroll, clock_()};
}

bool PointerController::reports(const InputWatch& watch, const RawInput& input) {
  switch (input.kind) {
    case RawInput::Kind::press:
    case RawInput::Kind::release:
      return watch.pointer != PointerReport::none;
    case RawInput::Kind::drag:
      return watch.pointer == PointerReport::drags;
    case RawInput::Kind::move:
      if (!watch.moves || !PointerRules::keepsMove(input.at, lastMove_)) return false;
      lastMove_ = input.at;
      return true;
    case RawInput::Kind::scroll:
      return watch.scroll;
    case RawInput::Kind::key:
      break;
  }
  return watch.keys;
}

void PointerController::heard(const RawInput& input) {
  std::lock_guard guard(lock_);
  if (!watching_ || !reports(*watching_, input)) return;
  InputEvent event{input, false};
  if (input.kind == RawInput::Kind::press || input.kind == RawInput::Kind::release) {
    event.overHalcy =
        PointerRules::overHalcy(input.x, input.y, host_->windows(), watching_->excludePids);
  }
  output_.write(Frames::notice("input.event", event.toJson()));
}

void PointerController::shutdown() {
  bool wasWatching = false;
  {
    std::lock_guard guard(lock_);
    wasWatching = watching_.has_value();
    watching_.reset();
  }
  if (wasWatching) host_->stopInput();
}

}  // namespace halcy
