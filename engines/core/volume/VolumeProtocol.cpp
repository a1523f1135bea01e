#include "VolumeProtocol.hpp"

#include <algorithm>
#include <cmath>

namespace halcy {

VolumeWatch VolumeWatch::decode(const JsonObject& params) {
  return {params.boolean("watch")};
}

OutputVolume OutputVolume::read(std::optional<float> main, std::span<const float> channels,
                                std::optional<std::uint32_t> mute) {
  OutputVolume state;
  state.muted = mute.has_value() && *mute != 0;
  std::optional<double> volume;
  if (main) {
    volume = *main;
  } else if (!channels.empty()) {
    float sum = 0;
    for (const float channel : channels) sum += channel;
    volume = static_cast<double>(sum) / static_cast<double>(channels.size());
  }
  if (volume) state.volume = std::isnan(*volume) ? 0.0 : std::clamp(*volume, 0.0, 1.0);
  return state;
}

Json OutputVolume::toJson() const {
  Json json = Json::object();
  json["volume"] = volume ? Json(*volume) : Json(nullptr);
  json["muted"] = muted;
  return json;
}

}  // namespace halcy
