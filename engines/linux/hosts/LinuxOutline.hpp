#pragma once
// The outline host on an X11 desktop: walks, frames, states and clips through AT-SPI, elements
// told apart by bus name and object path, and watches through AT-SPI events and the X server.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AtSpi.hpp"
#include "LinuxApps.hpp"
#include "LinuxDisplay.hpp"
#include "LinuxOutlineWalk.hpp"
#include "LinuxOutlineWatch.hpp"
#include "OutlineController.hpp"

namespace halcy {

class LinuxOutlineHost final : public OutlineHost {
 public:
  LinuxOutlineHost(std::shared_ptr<LinuxDisplay> display, std::shared_ptr<AtSpi> atspi);
  ~LinuxOutlineHost() override;

  bool trusted() override;
  std::optional<FrontApp> app(std::int64_t pid) override;
  OutlineWalk walk(std::int64_t pid, double budgetSeconds) override;
  std::optional<ScreenRect> frame(const Element& element) override;
  std::optional<ElementFacts> facts(const Element& element) override;
  ElementClips clips(const Element& element) override;
  bool same(const Element& a, const Element& b) override;
  void observe(std::int64_t pid, Sink sink) override;
  void stopObserving() override;
  std::vector<std::optional<ScreenRect>> framesOf(const std::vector<Element>& elements) override;
  std::vector<std::optional<ElementFacts>> factsOf(const std::vector<Element>& elements) override;
  std::vector<ElementClips> clipsOf(const std::vector<Element>& elements) override;

  // What an element's role, states and content tell of it. `value` is its text, else its number
  // written the shortest way; a check box's or radio button's value is its checked state, 1 or 0.
  static ElementFacts factsFrom(AtSpiRole role, AtSpiStates states,
                                std::optional<std::string> value);

 private:
  std::shared_ptr<LinuxDisplay> display_;
  std::shared_ptr<AtSpi> atspi_;
  LinuxApps apps_;
  CacheTimes cacheTimes_;
  std::atomic<bool> trusted_{false};
  std::mutex watchLock_;
  std::unique_ptr<LinuxOutlineWatch> watch_;
};

}  // namespace halcy
