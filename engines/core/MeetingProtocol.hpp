#pragma once
// The meeting records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct MeetingStart {
  static MeetingStart decode(const JsonObject& params);
};

struct MeetingStarted {
  Json toJson() const;
};

struct MeetingStopped {
  Json toJson() const;
};

struct MeetingReopen {
  static MeetingReopen decode(const JsonObject& params);
};

struct MeetingReopened {
  Json toJson() const;
};

}  // namespace halcy
