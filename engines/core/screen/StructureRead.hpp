#pragma once
// The structure-read records on the wire (parameters decode strictly, results encode in field
// order) and the walk that finds a window's web address, field values and list rows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Json.hpp"
#include "ScreenWalk.hpp"

namespace halcy {

struct StructureRead {
  std::int64_t pid = 0;
  // The identifier checked against `neverLook`, as the caller names it.
  std::string bundleId;
  std::vector<std::string> neverLook;
  static constexpr std::string_view keyNames[] = {"pid", "bundleId", "neverLook"};
  static StructureRead decode(const JsonObject& params);
};

struct StructureFacts {
  std::optional<std::string> windowTitle;
  std::optional<std::string> webUrl;
  std::vector<std::string> fieldValues;
  std::optional<std::vector<std::vector<std::string>>> rows;

  // Title and address null, no field values, rows null.
  static StructureFacts none() { return {}; }
  Json toJson() const;
  bool operator==(const StructureFacts&) const = default;
};

// A TextTree that also tells the web address a node shows.
template <class Tree>
concept StructureTree = TextTree<Tree> && requires(Tree& tree, const typename Tree::Node& node) {
  { tree.url(node) } -> std::convertible_to<std::optional<std::string>>;
};

namespace StructureWalk {

inline constexpr std::int64_t searchNodes = 3000;
inline constexpr std::size_t maxFields = 16;
inline constexpr std::int64_t fieldChars = 2048;
inline constexpr std::size_t maxRows = 40;
inline constexpr std::int64_t rowNodes = 400;
inline const RoleSet listRoles = {"AXList", "AXTable", "AXOutline"};

template <StructureTree Tree>
std::optional<typename Tree::Node> firstWithRole(Tree& tree, const typename Tree::Node& window,
                                                 const RoleSet& roles) {
  return ScreenWalk::firstDescendant(tree, window, searchNodes, {}, [&](const auto& node) {
    const auto role = tree.role(node);
    return role && roles.contains(*role);
  });
}

template <StructureTree Tree>
std::optional<std::string> webUrl(Tree& tree, const typename Tree::Node& window) {
  const auto area = firstWithRole(tree, window, {"AXWebArea"});
  if (!area) return std::nullopt;
  return tree.url(*area);
}

template <StructureTree Tree>
std::vector<std::string> fieldValues(Tree& tree, const typename Tree::Node& window) {
  static const RoleSet fieldRoles = {"AXTextField"};
  std::vector<std::string> values;
  ScreenWalk::breadthFirst(
      tree, window, searchNodes, fieldRoles,
      [&](const auto& node) {
        const auto role = tree.role(node);
        if (!role || !fieldRoles.contains(*role)) return true;
        // The field's title never stands in for its value.
        if (auto value = tree.value(node)) {
          std::string kept = ScreenWalk::boundedText(*value, fieldChars);
          if (!kept.empty()) values.push_back(std::move(kept));
        }
        return values.size() < maxFields;
      },
      [](const auto&) { return true; });
  return values;
}

// The static texts of each row, each row walked breadth first within its own node limit. The rows
// are walked side by side, a generation at a time, so that a tree can be asked about one
// generation of every row at once; each row's own order stays breadth first.
template <StructureTree Tree>
std::vector<std::vector<std::string>> rowTexts(Tree& tree,
                                               const std::vector<typename Tree::Node>& rows) {
  using Node = typename Tree::Node;
  static const RoleSet staticText = {"AXStaticText"};
  struct Walk {
    std::vector<Node> queue;
    std::size_t head = 0;
    std::int64_t examined = 0;
  };
  std::vector<Walk> walks;
  for (const Node& row : rows) walks.push_back(Walk{{row}});
  std::vector<std::vector<std::string>> texts(rows.size());
  for (bool working = true; working;) {
    std::vector<std::pair<std::size_t, std::size_t>> generation;  // walk, end of its stretch
    std::vector<Node> announced;
    for (Walk& walk : walks) {
      const auto room = static_cast<std::size_t>(rowNodes - walk.examined);
      const std::size_t end = std::min(walk.queue.size(), walk.head + room);
      announced.insert(announced.end(), walk.queue.begin() + static_cast<std::ptrdiff_t>(walk.head),
                       walk.queue.begin() + static_cast<std::ptrdiff_t>(end));
      generation.emplace_back(&walk - walks.data(), end);
    }
    if constexpr (requires { tree.prefetch(std::span<const Node>(announced), staticText); }) {
      if (!announced.empty()) tree.prefetch(std::span<const Node>(announced), staticText);
    }
    working = false;
    for (const auto& [index, end] : generation) {
      Walk& walk = walks[index];
      for (; walk.head < end; ++walk.head, ++walk.examined) {
        const Node node = walk.queue[walk.head];
        const auto role = tree.role(node);
        if (role && staticText.contains(*role)) {
          if (auto text = ScreenWalk::shownText(tree, node)) {
            texts[index].push_back(Graphemes::prefix(*text, static_cast<std::size_t>(fieldChars)));
          }
        }
        for (Node& child : tree.children(node)) walk.queue.push_back(std::move(child));
      }
      working = working || (walk.head < walk.queue.size() && walk.examined < rowNodes);
    }
  }
  return texts;
}

template <StructureTree Tree>
std::optional<std::vector<std::vector<std::string>>> rows(Tree& tree,
                                                          const typename Tree::Node& window) {
  auto container = firstWithRole(tree, window, listRoles);
  if (!container) container = firstWithRole(tree, window, {"AXScrollArea"});
  if (!container) return std::nullopt;
  auto children = tree.children(*container);
  if (children.size() > maxRows) {
    children.erase(children.begin(), children.end() - static_cast<std::ptrdiff_t>(maxRows));
  }
  return rowTexts(tree, children);
}

// Everything but the window's title, which the host reads itself.
template <StructureTree Tree>
StructureFacts facts(Tree& tree, const typename Tree::Node& window) {
  StructureFacts found;
  found.webUrl = webUrl(tree, window);
  found.fieldValues = fieldValues(tree, window);
  found.rows = rows(tree, window);
  return found;
}

}  // namespace StructureWalk

}  // namespace halcy
