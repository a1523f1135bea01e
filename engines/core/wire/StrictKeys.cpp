#include "StrictKeys.hpp"

#include <algorithm>

namespace halcy::StrictKeys {

std::set<std::string> names(const JsonObject& object) {
  return object.keys();
}

void check(const JsonObject& object, std::initializer_list<std::string_view> allowed) {
  for (const auto& name : names(object)) {
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
      throw DecodeError("Unknown keys.");
    }
  }
}

}  // namespace halcy::StrictKeys
