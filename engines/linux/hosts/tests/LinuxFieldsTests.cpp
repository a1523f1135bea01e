#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "AtSpi.hpp"
#include "LinuxFields.hpp"
#include "LinuxRoles.hpp"

namespace halcy {
namespace {

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

// The walk decides from the AT-SPI role alone, before it knows an element's states or attributes:
// no state, parent or search flag may turn a harvested role into one that is not, or back.
TEST(LinuxFieldHost, HarvestedRolesDoNotDependOnContext) {
  const AtSpiStates none{};
  const AtSpiStates states[] = {none, none.with(AtSpiState::multiLine),
                                none.with(AtSpiState::singleLine), none.with(AtSpiState::editable),
                                none.with(AtSpiState::expandable)};
  const AtSpiRole parents[] = {AtSpiRole::invalid, AtSpiRole::menuBar, AtSpiRole::menu,
                               AtSpiRole::popupMenu};
  for (std::uint32_t role = 0; role <= 140; ++role) {
    for (const AtSpiStates& s : states) {
      for (const AtSpiRole parent : parents) {
        for (const bool search : {false, true}) {
          const auto ax = LinuxRoles::axRole(role, LinuxRoles::RoleContext{s, parent, search});
          EXPECT_EQ(LinuxFieldHost::harvested(ax.role), LinuxFieldHost::harvestedRole(role))
              << "AT-SPI role " << role << " as " << ax.role;
        }
      }
    }
  }
  EXPECT_TRUE(LinuxFieldHost::harvestedRole(static_cast<std::uint32_t>(AtSpiRole::label)));
  EXPECT_TRUE(LinuxFieldHost::harvestedRole(static_cast<std::uint32_t>(AtSpiRole::text)));
  EXPECT_FALSE(LinuxFieldHost::harvestedRole(static_cast<std::uint32_t>(AtSpiRole::passwordText)));
}

AtSpiCacheItem cached(const char* self, const char* parent, std::int32_t index,
                      std::int32_t childCount, std::vector<std::string> interfaces = {}) {
  AtSpiCacheItem item;
  item.self = {":1.5", self};
  item.parent = {":1.5", parent};
  item.indexInParent = index;
  item.childCount = childCount;
  item.interfaces = std::move(interfaces);
  return item;
}

// Children come from the cache only when it holds every one of them in place; anything else is
// asked of the element itself.
TEST(LinuxFieldHost, CacheGivesChildrenOnlyWhenItHoldsAllOfThem) {
  using Refs = std::vector<AtSpiRef>;
  const AtSpiRef window{":1.5", "/w"};
  const AtSpiRef a{":1.5", "/a"};
  const AtSpiRef b{":1.5", "/b"};
  const AtSpiRef c{":1.5", "/c"};
  struct Case {
    const char* what;
    std::vector<AtSpiCacheItem> items;
    std::optional<Refs> expected;
  };
  const std::vector<Case> cases = {
      {"in index order, not cache order",
       {cached("/w", "/app", 0, 3), cached("/c", "/w", 2, 0), cached("/a", "/w", 0, 0),
        cached("/b", "/w", 1, 0)},
       Refs{a, b, c}},
      {"no children", {cached("/w", "/app", 0, 0)}, Refs{}},
      {"a child left out (tree-view cells)",
       {cached("/w", "/app", 0, 3), cached("/a", "/w", 0, 0), cached("/b", "/w", 1, 0)},
       std::nullopt},
      {"more cached than the count",
       {cached("/w", "/app", 0, 1), cached("/a", "/w", 0, 0), cached("/b", "/w", 1, 0)},
       std::nullopt},
      {"a gap in the indexes",
       {cached("/w", "/app", 0, 2), cached("/a", "/w", 0, 0), cached("/b", "/w", 2, 0)},
       std::nullopt},
      {"two children claim one place",
       {cached("/w", "/app", 0, 2), cached("/a", "/w", 0, 0), cached("/b", "/w", 0, 0)},
       std::nullopt},
      {"an index the bridge does not know",
       {cached("/w", "/app", 0, 1), cached("/a", "/w", -1, 0)},
       std::nullopt},
      {"a socket holds another application",
       {cached("/w", "/app", 0, 0, {"org.a11y.atspi.Accessible", "org.a11y.atspi.Socket"})},
       std::nullopt},
      {"the element itself is not cached", {cached("/a", "/w", 0, 0)}, std::nullopt},
      // GTK's list boxes say -1 and keep their rows out of the cache.
      {"a count the application does not know", {cached("/w", "/app", 0, -1)}, std::nullopt},
      {"an application root names itself as its parent",
       {cached("/w", "/w", -1, 1), cached("/a", "/w", 0, 0)},
       Refs{a}},
  };
  for (const Case& c : cases) {
    const LinuxFieldHost::CachedTree tree(c.items);
    EXPECT_EQ(tree.children(window), c.expected) << c.what;
  }
  EXPECT_EQ(LinuxFieldHost::CachedTree(std::nullopt).children(window), std::nullopt);
}

// What the walk still has to ask of each element: nothing but its text when the cache described
// it, everything when it did not.
TEST(LinuxFieldHost, VisitsTakeWhatTheCacheKnows) {
  AtSpiCacheItem label = cached("/l", "/w", 0, 0, {"org.a11y.atspi.Text"});
  label.role = static_cast<std::uint32_t>(AtSpiRole::label);
  label.name = "Name";
  AtSpiCacheItem image = cached("/i", "/w", 1, 0, {"org.a11y.atspi.Image"});
  image.role = static_cast<std::uint32_t>(AtSpiRole::image);
  const LinuxFieldHost::CachedTree tree({{label, image}});
  const auto visits =
      tree.visits({label.self, image.self, AtSpiRef{":1.5", "/cell"}, AtSpiRef{":1.9", "/l"}});
  ASSERT_EQ(visits.size(), 4U);
  EXPECT_TRUE(visits[0].cached);
  EXPECT_EQ(visits[0].role, label.role);
  EXPECT_EQ(visits[0].name, "Name");
  EXPECT_TRUE(visits[0].hasText);
  EXPECT_EQ(visits[0].children, std::vector<AtSpiRef>{});
  EXPECT_FALSE(visits[1].hasText);
  for (std::size_t i : {2U, 3U}) {
    EXPECT_FALSE(visits[i].cached) << i;
    EXPECT_EQ(visits[i].role, std::nullopt) << i;
    EXPECT_EQ(visits[i].children, std::nullopt) << i;
    EXPECT_TRUE(visits[i].hasText) << i;
  }
}

}  // namespace
}  // namespace halcy
