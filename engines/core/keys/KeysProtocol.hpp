#pragma once
// The keys and front-application records on the wire: parameters decode strictly, results encode in
// field order.

#include <cstdint>
#include <string_view>

#include "Json.hpp"

namespace halcy {

struct KeysWatch {
  // The widest modifier mask the platform's flags can hold (0xFFFFFF).
  static constexpr std::uint64_t flagsMaskMax = 16777215;

  bool watch = false;
  // Key and button presses pass only while a modifier of this mask is held.
  std::int64_t downsWhile = 0;

  static constexpr std::string_view keyNames[] = {"watch", "downsWhile"};

  static KeysWatch decode(const JsonObject& params);
};

struct KeysWatching {
  Json toJson() const;
};

struct KeysState {
  Json toJson() const;
};

struct AppsFront {
  Json toJson() const;
};

struct AppsActivate {
  std::int64_t pid = 0;

  static constexpr std::string_view keyNames[] = {"pid"};

  static AppsActivate decode(const JsonObject& params);
};

}  // namespace halcy
