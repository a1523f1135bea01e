#pragma once
// The text of a window read from its accessibility tree: a whole document when the window shows
// one, else the texts of its visible elements in breadth-first order. Generic over any TextTree,
// so the rules run the same against a platform's tree and a test's.

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ScreenRules.hpp"
#include "Text.hpp"

namespace halcy {

// A view of an accessibility tree. A tree may also offer `prefetch(nodes, valueRoles)`: the walk
// announces the nodes it is about to examine, and for which roles it will want values, so a tree
// over a slow bus can ask about all of them at once; the answers must be those the four operations
// would give.
template <class Tree>
concept TextTree = requires(Tree& tree, const typename Tree::Node& node) {
  { tree.role(node) } -> std::convertible_to<std::optional<std::string>>;
  { tree.value(node) } -> std::convertible_to<std::optional<std::string>>;
  { tree.title(node) } -> std::convertible_to<std::optional<std::string>>;
  { tree.children(node) } -> std::convertible_to<std::vector<typename Tree::Node>>;
};

using RoleSet = std::set<std::string, std::less<>>;

namespace ScreenWalk {

inline constexpr std::size_t fullDocumentMinimum = 200;
inline constexpr std::int64_t documentSearchNodes = 3000;
inline constexpr std::int64_t documentNodes = 12000;
inline constexpr std::int64_t visibleNodes = 2500;
inline const RoleSet textRoles = {"AXStaticText", "AXTextArea", "AXTextField"};

// Breadth first from `root`: `examine` answers whether to go on, `descend` whether the node's
// children join the queue. At most `maxNodes` nodes are examined, the root counting as one.
template <TextTree Tree, class Examine, class Descend>
void breadthFirst(Tree& tree, const typename Tree::Node& root, std::int64_t maxNodes,
                  const RoleSet& valueRoles, Examine examine, Descend descend) {
  using Node = typename Tree::Node;
  std::vector<Node> queue{root};
  std::size_t head = 0;
  std::size_t announced = 0;
  std::size_t batch = 16;
  for (std::int64_t examined = 0; head < queue.size() && examined < maxNodes; ++examined) {
    if constexpr (requires { tree.prefetch(std::span<const Node>(queue), valueRoles); }) {
      if (head >= announced) {
        const auto left = static_cast<std::size_t>(maxNodes - examined);
        announced = std::min({queue.size(), head + batch, head + left});
        tree.prefetch(std::span<const Node>(queue.data() + head, announced - head), valueRoles);
        // Few at first, for a walk that ends early; more each time for one that goes on.
        batch = std::min<std::size_t>(batch * 2, 512);
      }
    }
    const Node node = queue[head++];
    if (!examine(node)) return;
    if (descend(node)) {
      for (Node& child : tree.children(node)) queue.push_back(std::move(child));
    }
  }
}

template <TextTree Tree, class Predicate>
std::optional<typename Tree::Node> firstDescendant(Tree& tree, const typename Tree::Node& root,
                                                   std::int64_t maxNodes, const RoleSet& valueRoles,
                                                   Predicate predicate) {
  std::optional<typename Tree::Node> found;
  breadthFirst(
      tree, root, maxNodes, valueRoles,
      [&](const auto& node) {
        if (predicate(node)) found = node;
        return !found;
      },
      [](const auto&) { return true; });
  return found;
}

// The node's value, else its title when the value is unknown, trimmed; none when nothing is left.
template <TextTree Tree>
std::optional<std::string> shownText(Tree& tree, const typename Tree::Node& node) {
  std::optional<std::string> text = tree.value(node);
  if (!text) text = tree.title(node);
  if (!text) return std::nullopt;
  std::string trimmed = trimmedText(*text);
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

template <TextTree Tree>
std::string harvest(Tree& tree, const typename Tree::Node& root, std::int64_t maxChars,
                    std::int64_t maxNodes) {
  if (maxChars <= 0 || maxNodes <= 0) return {};
  const auto limit = static_cast<std::size_t>(maxChars);
  std::string joined;
  std::size_t total = 0;
  breadthFirst(
      tree, root, maxNodes, textRoles,
      [&](const auto& node) {
        const auto role = tree.role(node);
        if (role && textRoles.contains(*role)) {
          if (auto text = shownText(tree, node)) {
            total += Graphemes::count(*text, limit);
            if (!joined.empty()) joined += '\n';
            joined += *text;
          }
        }
        return total < limit;
      },
      [](const auto&) { return true; });
  return Graphemes::prefix(joined, limit);
}

inline std::string boundedText(std::string_view text, std::int64_t maxChars) {
  if (maxChars <= 0) return {};
  return Graphemes::prefix(trimmedText(text), static_cast<std::size_t>(maxChars));
}

template <TextTree Tree>
std::optional<std::string> fullDocument(Tree& tree, const typename Tree::Node& root,
                                        std::int64_t maxChars) {
  static const RoleSet documentRoles = {"AXTextArea", "AXScrollArea"};
  const auto valueLength = [&](const auto& node) -> std::size_t {
    const auto value = tree.value(node);
    // One past the threshold tells a value over it.
    return value ? Graphemes::count(*value, ScreenRules::documentValueThreshold + 1) : 0;
  };
  const auto document =
      firstDescendant(tree, root, documentSearchNodes, documentRoles, [&](const auto& node) {
        const auto role = tree.role(node);
        // Only these roles look at the value's length, so only they ask for it.
        if (!role || !documentRoles.contains(*role)) return ScreenRules::isDocumentRoot(role, 0);
        return ScreenRules::isDocumentRoot(role, valueLength(node));
      });
  if (!document) return std::nullopt;
  if (const auto value = tree.value(*document);
      value && Graphemes::count(*value, ScreenRules::documentValueThreshold + 1) >
                   ScreenRules::documentValueThreshold) {
    return boundedText(*value, maxChars);
  }
  std::string text = harvest(tree, *document, maxChars, documentNodes);
  if (text.empty()) return std::nullopt;
  return text;
}

template <TextTree Tree>
std::string text(Tree& tree, const typename Tree::Node& root, std::int64_t maxChars) {
  if (auto document = fullDocument(tree, root, maxChars);
      document && Graphemes::count(*document, fullDocumentMinimum) >= fullDocumentMinimum) {
    return *document;
  }
  return harvest(tree, root, maxChars, visibleNodes);
}

}  // namespace ScreenWalk

}  // namespace halcy
