#pragma once
// The calendar records on the wire: parameters decode strictly, results encode in field order.

#include <string>
#include <string_view>

#include "Json.hpp"

namespace halcy {

struct CalendarEventsRequest {
  // Read as instants by the calendar rules, which answer malformed ones in their own words.
  std::string from;
  std::string to;
  static constexpr std::string_view keyNames[] = {"from", "to"};
  static CalendarEventsRequest decode(const JsonObject& params);
};

struct CalendarEvents {
  Json toJson() const;
};

}  // namespace halcy
