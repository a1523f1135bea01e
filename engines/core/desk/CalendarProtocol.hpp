#pragma once
// The calendar records on the wire: parameters decode strictly, results encode in field order.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace halcy {

struct CalendarEventsRequest {
  // Read as instants by the calendar rules, which answer malformed ones in their own words.
  std::string from;
  std::string to;
  static constexpr std::string_view keyNames[] = {"from", "to"};
  static CalendarEventsRequest decode(const JsonObject& params);
};

enum class ParticipantKind { person, room, resource, group, unknown };

struct CalendarParticipant {
  std::optional<std::string> name;
  std::optional<std::string> email;
  ParticipantKind kind = ParticipantKind::unknown;
  Json toJson() const;
};

// Every key is written; an absent optional as null.
struct CalendarItem {
  std::string id;
  std::optional<std::string> title;
  // Internet date-times in UTC without fraction: "2026-03-01T09:30:00Z".
  std::string start;
  std::optional<std::string> end;
  bool allDay = false;
  std::optional<std::string> location;
  std::optional<std::string> url;
  std::optional<std::string> notes;
  std::optional<CalendarParticipant> organizer;
  std::vector<CalendarParticipant> attendees;
  Json toJson() const;
};

struct CalendarEvents {
  std::vector<CalendarItem> events;
  Json toJson() const;
};

}  // namespace halcy
