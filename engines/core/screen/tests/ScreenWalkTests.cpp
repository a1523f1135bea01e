#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ScreenWalk.hpp"
#include "StructureRead.hpp"

namespace halcy {
namespace {

// A tree in memory: node 0 is the window; every fact is optional, as on a real tree.
struct FakeTree {
  using Node = int;
  struct Facts {
    std::optional<std::string> role;
    std::optional<std::string> value;
    std::optional<std::string> title;
    std::vector<int> children;
    std::optional<std::string> url;
  };
  std::map<int, Facts> nodes;
  std::vector<int> examined;  // nodes whose role was read, in order

  int add(int parent, std::optional<std::string> role, std::optional<std::string> value = {},
          std::optional<std::string> title = {}) {
    const int id = static_cast<int>(nodes.size());
    nodes[id] = Facts{std::move(role), std::move(value), std::move(title), {}, {}};
    if (id != parent) nodes[parent].children.push_back(id);
    return id;
  }
  std::optional<std::string> role(int node) {
    examined.push_back(node);
    return nodes[node].role;
  }
  std::optional<std::string> value(int node) { return nodes[node].value; }
  std::optional<std::string> title(int node) { return nodes[node].title; }
  std::vector<int> children(int node) { return nodes[node].children; }
  std::optional<std::string> url(int node) { return nodes[node].url; }
};

// The same tree, announcing what the walk is about to examine.
struct PrefetchingTree : FakeTree {
  std::vector<int> announced;
  void prefetch(std::span<const int> nodes, const RoleSet&) {
    announced.insert(announced.end(), nodes.begin(), nodes.end());
  }
};

FakeTree windowWith(const std::vector<std::string>& labels) {
  FakeTree tree;
  tree.add(0, "AXWindow");
  const int group = tree.add(0, "AXGroup");
  for (const std::string& label : labels) tree.add(group, "AXStaticText", label);
  return tree;
}

TEST(ScreenWalk, HarvestJoinsTextsBreadthFirstAndTrims) {
  FakeTree tree;
  tree.add(0, "AXWindow");
  const int deep = tree.add(0, "AXGroup");
  tree.add(0, "AXStaticText", "  first \n");
  tree.add(deep, "AXTextField", "third");
  tree.add(0, "AXTextArea", std::nullopt, "second (title)");
  tree.add(0, "AXButton", "not text");
  tree.add(0, "AXStaticText", " \t ", "an empty value does not fall back");
  tree.add(0, "AXSecureTextField", "hunter2");
  EXPECT_EQ(ScreenWalk::harvest(tree, 0, 1000, 2500), "first\nsecond (title)\nthird");
}

TEST(ScreenWalk, HarvestStopsAtTheLimitsAndCountsCharacters) {
  FakeTree tree =
      windowWith({"👩‍👩‍👧 family", "é, e with a combining accent", "never read"});
  // The first text already reaches 4 characters: the walk stops and the cut keeps 4 clusters.
  EXPECT_EQ(ScreenWalk::harvest(tree, 0, 4, 2500), "👩‍👩‍👧 fa");
  EXPECT_EQ(std::count(tree.examined.begin(), tree.examined.end(), 4), 0);
  // Window, group and one label: three nodes.
  EXPECT_EQ(ScreenWalk::harvest(tree, 0, 1000, 3), "👩‍👩‍👧 family");
  EXPECT_EQ(ScreenWalk::harvest(tree, 0, 0, 3), "");
  EXPECT_EQ(ScreenWalk::harvest(tree, 0, 10, 0), "");
}

TEST(ScreenWalk, TextPrefersAWholeDocument) {
  const std::string longText(450, 'x');
  FakeTree tree = windowWith({"a label"});
  const int scroll = tree.add(0, "AXScrollArea");
  tree.add(scroll, "AXTextArea", "\n" + longText + "\n");
  EXPECT_EQ(ScreenWalk::text(tree, 0, 16000), longText);
  // Cut to 10 characters the document is under 200, so the visible texts are read instead.
  EXPECT_EQ(ScreenWalk::text(tree, 0, 10), "a label\nxx");
}

TEST(ScreenWalk, ADocumentUnderTwoHundredCharactersGivesWayToTheVisibleText) {
  FakeTree tree = windowWith({"label one"});
  const int web = tree.add(0, "AXWebArea");
  tree.add(web, "AXStaticText", "page text");
  EXPECT_EQ(ScreenWalk::text(tree, 0, 16000), "label one\npage text");
  // A web area with enough text is read alone.
  FakeTree page = windowWith({"label one"});
  const int area = page.add(0, "AXWebArea");
  for (int i = 0; i < 30; ++i) page.add(area, "AXStaticText", "paragraph " + std::to_string(i));
  const std::string text = ScreenWalk::text(page, 0, 16000);
  EXPECT_EQ(text.rfind("paragraph 0\n", 0), 0U);
  EXPECT_EQ(text.find("label one"), std::string::npos);
}

TEST(ScreenWalk, PrefetchAnnouncesEveryNodeBeforeItIsExamined) {
  PrefetchingTree tree;
  tree.add(0, "AXWindow");
  for (int group = 0; group < 20; ++group) {
    const int g = tree.add(0, "AXGroup");
    for (int i = 0; i < 5; ++i) tree.add(g, "AXStaticText", "t" + std::to_string(i));
  }
  FakeTree plain = tree;
  EXPECT_EQ(ScreenWalk::harvest(tree, 0, 16000, 2500), ScreenWalk::harvest(plain, 0, 16000, 2500));
  for (int node : tree.examined) {
    EXPECT_NE(std::find(tree.announced.begin(), tree.announced.end(), node), tree.announced.end())
        << node;
  }
}

TEST(StructureWalk, FieldValuesKeepTheFirstSixteenNonEmpty) {
  FakeTree tree;
  tree.add(0, "AXWindow");
  tree.add(0, "AXTextField", "   ", "a title is never used");
  tree.add(0, "AXTextField", std::nullopt, "nor here");
  for (int i = 0; i < 30; ++i) tree.add(0, "AXTextField", " value " + std::to_string(i) + "\n");
  const auto values = StructureWalk::fieldValues(tree, 0);
  ASSERT_EQ(values.size(), 16U);
  EXPECT_EQ(values.front(), "value 0");
  EXPECT_EQ(values.back(), "value 15");
  FakeTree big;
  big.add(0, "AXWindow");
  big.add(0, "AXTextField", std::string(3000, 'v'));
  EXPECT_EQ(StructureWalk::fieldValues(big, 0).front().size(), 2048U);
}

TEST(StructureWalk, RowsAreTheLastFortyChildrenOfTheFirstList) {
  FakeTree tree;
  tree.add(0, "AXWindow");
  tree.add(0, "AXScrollArea");
  const int list = tree.add(0, "AXTable");
  for (int i = 0; i < 100; ++i) {
    const int row = tree.add(list, "AXRow");
    const int cell = tree.add(row, "AXCell");
    tree.add(cell, "AXStaticText", "Row " + std::to_string(i));
    tree.add(cell, "AXStaticText", std::nullopt, "n" + std::to_string(i));
  }
  const auto rows = StructureWalk::rows(tree, 0);
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 40U);
  EXPECT_EQ(rows->front(), (std::vector<std::string>{"Row 60", "n60"}));
  EXPECT_EQ(rows->back(), (std::vector<std::string>{"Row 99", "n99"}));
}

TEST(StructureWalk, RowsFallBackToAScrollAreaAndElseAreNull) {
  FakeTree scrolled;
  scrolled.add(0, "AXWindow");
  const int scroll = scrolled.add(0, "AXScrollArea");
  scrolled.add(scroll, "AXGroup");
  EXPECT_EQ(StructureWalk::rows(scrolled, 0), (std::vector<std::vector<std::string>>{{}}));
  FakeTree emptyList;
  emptyList.add(0, "AXWindow");
  emptyList.add(0, "AXList");
  EXPECT_EQ(StructureWalk::rows(emptyList, 0), (std::vector<std::vector<std::string>>{}));
  FakeTree none = windowWith({"label"});
  EXPECT_EQ(StructureWalk::rows(none, 0), std::nullopt);
}

TEST(StructureWalk, RowsWalkedSideBySideMatchRowsWalkedOneByOne) {
  PrefetchingTree tree;
  tree.add(0, "AXWindow");
  const int list = tree.add(0, "AXOutline");
  for (int i = 0; i < 50; ++i) {
    const int row = tree.add(list, "AXRow");
    for (int depth = 0, parent = row; depth < i % 4; ++depth) parent = tree.add(parent, "AXGroup");
    tree.add(row, "AXStaticText", "r" + std::to_string(i));
  }
  const auto rows = StructureWalk::rows(tree, 0);
  ASSERT_TRUE(rows);
  for (std::size_t i = 0; i < rows->size(); ++i) {
    EXPECT_EQ((*rows)[i], (std::vector<std::string>{"r" + std::to_string(i + 10)}));
  }
}

TEST(StructureWalk, WebUrlOfTheFirstWebArea) {
  FakeTree tree = windowWith({"label"});
  const int web = tree.add(0, "AXWebArea");
  tree.nodes[web].url = "https://example.org/page";
  EXPECT_EQ(StructureWalk::facts(tree, 0).webUrl, "https://example.org/page");
  FakeTree noWeb = windowWith({"label"});
  EXPECT_EQ(StructureWalk::facts(noWeb, 0).webUrl, std::nullopt);
}

TEST(StructureWalk, FactsEncodeEveryKey) {
  EXPECT_EQ(StructureFacts::none().toJson().dump(),
            R"({"windowTitle":null,"webUrl":null,"fieldValues":[],"rows":null})");
  StructureFacts facts{
      "Title", "https://x.org", {"a"}, std::vector<std::vector<std::string>>{{"r"}, {}}};
  EXPECT_EQ(
      facts.toJson().dump(),
      R"({"windowTitle":"Title","webUrl":"https://x.org","fieldValues":["a"],"rows":[["r"],[]]})");
}

}  // namespace
}  // namespace halcy
