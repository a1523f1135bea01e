#pragma once
// The calendar: the events behind "calendar.events", read by the calendar area from the platform's
// calendar store. "calendar.access" and "calendar.request" ask the store directly.

#include <optional>
#include <string>
#include <vector>

#include "CalendarProtocol.hpp"
#include "Output.hpp"
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

class CalendarArea {
 public:
  virtual ~CalendarArea() = default;
  virtual CalendarEvents events(const CalendarEventsRequest& request) = 0;
};

class UnbuiltCalendar : public CalendarArea {
 public:
  CalendarEvents events(const CalendarEventsRequest&) override { throw notBuiltYet(); }
};

}  // namespace halcy
