#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Deadline.hpp"
#include "Entry.hpp"
#include "Json.hpp"
#include "StageProtocol.hpp"
#include "TaskPool.hpp"

namespace halcy {
namespace {

TEST(StrictDecoding, IntegersAreWholeSixtyFourBitNumbers) {
  struct Case {
    std::string json;
    std::optional<std::int64_t> expected;
  };
  const std::vector<Case> cases = {
      {"0", 0},
      {"-1", -1},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"18446744073709551616", std::nullopt},
      {"-9223372036854775809", std::nullopt},
      {"1.0", 1},
      {"1e3", 1000},
      {"-0.0", 0},
      {"1.5", std::nullopt},
      {"9.3e18", std::nullopt},
      {"\"1\"", std::nullopt},
      {"true", std::nullopt},
      {"null", std::nullopt},
      {"[1]", std::nullopt},
  };
  for (const auto& c : cases) {
    const Json value = Json::parse(c.json);
    if (c.expected) {
      EXPECT_EQ(decode::integer(value), *c.expected) << c.json;
    } else {
      EXPECT_THROW(decode::integer(value), DecodeError) << c.json;
    }
  }
}

TEST(StrictDecoding, OptionalNullableAndRequiredKeys) {
  const Json object = Json::parse(R"({"n":null,"i":3,"t":"x"})");
  JsonObject params(object);
  EXPECT_EQ(params.optionalInteger("n"), std::nullopt);
  EXPECT_EQ(params.optionalInteger("absent"), std::nullopt);
  EXPECT_EQ(params.optionalInteger("i"), 3);
  EXPECT_THROW(params.optionalInteger("t"), DecodeError);
  EXPECT_EQ(params.nullableInteger("n"), std::nullopt);
  EXPECT_THROW(params.nullableInteger("absent"), DecodeError);
  EXPECT_THROW(params.integer("n"), DecodeError);
  EXPECT_EQ(decode::number(Json::parse("2")), 2.0);
  EXPECT_THROW(JsonObject(Json::parse("[]")), DecodeError);
}

TEST(RequestGates, NeverLookListsPidListsAndNullableKeys) {
  const std::string sixtyFour = [] {
    std::string list;
    for (int i = 0; i < 64; ++i)
      list += std::string(i ? "," : "") + "\"app." + std::to_string(i) + "\"";
    return "[" + list + "]";
  }();
  const std::string sixtyFive = sixtyFour.substr(0, sixtyFour.size() - 1) + ",\"one.more\"]";
  struct Case {
    std::string list;
    bool neverLookAccepted;
  };
  const std::vector<Case> neverLook = {
      {"[]", true},           {sixtyFour, true}, {sixtyFive, false}, {R"(["a",""])", false},
      {R"(["a","a"])", true}, {R"([1])", false}, {"null", false},    {R"("com.example")", false},
  };
  for (const auto& c : neverLook) {
    const Json object = Json::parse(R"({"neverLook":)" + c.list + "}");
    if (c.neverLookAccepted) {
      EXPECT_NO_THROW(NeverLookList::decode(JsonObject(object), "neverLook")) << c.list;
    } else {
      EXPECT_THROW(NeverLookList::decode(JsonObject(object), "neverLook"), DecodeError) << c.list;
    }
  }
  EXPECT_THROW(NeverLookList::decode(JsonObject(Json::object()), "neverLook"), DecodeError);

  const std::vector<Case> pids = {
      {"[]", true},
      {"[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]", true},
      {"[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17]", false},
      {"[0]", false},
      {"[-4]", false},
      {"[1.5]", false},
      {"[9223372036854775807]", true},
  };
  for (const auto& c : pids) {
    const Json object = Json::parse(R"({"excludePids":)" + c.list + "}");
    if (c.neverLookAccepted) {
      EXPECT_NO_THROW(StageCheck::pids(JsonObject(object), "excludePids")) << c.list;
    } else {
      EXPECT_THROW(StageCheck::pids(JsonObject(object), "excludePids"), DecodeError) << c.list;
    }
  }

  auto pidOf = [](const Json& value) { return decode::integer(value); };
  const Json withNull = Json::parse(R"({"pid":null})");
  EXPECT_EQ((StageCheck::nullable<std::int64_t>(JsonObject(withNull), "pid", pidOf)), std::nullopt);
  const Json withPid = Json::parse(R"({"pid":12})");
  EXPECT_EQ((StageCheck::nullable<std::int64_t>(JsonObject(withPid), "pid", pidOf)), 12);
  const Json without = Json::object();
  EXPECT_THROW((StageCheck::nullable<std::int64_t>(JsonObject(without), "pid", pidOf)),
               DecodeError);
  const Json wrongType = Json::parse(R"({"pid":"12"})");
  EXPECT_THROW((StageCheck::nullable<std::int64_t>(JsonObject(wrongType), "pid", pidOf)),
               DecodeError);
}

TEST(Deadline, TruncatesToWholeMilliseconds) {
  struct Case {
    double seconds;
    std::int64_t milliseconds;
  };
  const std::vector<Case> cases = {{4.0, 4000}, {0.0004, 0},       {0.0019, 1},
                                   {-1.0, 0},   {std::nan(""), 0}, {1e300, INT64_MAX / 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(Deadline::truncatedMilliseconds(c.seconds).count(), c.milliseconds) << c.seconds;
  }
}

// Work outliving its deadline must end before the test does, so the sanitizers see no thread
// touching freed memory.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  bool workEnded = false;
  void openUp() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
  void waitOpen() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return open; });
  }
  void markEnded() {
    std::lock_guard lock(mutex);
    workEnded = true;
    changed.notify_all();
  }
  void waitEnded() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return workEnded; });
  }
};

TEST(Deadline, ReturnsTheFirstOfWorkAndTimer) {
  EXPECT_EQ(Deadline::first<int>(4.0, [] { return std::optional<int>(7); }), 7);
  EXPECT_EQ(Deadline::first<int>(4.0, [] { return std::optional<int>(); }), std::nullopt);

  auto gate = std::make_shared<Gate>();
  const auto started = std::chrono::steady_clock::now();
  auto late = Deadline::first<int>(0.05, [gate] {
    gate->waitOpen();
    gate->markEnded();
    return std::optional<int>(1);
  });
  EXPECT_EQ(late, std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
  gate->openUp();
  gate->waitEnded();

  auto zero = std::make_shared<Gate>();
  EXPECT_EQ(Deadline::first<int>(0.0004,
                                 [zero] {
                                   zero->waitOpen();
                                   zero->markEnded();
                                   return std::optional<int>(2);
                                 }),
            std::nullopt);
  zero->openUp();
  zero->waitEnded();
}

TEST(Once, ResumesExactlyOnceWhenBothSettleTogether) {
  for (int round = 0; round < 200; ++round) {
    Once<int> once;
    std::thread first([&] { once.settle(1); });
    std::thread second([&] { once.settle(2); });
    auto value = once.await(std::chrono::seconds(5));
    first.join();
    second.join();
    ASSERT_TRUE(value == 1 || value == 2);
  }
}

TEST(TaskPool, RunsEveryTaskAndEndsCleanly) {
  std::atomic<int> ran{0};
  {
    TaskPool pool(TaskPool::Limits{8, 256 * 1024, 2});
    for (int i = 0; i < 500; ++i) pool.run([&] { ran.fetch_add(1); });
  }
  EXPECT_EQ(ran.load(), 500);
}

TEST(EngineSwitches, TrialSwitchParsing) {
  struct Case {
    std::vector<std::string> arguments;
    std::optional<double> seconds;
    std::string path;
    std::vector<std::string> prefixes;
  };
  const std::vector<Case> cases = {
      {{"engine"}, std::nullopt, "", {}},
      {{"engine", "--spike-system-audio"}, std::nullopt, "", {}},
      {{"engine", "--spike-system-audio", "3"}, std::nullopt, "", {}},
      {{"engine", "--spike-system-audio", "3", "/tmp/a.wav"}, 3.0, "/tmp/a.wav", {}},
      {{"engine", "--spike-system-audio", "2.5", "out.wav", "com.a", "com.b"},
       2.5,
       "out.wav",
       {"com.a", "com.b"}},
      {{"engine", "--spike-system-audio", "ten", "out.wav"}, 5.0, "out.wav", {}},
      {{"engine", "--spike-system-audio", " 3", "out.wav"}, 5.0, "out.wav", {}},
      {{"engine", "--spike-system-audio", "3s", "out.wav"}, 5.0, "out.wav", {}},
      {{"engine", "--prompt-accessibility", "--spike-system-audio", "1e1", "o"}, 10.0, "o", {}},
  };
  for (const auto& c : cases) {
    auto trial = TrialSwitch::parse(c.arguments);
    ASSERT_EQ(trial.has_value(), c.seconds.has_value()) << c.arguments.size();
    if (!trial) continue;
    EXPECT_EQ(trial->seconds, *c.seconds);
    EXPECT_EQ(trial->path, c.path);
    EXPECT_EQ(trial->prefixes, c.prefixes);
  }
  EXPECT_TRUE(hasSwitch({"engine", "--prompt-accessibility"}, promptAccessibilitySwitch));
  EXPECT_FALSE(hasSwitch({"engine"}, promptAccessibilitySwitch));
}

TEST(InputLines, SplitsAtLineFeedsCarriageReturnsAndPairsAcrossReads) {
  struct Case {
    std::vector<std::string> reads;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {{"a\nb\n"}, {"a", "b"}},       {{"a\r\nb\rc\n"}, {"a", "b", "c"}},
      {{"a\r", "\nb\n"}, {"a", "b"}}, {{"a\r\r\n"}, {"a", ""}},
      {{"\n\n"}, {"", ""}},           {{"ab", "c\n", "tail"}, {"abc", "tail"}},
      {{"é\xff\n"}, {"é\xff"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines;
    InputLines splitter([&](std::string line) { lines.push_back(std::move(line)); });
    for (const auto& read : c.reads) splitter.feed(read);
    splitter.finish();
    EXPECT_EQ(lines, c.lines);
  }
}

}  // namespace
}  // namespace halcy
