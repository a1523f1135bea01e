#pragma once
// The windows-list records on the wire: parameters decode strictly, results encode in field order.

#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

struct WindowsListRequest {
  // Counted and checked by the windows rule, which answers in its own words.
  std::vector<std::string> bundleIds;
  static constexpr std::string_view keyNames[] = {"bundleIds"};
  static WindowsListRequest decode(const JsonObject& params);
};

struct WindowsList {
  Json toJson() const;
};

}  // namespace halcy
