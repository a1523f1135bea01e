#include "Output.hpp"

#include "FrameEncoder.hpp"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>

namespace halcy {

EngineFailure notBuiltYet() {
  return EngineFailure(ErrorCode::unavailable, "Not built yet.");
}

namespace {
constexpr std::array<std::string_view, 6> errorCodeWireNames = {
    "unknown_method", "invalid_params", "unavailable", "not_permitted", "busy", "failed"};

std::string encode(const Json& frame) {
  return encodeFrame(frame).value_or(std::string(Frames::fallbackLine));
}
}  // namespace

std::string_view wireName(ErrorCode code) {
  return errorCodeWireNames[static_cast<int>(code)];
}

std::optional<ErrorCode> errorCodeNamed(std::string_view wire) {
  for (std::size_t index = 0; index < errorCodeWireNames.size(); ++index) {
    if (errorCodeWireNames[index] == wire) return static_cast<ErrorCode>(index);
  }
  return std::nullopt;
}

namespace Frames {

std::string success(std::int64_t id, const Json& result) {
  Json frame = Json::object();
  frame["id"] = id;
  frame["result"] = result;
  return encode(frame);
}

std::string failure(std::int64_t id, const EngineFailure& failure) {
  Json frame = Json::object();
  frame["id"] = id;
  frame["error"] = Json::object({{"code", wireName(failure.code)}, {"message", failure.message}});
  return encode(frame);
}

std::string notice(std::string_view event, const Json& data) {
  Json frame = Json::object();
  frame["event"] = event;
  frame["data"] = data;
  return encode(frame);
}

}  // namespace Frames

SerialLineWriter::SerialLineWriter(Sink sink) : sink_(std::move(sink)) {
  queue_ = std::thread([this] { drain(); });
}

SerialLineWriter::~SerialLineWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  queue_.join();
}

void SerialLineWriter::write(std::string line) {
  line.push_back('\n');
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(line));
    ++queued_;
  }
  wake_.notify_one();
}

void SerialLineWriter::flush() {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = queued_;
  drained_.wait(lock, [&] { return written_ >= target; });
}

void SerialLineWriter::drain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
    if (pending_.empty()) return;  // stopping, and everything handed in has been written
    std::string line = std::move(pending_.front());
    pending_.pop_front();
    lock.unlock();
    try {
      sink_(line);
    } catch (...) {
      // A failing sink loses its line, never the writer.
    }
    lock.lock();
    ++written_;
    drained_.notify_all();
  }
}

void writeAllIgnoringErrors(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace halcy
