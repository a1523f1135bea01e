#pragma once

#include <cstddef>
#include <cstdint>

namespace halcy::ScreenLimits {
// How long one capture may take, in seconds.
inline constexpr double captureDeadline = 4.0;
inline constexpr std::int64_t textMaxChars = 16000;
inline constexpr std::size_t neverLookMax = 64;
inline constexpr std::size_t excludedPidsMax = 16;
inline constexpr std::int64_t longEdgeMin = 64;
inline constexpr std::int64_t longEdgeMax = 1568;
// Region edges, in points.
inline constexpr double regionEdgeMin = 8.0;
inline constexpr double regionEdgeMax = 4096.0;
// JPEG quality asked of a capture.
inline constexpr double qualityMin = 0.1;
inline constexpr double qualityMax = 1.0;
}  // namespace halcy::ScreenLimits
