#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "Output.hpp"

namespace halcy {
namespace {

TEST(Frames, EncodeLinesExactly) {
  struct Case {
    std::string name;
    std::string line;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"empty result", Frames::success(7, NoResult{}.toJson()), R"({"id":7,"result":{}})"},
      {"slashes stay plain", Frames::success(1, Json{{"path", "/tmp/a b/c.wav"}}),
       R"({"id":1,"result":{"path":"/tmp/a b/c.wav"}})"},
      {"utf-8 out, controls escaped", Frames::success(2, Json{{"t", "é\"\\\n\x01"}}),
       "{\"id\":2,\"result\":{\"t\":\"é\\\"\\\\\\n\\u0001\"}}"},
      {"failure", Frames::failure(3, EngineFailure(ErrorCode::notPermitted, "No.")),
       R"({"id":3,"error":{"code":"not_permitted","message":"No."}})"},
      {"notice has no id", Frames::notice("volume.changed", Json{{"muted", false}}),
       R"({"event":"volume.changed","data":{"muted":false}})"},
      {"NaN falls back", Frames::success(4, Json{{"x", std::nan("")}}),
       std::string(Frames::fallbackLine)},
      {"nested infinity falls back",
       Frames::notice("x", Json{{"a", Json::array({1, std::numeric_limits<double>::infinity()})}}),
       std::string(Frames::fallbackLine)},
      {"invalid UTF-8 falls back", Frames::success(5, Json{{"t", "\xff"}}),
       std::string(Frames::fallbackLine)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.line, c.expected) << c.name;
}

TEST(ErrorCode, WireNamesRoundTrip) {
  const std::vector<std::pair<ErrorCode, std::string>> cases = {
      {ErrorCode::unknownMethod, "unknown_method"},
      {ErrorCode::invalidParams, "invalid_params"},
      {ErrorCode::unavailable, "unavailable"},
      {ErrorCode::notPermitted, "not_permitted"},
      {ErrorCode::busy, "busy"},
      {ErrorCode::failed, "failed"}};
  for (const auto& [code, wire] : cases) {
    EXPECT_EQ(wireName(code), wire);
    EXPECT_EQ(errorCodeNamed(wire), code);
  }
  EXPECT_EQ(errorCodeNamed("Busy"), std::nullopt);
}

TEST(SerialLineWriter, ConcurrentLinesNeverInterleaveAndFlushWaits) {
  std::mutex mutex;
  std::vector<std::string> blocks;
  SerialLineWriter writer([&](std::string_view bytes) {
    std::lock_guard lock(mutex);
    blocks.emplace_back(bytes);
  });
  constexpr int threads = 8;
  constexpr int linesEach = 200;
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < linesEach; ++i) writer.write(std::string(100 + t, 'a' + t));
    });
  }
  for (auto& thread : writers) thread.join();
  writer.flush();
  std::lock_guard lock(mutex);
  ASSERT_EQ(blocks.size(), static_cast<std::size_t>(threads * linesEach));
  for (const auto& block : blocks) {
    ASSERT_EQ(block.back(), '\n');
    const std::string body = block.substr(0, block.size() - 1);
    EXPECT_EQ(body, std::string(body.size(), body.front()));
  }
}

TEST(SerialLineWriter, KeepsOrderAndSurvivesAFailingSink) {
  std::vector<std::string> blocks;
  std::mutex mutex;
  SerialLineWriter writer([&](std::string_view bytes) {
    if (bytes == "boom\n") throw std::runtime_error("closed");
    std::lock_guard lock(mutex);
    blocks.emplace_back(bytes);
  });
  writer.write("1");
  writer.write("boom");
  writer.write("2");
  writer.flush();
  std::lock_guard lock(mutex);
  EXPECT_EQ(blocks, (std::vector<std::string>{"1\n", "2\n"}));
}

TEST(SerialLineWriter, WritingToAClosedDescriptorDoesNotStop) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  close(pipeEnds[0]);
  std::signal(SIGPIPE, SIG_IGN);
  SerialLineWriter writer(
      [&](std::string_view bytes) { writeAllIgnoringErrors(pipeEnds[1], bytes); });
  writer.write("gone");
  writer.flush();
  close(pipeEnds[1]);
  SUCCEED();
}

}  // namespace
}  // namespace halcy

namespace halcy {
namespace {

// The encoder must write exactly what a standard JSON writer writes, for every kind of text.
TEST(Frames, StringsMatchAStandardWriterByteForByte) {
  const std::vector<std::string> texts = {
      "",
      "plain/ascii with /slashes/",
      std::string("\x00\x01\x1f\x7f", 4),
      "\b\f\n\r\t\"\\",
      "é ü 中文 🎙️ e\xcc\x81",
      "\xef\xbf\xbf\xf4\x8f\xbf\xbf",
  };
  for (const auto& text : texts) {
    const Json record =
        Json::object({{"t", text}, {"n", 1.5}, {"i", -3}, {"b", true}, {"z", nullptr}});
    EXPECT_EQ(Frames::success(1, record),
              R"({"id":1,"result":)" + record.dump(-1, ' ', false) + "}")
        << text;
  }
}

TEST(Frames, TextThatIsNotUtf8FallsBack) {
  const std::vector<std::string> broken = {
      "\x80",
      "\xc0\xaf",
      "\xc3",
      "\xe0\x80\xaf",
      "\xed\xa0\x80",
      "\xf4\x90\x80\x80",
      "\xf5\x80\x80\x80",
      "ok\xe2\x82",
      "\xff",
  };
  for (const auto& text : broken) {
    EXPECT_EQ(Frames::notice("x", Json::object({{"t", text}})), std::string(Frames::fallbackLine))
        << Json(text).dump(-1, ' ', true, Json::error_handler_t::replace);
    EXPECT_EQ(Frames::notice("x", Json::object({{text, 1}})), std::string(Frames::fallbackLine));
  }
}

}  // namespace
}  // namespace halcy
