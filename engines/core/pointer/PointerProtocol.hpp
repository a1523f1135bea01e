#pragma once
// The pointer and input-watch records on the wire: parameters decode strictly, results encode in
// field order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

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

struct PointerState {
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

struct PointerElement {
  Json toJson() const;
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
};

struct InputWatching {
  Json toJson() const;
};

}  // namespace halcy
