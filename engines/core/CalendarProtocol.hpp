#pragma once
// The calendar records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct CalendarEventsRequest {
  static CalendarEventsRequest decode(const JsonObject& params);
};

struct CalendarEvents {
  Json toJson() const;
};

}  // namespace halcy
