#pragma once

#include <cstddef>

namespace halcy::ScreenLimits {
inline constexpr std::size_t neverLookMax = 64;
inline constexpr std::size_t excludedPidsMax = 16;
}  // namespace halcy::ScreenLimits
