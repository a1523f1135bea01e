#pragma once
// The outline walk over AT-SPI: an application's focused window breadth first, then its open
// menus, then the items of the menu bar inside the window, which are listed once, first.
// Structure comes from the application's cache in one call where it keeps one; what the cache
// lacks (frames above all) is asked in pipelined rounds, each query within the walk's timeout.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "AtSpi.hpp"
#include "LinuxDisplay.hpp"
#include "OutlineController.hpp"

namespace halcy {

// An element as an outline holds it, with what clips it, learned on the way down to it.
struct LinuxOutlineElement final : OutlineElementRef {
  LinuxOutlineElement(AtSpiRef ref, std::optional<AtSpiRef> window,
                      std::optional<AtSpiRef> scrollArea)
      : ref(std::move(ref)), window(std::move(window)), scrollArea(std::move(scrollArea)) {}
  AtSpiRef ref;
  std::optional<AtSpiRef> window;      // none for an element of an open menu, which floats above
  std::optional<AtSpiRef> scrollArea;  // the nearest scroll pane above it
};

// How long each application's cache took to answer the last time. A cache read cannot be cut
// short once asked (the application works on it to the end, and answers nothing else meanwhile),
// so a walk whose budget it would outlast asks element by element instead, and gets at least part
// of the window.
class CacheTimes {
 public:
  std::optional<std::chrono::milliseconds> last(const std::string& bus);
  void record(const std::string& bus, std::chrono::milliseconds took);

 private:
  static constexpr std::size_t remembered = 64;
  // A slow answer is forgotten after a while: the application may have been busy.
  static constexpr std::chrono::seconds kept{30};
  struct Took {
    std::chrono::milliseconds took;
    std::chrono::steady_clock::time_point at;
  };
  std::mutex lock_;
  std::map<std::string, Took> took_;
};

OutlineWalk walkOutline(AtSpi& atspi, LinuxDisplay& display, CacheTimes& cacheTimes,
                        std::int64_t pid, std::chrono::milliseconds budget);

// The name an element is read by, from what AT-SPI tells of it: its name stands for the title,
// its placeholder for a field's placeholder, its text or number for its value; nothing tells help.
struct LinuxNameSources {
  std::string name;
  std::string description;
  std::map<std::string, std::string> attributes;
  std::optional<std::string> text;
  std::optional<double> number;
};
std::string outlineName(std::string_view axRole, const LinuxNameSources& sources);
// An element's frame in global points; none when it has none. GTK places an element that is not
// drawn (a row scrolled out of its list, a closed menu's item) at the smallest integer.
std::optional<ScreenRect> frameOf(const std::optional<AtSpiRect>& extents);
// A number as a value reads: the shortest way ("3", "0.5").
std::string numberText(double number);

}  // namespace halcy
