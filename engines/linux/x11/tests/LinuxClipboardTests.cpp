// What the engine offers when it writes text to the clipboard, and which windows take the paste
// keystroke of a terminal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinuxClipboard.hpp"
#include "LinuxPaste.hpp"

namespace halcy {
namespace {

TEST(LinuxClipboard, WrittenTextIsOfferedUnderEveryTextTarget) {
  using Entry = LinuxClipboard::Entry;
  const std::string text = "caf\xC3\xA9 \xE2\x9C\x93";
  const std::vector<Entry> plain = {
      {"UTF8_STRING", "UTF8_STRING", 8, text},
      {"text/plain;charset=utf-8", "text/plain;charset=utf-8", 8, text},
      {"text/plain", "text/plain", 8, text},
      {"STRING", "STRING", 8, "caf\xE9 ?"},
      {"TEXT", "UTF8_STRING", 8, text},
  };
  EXPECT_EQ(LinuxClipboard::textEntries(text, false), plain);
  std::vector<Entry> transient = plain;
  transient.push_back({"x-kde-passwordManagerHint", "x-kde-passwordManagerHint", 8, "secret"});
  EXPECT_EQ(LinuxClipboard::textEntries(text, true), transient);
  EXPECT_EQ(LinuxClipboard::textEntries("", false).front().data, "");
}

TEST(LinuxPaste, TerminalsAreKnownByEitherWmClassName) {
  struct Case {
    const char* wmClass;
    bool terminal;
  };
  const std::vector<Case> cases = {
      {"xterm", true},          {"XTerm", true},    {"gnome-terminal-server", true},
      {"Gnome-terminal", true}, {"konsole", true},  {"Alacritty", true},
      {"kitty", true},          {"URxvt", true},    {"org.gnome.Console", true},
      {"gedit", false},         {"Firefox", false}, {"HalcyFixture", false},
      {"xterminal", false},     {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(LinuxPaste::isTerminal(c.wmClass), c.terminal) << c.wmClass;
}

}  // namespace
}  // namespace halcy
