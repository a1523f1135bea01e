#pragma once
// The meeting-snap records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct MeetingSnap {
  static MeetingSnap decode(const JsonObject& params);
};

struct MeetingSnapped {
  Json toJson() const;
};

}  // namespace halcy
