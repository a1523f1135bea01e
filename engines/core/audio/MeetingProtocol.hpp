#pragma once
// The meeting records on the wire: parameters decode strictly, results encode in field order.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

// Wherever sources are walked, the microphone comes first.
enum class AudioSource { microphone, system };

std::string_view wireName(AudioSource source);

struct MeetingStart {
  // The "system" object refuses keys it does not name.
  struct System {
    // Counted and checked by the start rules, not here, so that they can answer in their own words.
    std::vector<std::int64_t> excludePids;
    static constexpr std::string_view keyNames[] = {"excludePids"};
    static System decode(const JsonObject& object);
  };

  bool microphone = false;
  // None leaves the system's sound out.
  std::optional<System> system;
  static constexpr std::string_view keyNames[] = {"microphone", "system"};
  static MeetingStart decode(const JsonObject& params);
};

struct MeetingStarted {
  Json toJson() const;
};

struct MeetingStopped {
  Json toJson() const;
};

struct MeetingReopen {
  AudioSource source = AudioSource::microphone;
  static constexpr std::string_view keyNames[] = {"source"};
  static MeetingReopen decode(const JsonObject& params);
};

struct MeetingReopened {
  Json toJson() const;
};

}  // namespace halcy
