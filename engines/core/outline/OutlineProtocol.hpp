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
#include "ScreenGeometry.hpp"

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
// A frame this wide or wider is a backdrop, not a control.
inline constexpr double widestControl = 4000;
inline constexpr const char* secureRole = "AXSecureTextField";
}  // namespace OutlineRules

// A value told without its text: its length in user-perceived characters and the first 8 bytes of
// its SHA-256 as 16 lowercase hexadecimal digits.
struct ControlValue {
  std::int64_t length = 0;
  std::string digest;

  Json toJson() const;
  bool operator==(const ControlValue&) const = default;
};

struct ControlState {
  std::optional<ControlValue> value;
  std::optional<bool> selected;
  std::optional<bool> expanded;
  std::optional<bool> enabled;

  Json toJson() const;
  bool operator==(const ControlState&) const = default;
};

enum class OutlineChangeKind {
  focus,
  window,
  sheet,
  menuOpened,
  menuClosed,
  value,
  moved,
  resized,
  destroyed,
  layout,
  title,
};
std::string_view wireName(OutlineChangeKind kind);

struct OutlineRead {
  std::int64_t pid = 0;
  std::int64_t budgetMs = OutlineRules::timeBudgetMs;
  std::vector<std::string> neverLook;

  static constexpr std::string_view keyNames[] = {"pid", "budgetMs", "neverLook"};

  static OutlineRead decode(const JsonObject& params);
};

struct OutlineControl {
  std::int64_t ref = 0;
  std::string role;
  std::string name;
  ScreenRect frame;

  Json toJson() const;
  bool operator==(const OutlineControl&) const = default;
};

struct Outline {
  std::int64_t outline = 0;
  std::int64_t pid = 0;
  bool refused = false;
  bool gated = false;
  std::optional<ScreenRect> window;
  std::vector<OutlineControl> controls;

  Json toJson() const;
};

// Shared by "outline.frames", "outline.state" and "outline.visible".
struct OutlineFrames {
  std::int64_t outline = 0;
  std::vector<std::int64_t> refs;

  static constexpr std::string_view keyNames[] = {"outline", "refs"};

  static OutlineFrames decode(const JsonObject& params);
};

// One entry per requested ref, in request order; none for a ref with no frame.
struct OutlineFramesRead {
  std::vector<std::optional<ScreenRect>> frames;

  Json toJson() const;
};

struct OutlineStates {
  std::vector<std::optional<ControlState>> states;

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
  std::vector<OutlineControl> controls;

  Json toJson() const;
};

struct OutlineWatch {
  // No pid ends watching.
  std::optional<std::int64_t> pid;

  static constexpr std::string_view keyNames[] = {"pid"};

  static OutlineWatch decode(const JsonObject& params);
};

struct OutlineWatching {
  std::optional<std::int64_t> pid;
  double at = 0;

  Json toJson() const;
};

// The data of an "outline.change" notice.
struct OutlineChange {
  OutlineChangeKind kind = OutlineChangeKind::layout;
  std::string role;
  std::string name;
  double at = 0;

  Json toJson() const;
};

}  // namespace halcy
