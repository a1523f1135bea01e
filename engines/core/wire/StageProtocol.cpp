#include "StageProtocol.hpp"

#include "Decode.hpp"
#include "ScreenLimits.hpp"

namespace halcy {

std::vector<std::string> NeverLookList::decode(const JsonObject& container, std::string_view key) {
  return decode::nonEmptyTexts(container, key, ScreenLimits::neverLookMax,
                               "Not a never-look list.");
}

std::vector<std::int64_t> StageCheck::pids(const JsonObject& container, std::string_view key) {
  return decode::integersFrom(container, key, ScreenLimits::excludedPidsMax, 1, "Not pids.");
}

}  // namespace halcy
