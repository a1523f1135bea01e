#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Calendar.hpp"
#include "Output.hpp"

namespace halcy {
namespace {

constexpr double day = 86400;
// 2026-01-01T00:00:00Z.
constexpr double newYear2026 = 1767225600;

TEST(CalendarRules, ReadsOnlyWholeUtcInstants) {
  struct Case {
    std::string text;
    std::optional<double> seconds;
  };
  const std::vector<Case> cases = {
      {"2026-01-01T00:00:00Z", newYear2026},
      {"1970-01-01T00:00:00Z", 0},
      {"1969-12-31T23:59:59Z", -1},
      {"2026-01-01T00:00:00.5Z", newYear2026 + 0.5},
      {"2026-01-01T00:00:00.123Z", newYear2026 + 0.123},
      {"2026-01-01T00:00:00.1234567890123Z", newYear2026 + 0.123456789},
      {"2024-02-29T12:00:00Z", 1709208000},
      {"2000-02-29T00:00:00Z", 951782400},
      {"2026-12-31T23:59:59Z", newYear2026 + 365 * day - 1},
      {"2023-02-29T00:00:00Z", std::nullopt},
      {"1900-02-29T00:00:00Z", std::nullopt},
      {"2026-04-31T00:00:00Z", std::nullopt},
      {"2026-13-01T00:00:00Z", std::nullopt},
      {"2026-00-01T00:00:00Z", std::nullopt},
      {"2026-01-00T00:00:00Z", std::nullopt},
      {"2026-01-01T24:00:00Z", std::nullopt},
      {"2026-01-01T00:60:00Z", std::nullopt},
      {"2026-01-01T00:00:60Z", std::nullopt},
      {"2026-01-01T00:00:00+01:00", std::nullopt},
      {"2026-01-01T00:00:00+00:00", std::nullopt},
      {"2026-01-01 00:00:00Z", std::nullopt},
      {"2026-01-01t00:00:00Z", std::nullopt},
      {"2026-01-01T00:00:00z", std::nullopt},
      {"2026-01-01T00:00:00", std::nullopt},
      {"2026-01-01T00:00:00.Z", std::nullopt},
      {"2026-01-01T00:00Z", std::nullopt},
      {"26-01-01T00:00:00Z", std::nullopt},
      {"+2026-01-01T00:00:00Z", std::nullopt},
      {" 2026-01-01T00:00:00Z", std::nullopt},
      {"2026-01-01T00:00:00Z ", std::nullopt},
      {"2026-01-01T00:00:00ZZ", std::nullopt},
      {"２026-01-01T00:00:00Z", std::nullopt},
      {"2026-01-01", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto read = CalendarRules::instant(c.text);
    ASSERT_EQ(read.has_value(), c.seconds.has_value()) << c.text;
    if (read) {
      EXPECT_NEAR(*read, *c.seconds, 1e-6) << c.text;
    }
  }
}

TEST(CalendarRules, WindowsAreCheckedInOrder) {
  struct Case {
    std::string from;
    std::string to;
    std::optional<std::string> failure;
  };
  const std::string instants = "from and to must be ISO 8601 instants.";
  const std::vector<Case> cases = {
      {"2026-01-01T00:00:00Z", "2026-01-02T00:00:00Z", std::nullopt},
      {"2026-01-01T00:00:00Z", "2026-03-04T00:00:00Z", std::nullopt},
      {"2026-01-01T00:00:00Z", "2026-03-04T00:00:01Z", "At most 62 days are read at once."},
      {"2026-01-01T00:00:00Z", "2026-03-04T00:00:00.001Z", "At most 62 days are read at once."},
      {"2026-01-01T00:00:00Z", "2026-01-01T00:00:00Z", "to must be after from."},
      {"2026-01-01T00:00:00.5Z", "2026-01-01T00:00:00Z", "to must be after from."},
      {"2026-01-01T00:00:00Z", "2026-01-01T00:00:00.001Z", std::nullopt},
      {"yesterday", "2026-01-01T00:00:00Z", instants},
      {"2026-01-01T00:00:00Z", "", instants},
      // Both are read before they are compared.
      {"2026-02-01T00:00:00Z", "2026-01-01T00:00:60Z", instants},
  };
  for (const auto& c : cases) {
    try {
      CalendarRules::window({c.from, c.to});
      EXPECT_FALSE(c.failure) << c.from << " " << c.to;
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure, EngineFailure(ErrorCode::invalidParams, c.failure.value_or("")))
          << c.from << " " << c.to;
    }
  }
}

TEST(CalendarRules, WritesDateTimesInUtcWithoutFraction) {
  EXPECT_EQ(CalendarRules::dateTime(newYear2026), "2026-01-01T00:00:00Z");
  EXPECT_EQ(CalendarRules::dateTime(newYear2026 + 1.999), "2026-01-01T00:00:01Z");
  EXPECT_EQ(CalendarRules::dateTime(1709208000 + 3723), "2024-02-29T13:02:03Z");
  EXPECT_EQ(CalendarRules::dateTime(-0.5), "1969-12-31T23:59:59Z");
  EXPECT_EQ(CalendarRules::dateTime(0), "1970-01-01T00:00:00Z");
}

TEST(CalendarRules, TakesTheEmailFromMailtoAddressesOnly) {
  struct Case {
    std::optional<std::string> url;
    std::optional<std::string> email;
  };
  const std::vector<Case> cases = {
      {"mailto:ada@example.org", "ada@example.org"},
      {"MAILTO:Ada@Example.ORG", "Ada@Example.ORG"},
      {"MailTo:x", "x"},
      {"mailto:", std::nullopt},
      {"MAILTO:", std::nullopt},
      {"mailt", std::nullopt},
      {"tel:+15551234", std::nullopt},
      {"urn:uuid:1234", std::nullopt},
      {" mailto:ada@example.org", std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto person =
        CalendarRules::participant(ParticipantFact{"Ada", c.url, ParticipantKind::room});
    EXPECT_EQ(person.email, c.email) << c.url.value_or("(none)");
    EXPECT_EQ(person.name, "Ada");
    EXPECT_EQ(person.kind, ParticipantKind::room);
  }
}

CalendarFact fact(std::string id, double start, std::optional<double> end) {
  CalendarFact made;
  made.id = std::move(id);
  made.start = start;
  made.end = end;
  return made;
}

TEST(CalendarRules, OrdersByStartThenEndThenId) {
  std::vector<CalendarFact> facts = {
      fact("late", newYear2026 + 3600, newYear2026 + 7200),
      fact("b-long", newYear2026, newYear2026 + 7200),
      fact("b-short", newYear2026, newYear2026 + 1800),
      fact("z-no-end", newYear2026, std::nullopt),
      fact("a-zero", newYear2026, newYear2026),
      fact("same", newYear2026 - 60, newYear2026),
      fact("same", newYear2026 - 60, newYear2026),
      fact("é", newYear2026 + 3600, newYear2026 + 7200),
      fact("Z", newYear2026 + 3600, newYear2026 + 7200),
  };
  facts[5].title = "first of the equal pair";
  facts[6].title = "second of the equal pair";
  const auto items = CalendarRules::items(facts);
  std::vector<std::string> order;
  for (const auto& item : items) order.push_back(item.id);
  EXPECT_EQ(order, (std::vector<std::string>{"same", "same", "a-zero", "z-no-end", "b-short",
                                             "b-long", "Z", "late", "é"}));
  EXPECT_EQ(items[0].title, "first of the equal pair");
  EXPECT_EQ(items[3].end, std::nullopt);
  EXPECT_EQ(items[4].end, "2026-01-01T00:30:00Z");
}

std::string repeated(const std::string& unit, std::size_t times) {
  std::string text;
  for (std::size_t index = 0; index < times; ++index) text += unit;
  return text;
}

TEST(CalendarRules, CutsNotesToWholeCharactersWithinTheLimit) {
  struct Case {
    std::string notes;
    std::string kept;
  };
  const std::string face = "\xF0\x9F\x98\x80";  // two UTF-16 units
  const std::string accented = "e\xCC\x81";     // e and a combining acute: one character
  const std::string family =                    // one character of eight units
      "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
  const std::vector<Case> cases = {
      {repeated("a", 5000), repeated("a", 4000)},
      {repeated("a", 4000), repeated("a", 4000)},
      {repeated("a", 3999) + face, repeated("a", 3999)},
      {repeated(face, 2500), repeated(face, 2000)},
      {repeated("a", 3999) + accented, repeated("a", 3999)},
      {repeated("a", 3998) + accented + "b", repeated("a", 3998) + accented},
      {repeated("a", 3995) + family, repeated("a", 3995)},
      {"", ""},
  };
  for (const auto& c : cases) {
    CalendarFact withNotes = fact("n", 0, std::nullopt);
    withNotes.notes = c.notes;
    EXPECT_EQ(CalendarRules::items({withNotes}).at(0).notes, c.kept) << c.notes.size();
  }
}

class FakeCalendar final : public CalendarSource {
 public:
  PermissionState calendarAccess() override {
    calls.push_back("access");
    return access;
  }
  PermissionState requestCalendarAccess() override { return access; }
  std::vector<CalendarFact> calendarEvents(double from, double to) override {
    calls.push_back("events " + std::to_string(static_cast<long long>(from)) + " " +
                    std::to_string(static_cast<long long>(to)));
    return facts;
  }

  PermissionState access = PermissionState::granted;
  std::vector<CalendarFact> facts;
  std::vector<std::string> calls;
};

TEST(CalendarRules, ChecksTheWindowThenThePermissionThenReads) {
  const CalendarEventsRequest request{"2026-01-01T00:00:00Z", "2026-01-02T00:00:00Z"};
  for (auto state :
       {PermissionState::denied, PermissionState::undetermined, PermissionState::unsupported}) {
    FakeCalendar calendar;
    calendar.access = state;
    try {
      CalendarRules::events(request, calendar);
      ADD_FAILURE() << "read without access";
    } catch (const EngineFailure& failure) {
      EXPECT_EQ(failure,
                EngineFailure(ErrorCode::notPermitted,
                              "Halcy does not have full access to the calendars on this Mac."));
    }
    EXPECT_EQ(calendar.calls, std::vector<std::string>{"access"});
  }

  FakeCalendar unasked;
  EXPECT_THROW(CalendarRules::events({"2026-01-01T00:00:00Z", "2026-01-01T00:00:00Z"}, unasked),
               EngineFailure);
  EXPECT_TRUE(unasked.calls.empty());

  // The area reads through the source it owns.
  auto owned = std::make_unique<FakeCalendar>();
  FakeCalendar& calendar = *owned;
  CalendarController area(std::move(owned));
  calendar.facts = {fact("b", newYear2026 + 60, std::nullopt), fact("a", newYear2026, day)};
  calendar.facts[0].organizer =
      ParticipantFact{std::nullopt, "mailto:o@x", ParticipantKind::person};
  calendar.facts[0].attendees = {{"R", "mailto:r@x", ParticipantKind::room},
                                 {std::nullopt, std::nullopt, ParticipantKind::unknown}};
  const auto events = area.events(request);
  EXPECT_EQ(calendar.calls, (std::vector<std::string>{"access", "events 1767225600 1767312000"}));
  EXPECT_EQ(
      events.toJson().dump(),
      R"({"events":[)"
      R"({"id":"a","title":null,"start":"2026-01-01T00:00:00Z","end":"1970-01-02T00:00:00Z","allDay":false,"location":null,"url":null,"notes":null,"organizer":null,"attendees":[]},)"
      R"({"id":"b","title":null,"start":"2026-01-01T00:01:00Z","end":null,"allDay":false,"location":null,"url":null,"notes":null,)"
      R"("organizer":{"name":null,"email":"o@x","kind":"person"},)"
      R"("attendees":[{"name":"R","email":"r@x","kind":"room"},{"name":null,"email":null,"kind":"unknown"}]}]})");
}

}  // namespace
}  // namespace halcy
