#pragma once
// The structure-read records on the wire: parameters decode strictly, results encode in field
// order.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

struct StructureRead {
  std::int64_t pid = 0;
  // The identifier checked against `neverLook`, as the caller names it.
  std::string bundleId;
  std::vector<std::string> neverLook;
  static constexpr std::string_view keyNames[] = {"pid", "bundleId", "neverLook"};
  static StructureRead decode(const JsonObject& params);
};

struct StructureFacts {
  Json toJson() const;
};

}  // namespace halcy
