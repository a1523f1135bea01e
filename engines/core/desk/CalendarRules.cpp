#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "Calendar.hpp"
#include "Output.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

constexpr double secondsPerDay = 86400;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The digits at [at, at + count) as a number; the caller has checked they are digits.
int number(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t index = at; index < at + count; ++index)
    value = value * 10 + (text[index] - '0');
  return value;
}

// "YYYY-MM-DDTHH:MM:SS" then an optional "." with one or more digits, then "Z", and nothing else.
bool hasInstantShape(std::string_view text) {
  static constexpr std::string_view shape = "dddd-dd-ddTdd:dd:dd";
  if (text.size() < shape.size() + 1 || text.back() != 'Z') return false;
  for (std::size_t index = 0; index < shape.size(); ++index) {
    const bool fits = shape[index] == 'd' ? isDigit(text[index]) : text[index] == shape[index];
    if (!fits) return false;
  }
  const std::string_view rest = text.substr(shape.size(), text.size() - shape.size() - 1);
  if (rest.empty()) return true;
  return rest.size() >= 2 && rest.front() == '.' &&
         std::all_of(rest.begin() + 1, rest.end(), isDigit);
}

// The fraction of a second after the seconds; digits past the ninth cannot change a double.
double fractionOf(std::string_view text) {
  constexpr std::size_t fractionStart = 20;
  double fraction = 0;
  double scale = 0.1;
  for (std::size_t index = fractionStart;
       index < text.size() && index < fractionStart + 9 && isDigit(text[index]);
       ++index, scale /= 10) {
    fraction += scale * (text[index] - '0');
  }
  return fraction;
}

double dayNumber(int year, unsigned month, unsigned day) {
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  return static_cast<double>(std::chrono::sys_days(date).time_since_epoch().count());
}

// Earlier start first; then earlier end, a missing end counting as the start; then id.
bool earlier(const CalendarFact& a, const CalendarFact& b) {
  if (a.start != b.start) return a.start < b.start;
  const double endA = a.end.value_or(a.start);
  const double endB = b.end.value_or(b.start);
  if (endA != endB) return endA < endB;
  // Bytes of UTF-8 compare in code-point order.
  return a.id < b.id;
}

std::optional<std::string> cutNotes(const std::optional<std::string>& notes) {
  if (!notes) return std::nullopt;
  return Graphemes::prefixWithinUtf16(*notes, CalendarFormat::notesMaxUnits);
}

CalendarItem item(const CalendarFact& fact) {
  CalendarItem item;
  item.id = fact.id;
  item.title = fact.title;
  item.start = CalendarRules::dateTime(fact.start);
  if (fact.end) item.end = CalendarRules::dateTime(*fact.end);
  item.allDay = fact.allDay;
  item.location = fact.location;
  item.url = fact.url;
  item.notes = cutNotes(fact.notes);
  if (fact.organizer) item.organizer = CalendarRules::participant(*fact.organizer);
  for (const auto& attendee : fact.attendees) {
    item.attendees.push_back(CalendarRules::participant(attendee));
  }
  return item;
}

}  // namespace

std::optional<double> CalendarRules::instant(std::string_view text) {
  if (!hasInstantShape(text)) return std::nullopt;
  const int year = number(text, 0, 4);
  const int month = number(text, 5, 2);
  const int day = number(text, 8, 2);
  const int hour = number(text, 11, 2);
  const int minute = number(text, 14, 2);
  const int second = number(text, 17, 2);
  if (month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const auto lastDay = std::chrono::year_month_day_last(
      std::chrono::year(year), std::chrono::month_day_last(std::chrono::month(month)));
  if (day < 1 || static_cast<unsigned>(day) > static_cast<unsigned>(lastDay.day())) {
    return std::nullopt;
  }
  const double days = dayNumber(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return days * secondsPerDay + hour * 3600.0 + minute * 60.0 + second + fractionOf(text);
}

CalendarRules::Window CalendarRules::window(const CalendarEventsRequest& request) {
  const auto from = instant(request.from);
  const auto to = instant(request.to);
  if (!from || !to) {
    throw EngineFailure(ErrorCode::invalidParams, "from and to must be ISO 8601 instants.");
  }
  if (!(*to > *from)) throw EngineFailure(ErrorCode::invalidParams, "to must be after from.");
  if (*to - *from > CalendarFormat::maxDays * secondsPerDay) {
    throw EngineFailure(
        ErrorCode::invalidParams,
        "At most " + std::to_string(CalendarFormat::maxDays) + " days are read at once.");
  }
  return {*from, *to};
}

std::string CalendarRules::dateTime(double seconds) {
  const double whole = std::floor(seconds);
  const double days = std::floor(whole / secondsPerDay);
  const auto dayStart = static_cast<long long>(days);
  const auto ofDay = static_cast<long long>(whole - days * secondsPerDay);
  const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(dayStart))};
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lldZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), ofDay / 3600, ofDay / 60 % 60, ofDay % 60);
  return text;
}

CalendarParticipant CalendarRules::participant(const ParticipantFact& fact) {
  CalendarParticipant participant{fact.name, std::nullopt, fact.kind};
  static constexpr std::string_view scheme = "mailto:";
  if (!fact.url || fact.url->size() < scheme.size()) return participant;
  const bool isMail =
      std::equal(scheme.begin(), scheme.end(), fact.url->begin(), [](char a, char b) {
        return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
      });
  if (isMail && fact.url->size() > scheme.size())
    participant.email = fact.url->substr(scheme.size());
  return participant;
}

std::vector<CalendarItem> CalendarRules::items(std::vector<CalendarFact> facts) {
  std::stable_sort(facts.begin(), facts.end(), earlier);
  std::vector<CalendarItem> items;
  items.reserve(facts.size());
  for (const auto& fact : facts) items.push_back(item(fact));
  return items;
}

CalendarEvents CalendarRules::events(const CalendarEventsRequest& request, CalendarSource& source) {
  const Window checked = window(request);
  if (source.calendarAccess() != PermissionState::granted) {
    throw EngineFailure(ErrorCode::notPermitted,
                        "Halcy does not have full access to the calendars on this Mac.");
  }
  return CalendarEvents{items(source.calendarEvents(checked.from, checked.to))};
}

}  // namespace halcy
