#pragma once
// The microphone-recording records on the wire: parameters decode strictly, results and notices
// encode in field order.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Json.hpp"

namespace halcy {

// The constants of recordings.
namespace MicFormat {
inline constexpr std::int64_t sampleRate = 16000;
inline constexpr std::int64_t maxSeconds = 60;
}  // namespace MicFormat

// Params of "mic.start". The range of "maxSeconds" is a rule with its own message (MicStartRules),
// so decoding takes any integer.
struct MicStart {
  std::string path;
  std::int64_t maxSeconds = 0;
  static constexpr std::string_view keyNames[] = {"path", "maxSeconds"};
  static MicStart decode(const JsonObject& params);
};

struct MicStarted {
  std::int64_t sampleRate = MicFormat::sampleRate;
  std::int64_t channels = 1;
  static const MicStarted pcm16kMono;
  Json toJson() const;
};

// Result of "mic.stop".
struct MicRecording {
  std::string path;
  double seconds = 0;
  Json toJson() const;
};

// Data of the notice "mic.level".
struct MicLevel {
  double level = 0;
  Json toJson() const;
};

enum class MicEndReason { limit, failed };

// Data of the notice "mic.ended"; "message" is left out when there is none.
struct MicEnded {
  std::string path;
  double seconds = 0;
  MicEndReason reason = MicEndReason::failed;
  std::optional<std::string> message;
  Json toJson() const;
};

}  // namespace halcy
