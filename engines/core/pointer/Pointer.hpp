#pragma once
// The pointer area: what lies under the pointer, and raw input watching. Every operation may throw
// an EngineFailure; `shutdown` never fails.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Clock.hpp"
#include "FrontApp.hpp"
#include "Output.hpp"
#include "PointerProtocol.hpp"
#include "WindowFact.hpp"

namespace halcy {

class PointerArea {
 public:
  virtual ~PointerArea() = default;
  virtual PointerState read() = 0;
  virtual PointerElement element(const PointerElementRequest& request) = 0;
  virtual InputWatching watch(const InputWatch& request) = 0;
  virtual void shutdown() = 0;
};

class UnbuiltPointer : public PointerArea {
 public:
  PointerState read() override { throw notBuiltYet(); }
  PointerElement element(const PointerElementRequest&) override { throw notBuiltYet(); }
  InputWatching watch(const InputWatch&) override { throw notBuiltYet(); }
  void shutdown() override {}
};

// The host's element reference: the core holds it without looking inside.
struct PointerElementRef {
  virtual ~PointerElementRef() = default;
};

// The desktop as the pointer area needs it. Reads that find nothing answer none or empty.
class PointerHost {
 public:
  using Element = std::shared_ptr<PointerElementRef>;
  using InputHandler = std::function<void(const RawInput&)>;
  struct Location {
    double x = 0;
    double y = 0;
  };
  struct Hit {
    std::int64_t pid = 0;
    Element element;
  };

  virtual ~PointerHost() = default;
  virtual Location location() = 0;
  virtual std::int64_t buttons() = 0;
  virtual bool secureInput() = 0;
  virtual bool trusted() = 0;
  // On-screen windows, front to back.
  virtual std::vector<WindowFact> windows() = 0;
  virtual std::optional<FrontApp> app(std::int64_t pid) = 0;
  // Asks the whole desktop without a pid, else that application only.
  virtual std::optional<Hit> hit(double x, double y, std::optional<std::int64_t> pid) = 0;
  virtual AXDescription describe(const Element& element) = 0;
  virtual Element parent(const Element& element) = 0;  // null at the top
  virtual std::optional<std::string> file(const Element& element) = 0;
  virtual std::vector<std::string> selectedPaths(std::int64_t pid, std::size_t max) = 0;
  // Delivers the events the watch asks for, replacing any earlier delivery.
  virtual void startInput(const InputWatch& watch, InputHandler handler) = 0;
  virtual void stopInput() = 0;
};

class PointerController final : public PointerArea,
                                public std::enable_shared_from_this<PointerController> {
 public:
  // Build with std::make_shared: input events reach the controller through a weak reference.
  PointerController(std::unique_ptr<PointerHost> host, LineOutput& output, Clock clock);

  PointerState read() override;
  PointerElement element(const PointerElementRequest& request) override;
  InputWatching watch(const InputWatch& request) override;
  void shutdown() override;

 private:
  FrontApp appOf(std::int64_t pid);
  PointerElement fromWindows(const PointerElementRequest& request);
  std::optional<std::string> filePath(const PointerHost::Element& hit);
  void heard(const RawInput& input);
  bool reports(const InputWatch& watch, const RawInput& input);

  std::unique_ptr<PointerHost> host_;
  LineOutput& output_;
  Clock clock_;
  std::mutex lock_;
  std::optional<InputWatch> watching_;
  std::optional<double> lastMove_;
};

}  // namespace halcy
