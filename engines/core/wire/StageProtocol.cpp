#include "StageProtocol.hpp"

#include <algorithm>

#include "ScreenLimits.hpp"

namespace halcy {

std::vector<std::string> NeverLookList::decode(const JsonObject& container, std::string_view key) {
  auto identifiers = container.texts(key);
  const bool anyEmpty =
      std::any_of(identifiers.begin(), identifiers.end(),
                  [](const std::string& identifier) { return identifier.empty(); });
  if (identifiers.size() > ScreenLimits::neverLookMax || anyEmpty) {
    throw DecodeError("Not a never-look list.");
  }
  return identifiers;
}

std::vector<std::int64_t> StageCheck::pids(const JsonObject& container, std::string_view key) {
  auto pids = container.integers(key);
  const bool anyNotPositive =
      std::any_of(pids.begin(), pids.end(), [](std::int64_t pid) { return pid < 1; });
  if (pids.size() > ScreenLimits::excludedPidsMax || anyNotPositive) throw DecodeError("Not pids.");
  return pids;
}

}  // namespace halcy
