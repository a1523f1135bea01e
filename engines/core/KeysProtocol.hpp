#pragma once
// The keys and front-application records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct KeysWatch {
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
  static AppsActivate decode(const JsonObject& params);
};

}  // namespace halcy
