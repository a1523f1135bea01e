#include "OutlineRules.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>
#include <vector>

namespace halcy {
namespace {

namespace Rules = OutlineRules;

TEST(OutlineRules, RoleTablesSayWhichElementsAreConsideredAndKeptUnnamed) {
  struct Case {
    std::string role;
    bool considered;
    bool keptUnnamed;
  };
  const std::vector<Case> cases = {
      {"AXButton", true, true},
      {"AXMenuBarItem", true, true},
      {"AXTextField", true, true},
      {"AXCell", true, true},
      {"AXRow", true, true},
      {"AXDockItem", true, true},
      {"AXStaticText", true, false},
      {"AXHeading", true, false},
      {"AXImage", true, false},
      {"AXGroup", false, false},
      {"AXWindow", false, false},
      {"AXScrollArea", false, false},
      {"AXSecureTextField", false, false},
      {"axbutton", false, false},
      {"", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rules::considers(c.role), c.considered) << c.role;
    EXPECT_EQ(Rules::keepsUnnamed(c.role), c.keptUnnamed) << c.role;
  }
  EXPECT_EQ(Rules::actionable().size(), 21U);
  EXPECT_EQ(Rules::named().size(), 3U);
}

TEST(OutlineRules, UsableFramesAreControlShapedAndOnTheWindow) {
  const ScreenRect window{100, 100, 400, 300};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    ScreenRect frame;
    std::optional<ScreenRect> window;
    bool usable;
  };
  const std::vector<Case> cases = {
      {"inside", {150, 150, 80, 20}, window, true},
      {"1.5 x 1.5 points", {150, 150, 1.5, 1.5}, window, true},
      {"exactly 1 point high", {150, 150, 80, 1}, window, false},
      {"exactly 1 point wide", {150, 150, 1, 20}, window, false},
      {"4000 points wide", {150, 150, 4000, 20}, std::nullopt, false},
      {"3999.5 points wide", {150, 150, 3999.5, 20}, std::nullopt, true},
      {"no window: anywhere", {-5000, -5000, 80, 20}, std::nullopt, true},
      {"NaN width", {150, 150, nan, 20}, window, false},
      {"NaN x", {nan, 150, 80, 20}, window, false},
      {"ends exactly at the left margin", {18, 150, 80, 20}, window, false},
      {"ends just inside the left margin", {18.5, 150, 80, 20}, window, true},
      {"starts exactly at the right margin", {502, 150, 80, 20}, window, false},
      {"starts just inside the right margin", {501.5, 150, 80, 20}, window, true},
      {"ends exactly at the top margin", {150, 78, 80, 20}, window, false},
      {"starts exactly at the bottom margin", {150, 402, 80, 20}, window, false},
      {"starts just inside the bottom margin", {150, 401, 80, 20}, window, true},
      {"far away", {1000, 1000, 80, 20}, window, false},
  };
  for (const Case& c : cases) EXPECT_EQ(Rules::usable(c.frame, c.window), c.usable) << c.what;
}

TEST(OutlineRules, NamesComeFromTheFirstAttributeThatHoldsText) {
  using Attributes = std::map<std::string, std::string>;
  struct Case {
    const char* what;
    std::string role;
    Attributes attributes;
    std::string name;
  };
  const std::string long130(130, 'x');
  const std::vector<Case> cases = {
      {"title first", "AXButton", {{"AXTitle", "Save"}, {"AXDescription", "Saves"}}, "Save"},
      {"trimmed", "AXButton", {{"AXTitle", " \n Save\t "}}, "Save"},
      {"blank title falls to the description",
       "AXButton",
       {{"AXTitle", "   "}, {"AXDescription", "Close"}},
       "Close"},
      {"no-break spaces are blank", "AXStaticText", {{"AXTitle", "\u00a0\u2003"}}, ""},
      {"value names a static text", "AXStaticText", {{"AXValue", "Hello"}}, "Hello"},
      {"help last", "AXImage", {{"AXHelp", "A chart"}}, "A chart"},
      {"placeholder names a field", "AXTextField", {{"AXPlaceholderValue", "Search"}}, "Search"},
      {"a field's value is never its name", "AXTextField", {{"AXValue", "typed"}}, ""},
      {"nor its help", "AXSearchField", {{"AXHelp", "help"}}, ""},
      {"a placeholder does not name a button", "AXButton", {{"AXPlaceholderValue", "x"}}, ""},
      {"nothing", "AXButton", {}, ""},
      {"cut to 120 characters", "AXButton", {{"AXTitle", long130}}, std::string(120, 'x')},
      // "e" and a combining acute accent are one character.
      {"cut by user-perceived characters",
       "AXButton",
       {{"AXTitle", std::string(119, 'a') + "e\u0301" + "zz"}},
       std::string(119, 'a') + "e\u0301"},
  };
  for (const Case& c : cases) {
    const std::string name = Rules::name(c.role, [&](std::string_view attribute) {
      const auto found = c.attributes.find(std::string(attribute));
      return found == c.attributes.end() ? std::nullopt : std::optional<std::string>(found->second);
    });
    EXPECT_EQ(name, c.name) << c.what;
  }
  EXPECT_EQ(Rules::nameAttributes("AXComboBox"),
            (std::vector<std::string_view>{"AXTitle", "AXDescription", "AXPlaceholderValue"}));
  EXPECT_EQ(Rules::nameAttributes("AXLink"),
            (std::vector<std::string_view>{"AXTitle", "AXDescription", "AXValue", "AXHelp"}));
}

TEST(OutlineRules, KeepOrdersMenuBarItemsThenActionableThenNamedAndCapsTheGrid) {
  struct Case {
    const char* what;
    std::vector<std::string> roles;
    std::vector<bool> menuBar;
    std::int64_t limit;
    std::vector<std::size_t> kept;
  };
  std::vector<std::string> cellsThenButton(50, "AXCell");
  cellsThenButton.emplace_back("AXButton");
  std::vector<std::size_t> first40AndButton;
  for (std::size_t i = 0; i < 40; ++i) first40AndButton.push_back(i);
  first40AndButton.push_back(50);
  const std::vector<Case> cases = {
      {"50 cells and a button", cellsThenButton, {}, 300, first40AndButton},
      {"a static text goes after a button", {"AXStaticText", "AXButton"}, {}, 300, {1, 0}},
      {"a menu-bar item found last goes first",
       {"AXButton", "AXStaticText", "AXMenuBarItem"},
       {false, false, true},
       300,
       {2, 0, 1}},
      {"a missing flag is not set", {"AXStaticText", "AXMenuBarItem"}, {true}, 300, {0, 1}},
      {"rows and cells share the cap",
       [] {
         std::vector<std::string> roles(30, "AXRow");
         roles.insert(roles.end(), 20, "AXCell");
         return roles;
       }(),
       {},
       300,
       [] {
         std::vector<std::size_t> kept;
         for (std::size_t i = 0; i < 40; ++i) kept.push_back(i);
         return kept;
       }()},
      {"limit keeps the first in order", {"AXStaticText", "AXButton", "AXLink"}, {}, 2, {1, 2}},
      {"limit 0 keeps none", {"AXButton"}, {}, 0, {}},
      {"negative limit keeps none", {"AXButton"}, {}, -3, {}},
      {"nothing found", {}, {}, 300, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Rules::keep(c.roles, c.menuBar, c.limit), c.kept) << c.what;
}

TEST(OutlineRules, LiveAndVisibleFrames) {
  const ScreenRect frame{100, 100, 50, 20};
  struct Case {
    const char* what;
    std::optional<ScreenRect> frame;
    std::optional<ScreenRect> scrollArea;
    std::optional<ScreenRect> window;
    std::optional<ScreenRect> visible;
  };
  const std::vector<Case> cases = {
      {"no clips", frame, std::nullopt, std::nullopt, frame},
      {"no frame", std::nullopt, frame, frame, std::nullopt},
      {"a line is not live", ScreenRect{100, 100, 50, 1}, std::nullopt, std::nullopt, std::nullopt},
      {"clipped by the scroll area", frame, ScreenRect{0, 110, 500, 500}, std::nullopt,
       ScreenRect{100, 110, 50, 10}},
      {"then by the window", frame, ScreenRect{0, 110, 500, 500}, ScreenRect{120, 0, 500, 500},
       ScreenRect{120, 110, 30, 10}},
      {"scrolled out of view", frame, ScreenRect{0, 200, 500, 500}, std::nullopt, std::nullopt},
      {"touching is not overlapping", frame, ScreenRect{150, 0, 10, 500}, std::nullopt,
       std::nullopt},
      {"outside the window", frame, std::nullopt, ScreenRect{0, 0, 50, 50}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rules::visible(c.frame, c.scrollArea, c.window), c.visible) << c.what;
  }
  EXPECT_EQ(Rules::live(ScreenRect{0, 0, 1.5, 1.5}), (ScreenRect{0, 0, 1.5, 1.5}));
  EXPECT_EQ(Rules::live(ScreenRect{0, 0, 1, 5}), std::nullopt);
  EXPECT_EQ(Rules::live(std::nullopt), std::nullopt);
}

TEST(OutlineRules, ValueFactsTellLengthAndDigestNeverTheText) {
  struct Case {
    const char* what;
    std::optional<std::string> value;
    bool secure;
    std::optional<ControlValue> fact;
  };
  const std::vector<Case> cases = {
      {"abc", "abc", false, ControlValue{3, "ba7816bf8f01cfea"}},
      {"empty", "", false, ControlValue{0, "e3b0c44298fc1c14"}},
      {"hello", "hello", false, ControlValue{5, "2cf24dba5fb0a30e"}},
      // One family emoji of five code points is one character; the digest is of the UTF-8 bytes.
      {"emoji", "\U0001F468\u200D\U0001F469\u200D\U0001F467", false,
       ControlValue{1, "cc3baf32248d7665"}},
      {"secure", "hunter2", true, std::nullopt},
      {"no value", std::nullopt, false, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto fact = Rules::valueFact(c.value, c.secure);
    EXPECT_EQ(Rules::valueFact(c.value, c.secure), c.fact) << c.what;
  }
}

TEST(OutlineRules, MatchingIgnoresCaseAndDiacritics) {
  struct Case {
    std::string name;
    std::string query;
    bool matches;
  };
  const std::vector<Case> cases = {
      {"Résumé Builder", "resume", true},
      {"Résumé Builder", "BUILD", true},
      {"Résumé Builder", "RÉSUMÉ", true},
      {"Resume Builder", "résumé", true},
      // Precomposed and decomposed accents are the same letter.
      {"Re\u0301sume\u0301", "r\u00e9sum\u00e9", true},
      {"Straße", "STRASSE", true},
      {"Ångström", "angstrom", true},
      {"Save", "save as", false},
      {"Save As", "as", true},
      {"Builder", "résumé", false},
      {"", "a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rules::matches(c.name, c.query), c.matches) << c.name << " / " << c.query;
  }
}

TEST(OutlineRules, NotificationsMapToChangeKinds) {
  struct Case {
    std::string notification;
    std::optional<OutlineChangeKind> kind;
  };
  using Kind = OutlineChangeKind;
  const std::vector<Case> cases = {
      {"AXFocusedUIElementChanged", Kind::focus},
      {"AXFocusedWindowChanged", Kind::window},
      {"AXWindowCreated", Kind::window},
      {"AXSheetCreated", Kind::sheet},
      {"AXMenuOpened", Kind::menuOpened},
      {"AXMenuClosed", Kind::menuClosed},
      {"AXValueChanged", Kind::value},
      {"AXMoved", Kind::moved},
      {"AXResized", Kind::resized},
      {"AXUIElementDestroyed", Kind::destroyed},
      {"AXLayoutChanged", Kind::layout},
      {"AXTitleChanged", Kind::title},
      {"AXSelectedChildrenChanged", Kind::layout},
      {"AXSelectedTextChanged", std::nullopt},
      {"AXRowExpanded", std::nullopt},
      {"axvaluechanged", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(Rules::kind(c.notification), c.kind) << c.notification;
  EXPECT_EQ(wireName(Kind::menuOpened), "menuOpened");
  EXPECT_EQ(wireName(Kind::title), "title");
}

TEST(OutlineRules, ChangeNamesPreferTheTitleUntouched) {
  struct Case {
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"Save", "Saves", "Save"},
      {"", "Close", "Close"},
      {std::nullopt, "Close", "Close"},
      {std::nullopt, std::nullopt, ""},
      {"", "", ""},
      {"  padded  ", std::nullopt, "  padded  "},
      {std::string(200, 'x'), std::nullopt, std::string(200, 'x')},
  };
  for (const Case& c : cases) EXPECT_EQ(Rules::changeName(c.title, c.description), c.name);
}

}  // namespace
}  // namespace halcy
