#pragma once
// The output-volume records on the wire: parameters decode strictly, results encode in field order.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "Json.hpp"

namespace halcy {

struct VolumeWatch {
  // False ends watching; either way the answer is the volume now.
  bool watch = false;

  static constexpr std::string_view keyNames[] = {"watch"};

  static VolumeWatch decode(const JsonObject& params);
};

struct OutputVolume {
  // 0 to 1; absent when the device exposes no volume (written as null).
  std::optional<double> volume;
  bool muted = false;

  // Builds the record from raw device values: `main` wins over the channels' average; a present
  // volume is clamped to 0...1 and NaN reads as 0.
  static OutputVolume read(std::optional<float> main, std::span<const float> channels,
                           std::optional<std::uint32_t> mute);

  // Volumes compare exactly as doubles, so every real move of the slider counts as a change.
  bool operator==(const OutputVolume&) const = default;

  Json toJson() const;
};

}  // namespace halcy
