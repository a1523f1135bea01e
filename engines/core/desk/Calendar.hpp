#pragma once
// The calendar: the events behind "calendar.events", read by the calendar area from the platform's
// calendar store, checked and turned into wire records in time order. "calendar.access" and
// "calendar.request" ask the store directly, through the engine host.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CalendarProtocol.hpp"
#include "Output.hpp"
#include "Permission.hpp"

namespace halcy {

struct ParticipantFact {
  std::optional<std::string> name;
  // The participant's address as absolute URL text, such as "mailto:ada@example.org".
  std::optional<std::string> url;
  ParticipantKind kind = ParticipantKind::unknown;
};

// One occurrence of an event. Instants are seconds since 1970-01-01T00:00:00Z.
struct CalendarFact {
  std::string id;
  std::optional<std::string> title;
  double start = 0;
  std::optional<double> end;
  bool allDay = false;
  std::optional<std::string> location;
  std::optional<std::string> url;
  std::optional<std::string> notes;
  std::optional<ParticipantFact> organizer;
  std::vector<ParticipantFact> attendees;
};

// Whether the user lets the engine read the calendar store.
class CalendarPermission {
 public:
  virtual ~CalendarPermission() = default;
  virtual PermissionState calendarAccess() = 0;
  virtual PermissionState requestCalendarAccess() = 0;
};

// The user's calendar as the platform keeps it.
class CalendarSource : public CalendarPermission {
 public:
  // The occurrences that overlap the window from `from` to `to`, in the store's order.
  virtual std::vector<CalendarFact> calendarEvents(double from, double to) = 0;
};

namespace CalendarFormat {
inline constexpr int maxDays = 62;
inline constexpr std::size_t notesMaxUnits = 4000;
}  // namespace CalendarFormat

namespace CalendarRules {

struct Window {
  double from = 0;
  double to = 0;
};

// "2026-03-01T09:30:00Z", optionally with a fraction of a second; nothing for any other text.
std::optional<double> instant(std::string_view text);
// Throws invalid_params with the rule's own message when the window is not one.
Window window(const CalendarEventsRequest& request);
// Seconds since 1970 as an internet date-time in UTC, the fraction dropped.
std::string dateTime(double seconds);
CalendarParticipant participant(const ParticipantFact& fact);
std::vector<CalendarItem> items(std::vector<CalendarFact> facts);
CalendarEvents events(const CalendarEventsRequest& request, CalendarSource& source);

}  // namespace CalendarRules

class CalendarArea {
 public:
  virtual ~CalendarArea() = default;
  virtual CalendarEvents events(const CalendarEventsRequest& request) = 0;
};

class UnbuiltCalendar : public CalendarArea {
 public:
  CalendarEvents events(const CalendarEventsRequest&) override { throw notBuiltYet(); }
};

// The calendar area over the platform's store.
class CalendarController : public CalendarArea {
 public:
  explicit CalendarController(std::unique_ptr<CalendarSource> source)
      : source_(std::move(source)) {}
  CalendarEvents events(const CalendarEventsRequest& request) override {
    return CalendarRules::events(request, *source_);
  }

 private:
  std::unique_ptr<CalendarSource> source_;
};

}  // namespace halcy
