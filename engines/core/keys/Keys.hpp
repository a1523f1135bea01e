#pragma once
// The keys area: global keys, modifier state and the front application. Every operation may throw
// an EngineFailure; `shutdown` never fails.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "Clock.hpp"
#include "FrontApp.hpp"
#include "KeysProtocol.hpp"
#include "Output.hpp"

namespace halcy {

class KeysArea {
 public:
  virtual ~KeysArea() = default;
  virtual KeysWatching watch(const KeysWatch& request) = 0;
  virtual KeysState state() = 0;
  virtual AppsFront front() = 0;
  virtual NoResult activate(const AppsActivate& request) = 0;
  virtual void shutdown() = 0;
};

class UnbuiltKeys : public KeysArea {
 public:
  KeysWatching watch(const KeysWatch&) override { throw notBuiltYet(); }
  KeysState state() override { throw notBuiltYet(); }
  AppsFront front() override { throw notBuiltYet(); }
  NoResult activate(const AppsActivate&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

// The desktop as the keys area needs it. Handlers may be called on any thread.
class KeysHost {
 public:
  using EventHandler = std::function<void(const KeysEvent&)>;
  using FrontHandler = std::function<void(const FrontApp&)>;

  virtual ~KeysHost() = default;
  // Delivers global input events until stopWatching; a second start replaces the first.
  virtual void startWatching(EventHandler handler) = 0;
  virtual void stopWatching() = 0;
  virtual std::int64_t flagsNow() = 0;
  virtual std::int64_t buttonsNow() = 0;
  virtual std::optional<FrontApp> frontApp() = 0;
  // False when no running application has that pid.
  virtual bool activate(std::int64_t pid) = 0;
  // Called every time an application becomes frontmost, for the life of the host.
  virtual void observeFront(FrontHandler handler) = 0;
};

class KeysController final : public KeysArea, public std::enable_shared_from_this<KeysController> {
 public:
  // Made shared, so that the host's late callbacks can find the controller gone.
  static std::shared_ptr<KeysController> make(std::unique_ptr<KeysHost> host, LineOutput& output,
                                              Clock clock);

  KeysWatching watch(const KeysWatch& request) override;
  KeysState state() override;
  AppsFront front() override;
  NoResult activate(const AppsActivate& request) override;
  void shutdown() override;

 private:
  KeysController(std::unique_ptr<KeysHost> host, LineOutput& output, Clock clock);
  void cameToFront(const FrontApp& app);
  void heard(const KeysEvent& event);

  std::unique_ptr<KeysHost> host_;
  LineOutput& output_;
  Clock clock_;
  std::mutex lock_;
  bool watching_ = false;
  std::int64_t downsWhile_ = 0;
  std::int64_t flags_ = 0;
  std::optional<std::int64_t> frontPid_;
};

}  // namespace halcy
