#pragma once
// The windows-list records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct WindowsListRequest {
  static WindowsListRequest decode(const JsonObject& params);
};

struct WindowsList {
  Json toJson() const;
};

}  // namespace halcy
