#pragma once
// What a host tells of the desktop's displays and windows, and the rules every picture of the
// screen shares: which windows are left out, and which display holds a rectangle. Pictures of the
// screen, meeting snaps and ink captures all work from these.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ScreenGeometry.hpp"
#include "WindowFact.hpp"

namespace halcy {

struct DisplayFact {
  std::uint32_t id = 0;
  std::int64_t width = 0;   // points, truncated
  std::int64_t height = 0;  // points, truncated
  ScreenRect bounds;
  bool operator==(const DisplayFact&) const = default;
};

// Every display, and the id of the main one.
struct DisplayList {
  std::vector<DisplayFact> all;
  std::uint32_t main = 0;
};

// Whether a window with that owner (pid, bundle identifier; either may be unknown) is left out of
// a picture. A host asks it once per window on screen.
using HidesWindow =
    std::function<bool(std::optional<std::int64_t> ownerPid, const std::optional<std::string>&)>;

namespace DesktopRules {

// Left out when the owner's pid is known and excluded; else when its bundle identifier is known
// and on the never-look list; otherwise shown.
bool hides(std::optional<std::int64_t> owner, const std::optional<std::string>& bundleId,
           const std::vector<std::int64_t>& excluding, const std::vector<std::string>& neverLook);

// The index of the rectangle that overlaps `rect` most; the first of equals. None when the
// rectangle is absent or has no area, or nothing overlaps it.
std::optional<std::size_t> index(const std::optional<ScreenRect>& rect,
                                 const std::vector<ScreenRect>& among);

}  // namespace DesktopRules

}  // namespace halcy
