#pragma once
// The recorder's level notices and time limit, in samples.

#include <cstdint>
#include <optional>
#include <span>

namespace halcy {

// The absolute peak of the samples since the last level given, clamped to 1, at most once per
// `interval` of clock time; the first block always gives one.
struct LevelMeter {
  double interval = 0.1;
  float peak = 0;
  std::optional<double> lastGiven;

  // The level rounded to three decimals, or nothing while the interval has not passed.
  std::optional<double> add(std::span<const float> samples, double now);
};

struct SampleBudget {
  std::int64_t limit = 0;
  std::int64_t used = 0;

  static SampleBudget of(std::int64_t seconds, std::int64_t rate) { return {seconds * rate, 0}; }
  // How many of `count` samples still fit; they count as used.
  std::int64_t take(std::int64_t count);
  bool isSpent() const { return used >= limit; }
};

}  // namespace halcy
