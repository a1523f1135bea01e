#pragma once
// The meeting-snap records on the wire: parameters decode strictly, results encode in field order.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

// The call whose window is snapped; refuses keys it does not name.
struct MeetingSnapCall {
  // Its sign is the snap rules' check, which answers in its own words.
  std::int64_t pid = 0;
  // None means any window of the process.
  std::optional<std::string> title;
  static constexpr std::string_view keyNames[] = {"pid", "title"};
  static MeetingSnapCall decode(const JsonObject& object);
};

struct MeetingSnap {
  // None snaps the display the meeting's stream shows.
  std::optional<MeetingSnapCall> call;
  std::vector<std::string> neverLook;
  static constexpr std::string_view keyNames[] = {"call", "neverLook"};
  static MeetingSnap decode(const JsonObject& params);
};

struct MeetingSnapped {
  Json toJson() const;
};

}  // namespace halcy
