#pragma once
// Fakes for the sound tests: a clock the test sets, readers for the notice lines sound areas
// write, a file size limit that makes writes fail, and the ways a capture fails to start.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Base64.hpp"
#include "CapturingOutput.hpp"
#include "Clock.hpp"
#include "FileSizeLimit.hpp"
#include "Json.hpp"
#include "Output.hpp"

namespace halcy::audio {

class FakeClock {
 public:
  void set(double seconds) { now_ = seconds; }
  Clock clock() {
    return [this] { return now_.load(); };
  }

 private:
  std::atomic<double> now_{0};
};

inline Json parsed(const std::string& line) {
  return Json::parse(line);
}

inline std::vector<Json> noticesNamed(CapturingOutput& output, std::string_view event) {
  std::vector<Json> found;
  for (const auto& line : output.lines()) {
    Json frame = parsed(line);
    if (frame.contains("event") && frame["event"] == event) found.push_back(frame["data"]);
  }
  return found;
}

// The PCM16 values a "dictation.audio" notice carries.
inline std::vector<std::int16_t> chunkValues(const Json& data) {
  const auto bytes = base64Decode(data["samples"].get<std::string>());
  std::vector<std::int16_t> values;
  if (!bytes) return values;
  for (std::size_t index = 0; index + 1 < bytes->size(); index += 2) {
    const auto low = static_cast<std::uint8_t>((*bytes)[index]);
    const auto high = static_cast<std::uint8_t>((*bytes)[index + 1]);
    values.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8))));
  }
  return values;
}

// Waits for work that another thread finishes (an interruption's task); false on timeout.
inline bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

using halcy::FileSizeLimit;

// What a capture may throw when it cannot start, and what the caller is told: an EngineFailure
// passes unchanged, anything else becomes the generic failure.
inline std::vector<std::pair<std::exception_ptr, EngineFailure>> captureStartFailures() {
  return {
      {std::make_exception_ptr(
           EngineFailure(ErrorCode::unavailable, "No microphone is connected.")),
       EngineFailure(ErrorCode::unavailable, "No microphone is connected.")},
      {std::make_exception_ptr(std::runtime_error("boom")),
       EngineFailure(ErrorCode::failed, "The microphone did not start.")},
  };
}

}  // namespace halcy::audio
