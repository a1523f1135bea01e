#pragma once
// The pointer and input-watch records on the wire: parameters decode strictly, results encode in
// field order.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FrontApp.hpp"
#include "Json.hpp"
#include "ScreenGeometry.hpp"

namespace halcy {

namespace PointerLimits {
// Most selected paths reported for one application.
inline constexpr std::size_t selectionMax = 20;
// Most bundle ids a "pointer.element" may ask selections of.
inline constexpr std::size_t selectionOfMax = 8;
}  // namespace PointerLimits

// Which mouse-button events an input watch reports.
enum class PointerReport { none, clicks, drags };

std::string_view wireName(PointerReport report);

enum class PointerButton { left, right };

std::string_view wireName(PointerButton button);

struct PointerState {
  double x = 0;
  double y = 0;
  std::int64_t buttons = 0;
  bool secureInput = false;
  double at = 0;

  Json toJson() const;
};

struct PointerElementRequest {
  double x = 0;
  double y = 0;
  std::vector<std::int64_t> excludePids;
  bool beneathHalcy = false;
  std::vector<std::string> neverLook;
  std::vector<std::string> selectionOf;

  static constexpr std::string_view keyNames[] = {
      "x", "y", "excludePids", "beneathHalcy", "neverLook", "selectionOf"};

  static PointerElementRequest decode(const JsonObject& params);
};

// One accessibility element as the caller's vocabulary describes it.
struct AXDescription {
  static constexpr std::string_view secureRole = "AXSecureTextField";

  std::optional<std::string> role;
  std::optional<std::string> subrole;
  std::optional<std::string> roleDescription;
  std::optional<std::string> title;
  std::optional<std::string> description;
  std::optional<std::string> help;
  std::optional<std::string> value;
  std::optional<ScreenRect> frame;

  bool isSecure() const { return role == secureRole || subrole == secureRole; }
  // A secure element's value never leaves the engine.
  AXDescription redacted() const;
  Json toJson() const;
  bool operator==(const AXDescription&) const = default;
};

struct PointerElement {
  std::optional<FrontApp> app;
  std::optional<AXDescription> element;
  std::optional<AXDescription> parent;
  std::optional<std::string> filePath;
  std::vector<std::string> selectedPaths;

  static PointerElement nothing() { return {}; }
  static PointerElement only(FrontApp app) { return {std::move(app), {}, {}, {}, {}}; }
  Json toJson() const;
  bool operator==(const PointerElement&) const = default;
};

struct InputWatch {
  PointerReport pointer = PointerReport::none;
  bool keys = false;
  bool moves = false;
  bool scroll = false;
  std::vector<std::int64_t> excludePids;

  // A watch that reports nothing ends watching instead.
  bool stops() const { return pointer == PointerReport::none && !keys && !moves && !scroll; }

  static constexpr std::string_view keyNames[] = {"pointer", "keys", "moves", "scroll",
                                                  "excludePids"};

  static InputWatch decode(const JsonObject& params);
  bool operator==(const InputWatch&) const = default;
};

struct InputWatching {
  PointerReport pointer = PointerReport::none;
  bool keys = false;
  bool moves = false;
  bool scroll = false;
  double at = 0;

  Json toJson() const;
};

// One input event as the host saw it; which fields count depends on the kind.
struct RawInput {
  enum class Kind { press, release, drag, move, scroll, key };

  Kind kind = Kind::move;
  PointerButton button = PointerButton::left;  // press and release
  double x = 0;                                // every kind but key
  double y = 0;
  double dx = 0;  // scroll
  double dy = 0;
  std::int64_t keyCode = 0;  // key
  double at = 0;             // the event's own time on the engine clock

  static RawInput press(PointerButton button, double x, double y, double at) {
    return {Kind::press, button, x, y, 0, 0, 0, at};
  }
  static RawInput release(PointerButton button, double x, double y, double at) {
    return {Kind::release, button, x, y, 0, 0, 0, at};
  }
  static RawInput drag(double x, double y, double at) {
    return {Kind::drag, PointerButton::left, x, y, 0, 0, 0, at};
  }
  static RawInput move(double x, double y, double at) {
    return {Kind::move, PointerButton::left, x, y, 0, 0, 0, at};
  }
  static RawInput scroll(double x, double y, double dx, double dy, double at) {
    return {Kind::scroll, PointerButton::left, x, y, dx, dy, 0, at};
  }
  static RawInput key(std::int64_t keyCode, double at) {
    return {Kind::key, PointerButton::left, 0, 0, 0, 0, keyCode, at};
  }
  bool operator==(const RawInput&) const = default;
};

// Data of the "input.event" notice.
struct InputEvent {
  RawInput input;
  bool overHalcy = false;  // presses and releases only

  Json toJson() const;
};

}  // namespace halcy
