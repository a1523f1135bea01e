#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinuxClipboard.hpp"
#include "LinuxFields.hpp"
#include "LinuxPaste.hpp"

namespace halcy {
namespace {

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

TEST(LinuxFieldHost, HarvestsTextRolesButNeverSecureFields) {
  struct Case {
    const char* role;
    bool harvested;
  };
  const std::vector<Case> cases = {
      {"AXStaticText", true},   {"AXTextArea", true},
      {"AXTextField", true},    {"AXSecureTextField", false},
      {"AXSearchField", false}, {"AXButton", false},
      {"AXWindow", false},      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(LinuxFieldHost::harvested(c.role), c.harvested) << c.role;
}

TEST(LinuxFieldHost, TrimsUnicodeWhiteSpaceAndLineBreaksAtBothEndsOnly) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {" \n\t\r ", ""},
      {"plain", "plain"},
      {"  two words \n", "two words"},
      {"\nfirst\nsecond\n", "first\nsecond"},
      {"\xC2\xA0no-break spaces\xE2\x80\x83", "no-break spaces"},
      {"\xE2\x80\xA8line separator", "line separator"},
      {"inner\xC2\xA0space", "inner\xC2\xA0space"},
      {"\xE2\x80\x8Bzero width is no space", "\xE2\x80\x8Bzero width is no space"},
  };
  for (const auto& c : cases) EXPECT_EQ(LinuxFieldHost::trimmed(c.text), c.expected) << c.text;
}

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

}  // namespace
}  // namespace halcy
