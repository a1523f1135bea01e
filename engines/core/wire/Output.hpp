#pragma once
// The wire's error vocabulary, the line builder and the one writer all output leaves through.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "Json.hpp"

namespace halcy {

enum class ErrorCode { unknownMethod, invalidParams, unavailable, notPermitted, busy, failed };

std::string_view wireName(ErrorCode code);
std::optional<ErrorCode> errorCodeNamed(std::string_view wire);

// What every area, controller and rule throws for the caller; the dispatcher sends it unchanged.
class EngineFailure : public std::exception {
 public:
  EngineFailure(ErrorCode code, std::string message) : code(code), message(std::move(message)) {}
  const char* what() const noexcept override { return message.c_str(); }
  bool operator==(const EngineFailure& other) const {
    return code == other.code && message == other.message;
  }

  ErrorCode code;
  std::string message;
};

// What a placeholder area answers for a method whose area is not built yet.
EngineFailure notBuiltYet();

// The empty result: answers as {}.
struct NoResult {
  Json toJson() const { return Json::object(); }
};

namespace Frames {
inline constexpr std::string_view fallbackLine =
    R"({"id":0,"error":{"code":"failed","message":"Could not encode the reply."}})";

std::string success(std::int64_t id, const Json& result);
std::string failure(std::int64_t id, const EngineFailure& failure);
std::string notice(std::string_view event, const Json& data);
}  // namespace Frames

// A sink for whole lines, given without their terminator.
class LineOutput {
 public:
  virtual ~LineOutput() = default;
  virtual void write(std::string line) = 0;
};

// Serialises every line onto one queue thread, so lines never interleave and leave in the order
// `write` was called; a slow reader delays only this queue, never the producer.
class SerialLineWriter final : public LineOutput {
 public:
  using Sink = std::function<void(std::string_view bytes)>;

  explicit SerialLineWriter(Sink sink);
  ~SerialLineWriter() override;
  SerialLineWriter(const SerialLineWriter&) = delete;
  SerialLineWriter& operator=(const SerialLineWriter&) = delete;

  void write(std::string line) override;
  // Blocks until every line handed in before the call has reached the sink.
  void flush();

 private:
  void drain();

  Sink sink_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  std::deque<std::string> pending_;
  std::uint64_t queued_ = 0;
  std::uint64_t written_ = 0;
  bool stopping_ = false;
  std::thread queue_;
};

// Writes a byte block to a file descriptor, dropping it when the reader is gone.
void writeAllIgnoringErrors(int fd, std::string_view bytes);

}  // namespace halcy
