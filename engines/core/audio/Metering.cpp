#include "Metering.hpp"

#include <algorithm>
#include <cmath>

namespace halcy {

std::optional<double> LevelMeter::add(std::span<const float> samples, double now) {
  for (float sample : samples) {
    if (!std::isnan(sample)) peak = std::max(peak, std::min(std::fabs(sample), 1.0f));
  }
  if (lastGiven && now - *lastGiven < interval) return std::nullopt;
  lastGiven = now;
  const double level = std::round(static_cast<double>(peak) * 1000.0) / 1000.0;
  peak = 0;
  return level;
}

std::int64_t SampleBudget::take(std::int64_t count) {
  const std::int64_t allowed = std::max<std::int64_t>(0, std::min(count, limit - used));
  used += allowed;
  return allowed;
}

}  // namespace halcy
