#pragma once
// The dictation records on the wire: results and notices encode in field order.

#include <optional>
#include <string>

#include "Json.hpp"

namespace halcy {

struct DictationStarted {
  std::int64_t sampleRate = 16000;
  std::int64_t channels = 1;
  double at = 0;
  Json toJson() const;
};

struct DictationStopped {
  double at = 0;
  Json toJson() const;
};

// Data of the notice "dictation.audio": one chunk of PCM16 as Base64 text.
struct DictationAudio {
  double at = 0;
  std::string samples;
  Json toJson() const;
};

enum class DictationEndReason { deviceChanged, failed };

// Data of the notice "dictation.ended"; "message" is left out when there is none.
struct DictationEnded {
  DictationEndReason reason = DictationEndReason::failed;
  std::optional<std::string> message;
  Json toJson() const;
};

}  // namespace halcy
