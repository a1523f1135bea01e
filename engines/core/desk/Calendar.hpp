#pragma once
// Calendar events through the engine host.

#include <optional>
#include <string>
#include <vector>

#include "CalendarProtocol.hpp"
#include "Permission.hpp"

namespace halcy {

struct CalendarFact {
  std::string id;
  std::optional<std::string> title;
  double start = 0;
  std::optional<double> end;
  bool allDay = false;
};

// The user's calendar as the platform keeps it.
class CalendarSource {
 public:
  virtual ~CalendarSource() = default;
  virtual PermissionState calendarAccess() = 0;
  virtual PermissionState requestCalendarAccess() = 0;
  // Instants are seconds since 1970-01-01T00:00:00Z.
  virtual std::vector<CalendarFact> calendarEvents(double from, double to) = 0;
};

namespace CalendarRules {
CalendarEvents events(const CalendarEventsRequest& request, CalendarSource& source);
}

}  // namespace halcy
