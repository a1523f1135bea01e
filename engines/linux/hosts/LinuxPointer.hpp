#pragma once
// The pointer host on an X11 desktop: the pointer from the X server, the window under a point from
// the window manager's stacking order, the element there from AT-SPI, and raw input watching from
// XInput2.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AtSpi.hpp"
#include "LinuxApps.hpp"
#include "LinuxDisplay.hpp"
#include "LinuxInput.hpp"
#include "LinuxSecureInput.hpp"
#include "Pointer.hpp"

namespace halcy {

class QueryBudget;
struct LinuxElement;

class LinuxPointer final : public PointerHost {
 public:
  LinuxPointer(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<LinuxInput> input,
               std::shared_ptr<AtSpi> atspi, std::shared_ptr<LinuxSecureInput> secure);
  ~LinuxPointer() override;
  LinuxPointer(const LinuxPointer&) = delete;
  LinuxPointer& operator=(const LinuxPointer&) = delete;

  Location location() override;
  std::int64_t buttons() override;
  bool secureInput() override;
  bool trusted() override;
  std::vector<WindowFact> windows() override;
  std::optional<FrontApp> app(std::int64_t pid) override;
  std::optional<Hit> hit(double x, double y, std::optional<std::int64_t> pid) override;
  AXDescription describe(const Element& element) override;
  Element parent(const Element& element) override;
  std::optional<std::string> file(const Element& element) override;
  std::vector<std::string> selectedPaths(std::int64_t pid, std::size_t max) override;
  void startInput(const InputWatch& watch, InputHandler handler) override;
  void stopInput() override;

 private:
  // An application as the accessibility bus shows it, and its window when it has only one.
  struct Known {
    std::optional<AtSpiRef> application;
    std::optional<AtSpiRef> onlyFrame;
  };
  struct Frame {
    std::optional<AtSpiRef> element;
    bool remembered = false;
  };
  Frame frameAt(const LinuxWindow& window, double x, double y, const QueryBudget& budget,
                bool fresh);
  void remember(std::int64_t pid, const std::optional<Known>& known);
  std::shared_ptr<LinuxElement> lineage(const std::vector<AtSpiRef>& path,
                                        const std::shared_ptr<QueryBudget>& budget);
  std::optional<std::string> fileBelow(const AtSpiRef& item, AtSpi::Timeout timeout);

  static constexpr std::size_t rememberedApplications = 64;

  std::shared_ptr<LinuxDisplay> display_;
  std::shared_ptr<LinuxInput> input_;
  std::shared_ptr<AtSpi> atspi_;
  std::shared_ptr<LinuxSecureInput> secure_;
  LinuxApps apps_;
  std::atomic<bool> accessibilityOn_{false};
  std::mutex applicationsLock_;
  std::map<std::int64_t, Known> applications_;
};

// How one input event reaches an input watch: the wheel's buttons are scrolls of ten points a
// notch (up and left positive), only the left and right buttons are pressed by name, a motion
// with the left button down is a drag and with another button down nothing.
namespace InputTranslation {

// The XInput wants of a watch.
unsigned wants(const InputWatch& watch);
// The pointer's place is asked (a round trip) only for events that report one.
bool needsPlace(const LinuxInput::Event& event);
std::optional<RawInput> translate(const LinuxInput::Event& event, bool secureInput,
                                  const std::function<PointerHost::Location()>& place);

}  // namespace InputTranslation

// A file path from the URI an element stands for; none for anything but a local file.
std::optional<std::string> localPath(const std::optional<std::string>& uri);

}  // namespace halcy
