#pragma once
// The window-outline records on the wire: parameters decode strictly, results encode in field
// order.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

namespace OutlineRules {
// Most controls in an outline, and most refs one request may name.
inline constexpr std::int64_t limit = 300;
// Most elements one walk visits.
inline constexpr std::int64_t nodeBudget = 4000;
// Bounds of the time a read may ask for; the upper one is also the fixed budget of a search.
inline constexpr std::int64_t minBudgetMs = 50;
inline constexpr std::int64_t timeBudgetMs = 400;
// Most table cells and rows kept in one outline.
inline constexpr std::int64_t gridLimit = 40;
// Longest control name, in user-perceived characters; a search name, in UTF-16 code units.
inline constexpr std::int64_t nameMax = 120;
inline constexpr std::size_t outlinesKept = 4;
// Largest "limit" of a search.
inline constexpr std::int64_t findMax = 20;
}  // namespace OutlineRules

struct OutlineRead {
  std::int64_t pid = 0;
  std::int64_t budgetMs = OutlineRules::timeBudgetMs;
  std::vector<std::string> neverLook;

  static constexpr std::string_view keyNames[] = {"pid", "budgetMs", "neverLook"};

  static OutlineRead decode(const JsonObject& params);
};

struct Outline {
  Json toJson() const;
};

// Shared by "outline.frames", "outline.state" and "outline.visible".
struct OutlineFrames {
  std::int64_t outline = 0;
  std::vector<std::int64_t> refs;

  static constexpr std::string_view keyNames[] = {"outline", "refs"};

  static OutlineFrames decode(const JsonObject& params);
};

struct OutlineFramesRead {
  Json toJson() const;
};

struct OutlineStates {
  Json toJson() const;
};

struct OutlineFind {
  std::int64_t outline = 0;
  std::string name;
  // Only controls of exactly this role, when given.
  std::optional<std::string> role;
  std::int64_t limit = 1;

  static constexpr std::string_view keyNames[] = {"outline", "name", "role", "limit"};

  static OutlineFind decode(const JsonObject& params);
};

struct OutlineFoundControls {
  Json toJson() const;
};

struct OutlineWatch {
  // No pid ends watching.
  std::optional<std::int64_t> pid;

  static constexpr std::string_view keyNames[] = {"pid"};

  static OutlineWatch decode(const JsonObject& params);
};

struct OutlineWatching {
  Json toJson() const;
};

}  // namespace halcy
