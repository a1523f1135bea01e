#include "Keys.hpp"

#include <utility>

namespace halcy {

namespace {
const EngineFailure noSuchApp(ErrorCode::unavailable, "No running app has that pid.");
}  // namespace

std::shared_ptr<KeysController> KeysController::make(std::unique_ptr<KeysHost> host,
                                                     LineOutput& output, Clock clock) {
  std::shared_ptr<KeysController> controller(
      new KeysController(std::move(host), output, std::move(clock)));
  std::weak_ptr<KeysController> weak = controller;
  controller->host_->observeFront([weak](const FrontApp& app) {
    if (auto alive = weak.lock()) alive->cameToFront(app);
  });
  return controller;
}

KeysController::KeysController(std::unique_ptr<KeysHost> host, LineOutput& output, Clock clock)
    : host_(std::move(host)), output_(output), clock_(std::move(clock)) {
  if (auto app = host_->frontApp()) frontPid_ = app->pid;
}

void KeysController::cameToFront(const FrontApp& app) {
  std::lock_guard guard(lock_);
  if (frontPid_ == app.pid) return;
  frontPid_ = app.pid;
  output_.write(Frames::notice("apps.active", AppsActive{app, clock_()}.toJson()));
}

KeysWatching KeysController::watch(const KeysWatch& request) {
  std::int64_t flags = 0;
  if (request.watch) {
    bool start = false;
    {
      std::lock_guard guard(lock_);
      downsWhile_ = request.downsWhile;
      if (!watching_) {
        watching_ = true;
        flags_ = host_->flagsNow();
        start = true;
      }
      flags = flags_;
    }
    if (start) {
      std::weak_ptr<KeysController> weak = weak_from_this();
      host_->startWatching([weak](const KeysEvent& event) {
        if (auto alive = weak.lock()) alive->heard(event);
      });
    }
  } else {
    bool wasWatching = false;
    {
      std::lock_guard guard(lock_);
      wasWatching = std::exchange(watching_, false);
    }
    if (wasWatching) host_->stopWatching();
    flags = host_->flagsNow();
  }
  return KeysWatching{request.watch, flags, clock_()};
}

void KeysController::heard(const KeysEvent& event) {
  std::lock_guard guard(lock_);
  if (!watching_) return;
  if (event.kind == KeysEvent::Kind::flags) {
    flags_ = event.flags;
  } else if ((downsWhile_ & flags_) == 0) {
    return;
  }
  output_.write(Frames::notice("keys.event", event.toJson()));
}

KeysState KeysController::state() {
  const std::int64_t flags = host_->flagsNow();
  const std::int64_t buttons = host_->buttonsNow();
  return KeysState{flags, buttons, clock_()};
}

AppsFront KeysController::front() {
  return AppsFront{host_->frontApp()};
}

NoResult KeysController::activate(const AppsActivate& request) {
  if (!host_->activate(request.pid)) throw noSuchApp;
  return {};
}

void KeysController::shutdown() {
  bool wasWatching = false;
  {
    std::lock_guard guard(lock_);
    wasWatching = std::exchange(watching_, false);
  }
  if (wasWatching) host_->stopWatching();
}

}  // namespace halcy
