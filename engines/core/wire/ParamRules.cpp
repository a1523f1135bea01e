#include "ParamRules.hpp"

namespace halcy::ParamRules {

std::int64_t pid(const JsonObject& params, std::string_view key) {
  const std::int64_t value = params.integer(key);
  require(value >= 1, "Not a pid.");
  return value;
}

std::string nonEmptyText(const JsonObject& params, std::string_view key, const char* description) {
  std::string value = params.text(key);
  require(!value.empty(), description);
  return value;
}

}  // namespace halcy::ParamRules
