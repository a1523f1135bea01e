#pragma once
// One running application as the caller sees it.

#include <cstdint>
#include <optional>
#include <string>

#include "Json.hpp"

namespace halcy {

struct FrontApp {
  std::int64_t pid = 0;
  std::optional<std::string> bundleId;
  std::optional<std::string> name;

  // Every key is written; a missing identifier or name is null.
  Json toJson() const {
    return Json::object({{"pid", pid},
                         {"bundleId", bundleId ? Json(*bundleId) : Json(nullptr)},
                         {"name", name ? Json(*name) : Json(nullptr)}});
  }
  bool operator==(const FrontApp&) const = default;
};

}  // namespace halcy
