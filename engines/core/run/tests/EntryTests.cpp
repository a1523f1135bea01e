#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Entry.hpp"

namespace halcy {
namespace {

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
