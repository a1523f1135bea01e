#pragma once
// Which window a point belongs to, and how often moves are reported: pure rules over the host's
// window list, front to back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "WindowFact.hpp"

namespace halcy::PointerRules {

// The element and at most three ancestors are asked for a file.
inline constexpr std::size_t fileDepth = 4;
// Least spacing of reported moves, in seconds of event time.
inline constexpr double moveInterval = 0.033;

// Edges included.
bool contains(const ScreenRect& rect, double x, double y);

// The pid of the frontmost ordinary-layer window at the point that no excluded pid owns.
std::optional<std::int64_t> ownerBeneath(double x, double y, const std::vector<WindowFact>& among,
                                         const std::vector<std::int64_t>& excluding);

// The frontmost window at the point, on any layer, belongs to an excluded pid.
bool overHalcy(double x, double y, const std::vector<WindowFact>& among,
               const std::vector<std::int64_t>& excluding);

// The window that decides a point when accessibility is off: the frontmost one there that is on
// the ordinary layer or owned by an excluded pid.
std::optional<WindowFact> deciding(double x, double y, const std::vector<WindowFact>& among,
                                   const std::vector<std::int64_t>& excluding);

// A move at `at` is reported after the last reported one at `earlier`.
bool keepsMove(double at, std::optional<double> earlier);

}  // namespace halcy::PointerRules
