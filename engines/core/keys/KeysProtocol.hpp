#pragma once
// The keys and front-application records on the wire: parameters decode strictly, results encode in
// field order.

#include <cstdint>
#include <optional>
#include <string_view>

#include "FrontApp.hpp"
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
  bool watching = false;
  std::int64_t flags = 0;
  double at = 0;

  Json toJson() const;
};

struct KeysState {
  std::int64_t flags = 0;
  std::int64_t buttons = 0;
  double at = 0;

  Json toJson() const;
};

struct AppsFront {
  std::optional<FrontApp> app;

  Json toJson() const;
};

struct AppsActivate {
  std::int64_t pid = 0;

  static constexpr std::string_view keyNames[] = {"pid"};

  static AppsActivate decode(const JsonObject& params);
};

// Data of the "apps.active" notice: the application's fields flat beside the time.
struct AppsActive {
  FrontApp app;
  double at = 0;

  Json toJson() const;
};

// Data of the "keys.event" notice, as the host saw the input event.
struct KeysEvent {
  enum class Kind { flags, key, pointer };

  Kind kind = Kind::flags;
  std::int64_t flags = 0;    // the new modifier flags, for `flags`
  std::int64_t keyCode = 0;  // the virtual key code, for `key`
  double at = 0;             // the event's own time on the engine clock

  static KeysEvent flagsChanged(std::int64_t flags, double at) {
    return {Kind::flags, flags, 0, at};
  }
  static KeysEvent keyPressed(std::int64_t keyCode, double at) {
    return {Kind::key, 0, keyCode, at};
  }
  static KeysEvent buttonPressed(double at) { return {Kind::pointer, 0, 0, at}; }

  Json toJson() const;
  bool operator==(const KeysEvent&) const = default;
};

}  // namespace halcy
