// The calendar reader against iCalendar files written by the test in the places calendar
// programs keep them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Calendar.hpp"
#include "LinuxCalendar.hpp"
#include "TempFolder.hpp"

namespace halcy {
namespace {

namespace fs = std::filesystem;

struct CalendarHome {
  void write(const fs::path& relative, const std::string& text) const {
    fs::create_directories((home / relative).parent_path());
    std::ofstream(home / relative) << text;
  }
  LinuxCalendar calendar() const { return LinuxCalendar(home, home / ".local/share"); }

  TempFolder made{"calendar"};
  const fs::path& home = made.path;
};

// The zone the computer's floating times and whole days are read in, for one test.
struct LocalZone {
  explicit LocalZone(const char* zone) {
    if (const char* was = std::getenv("TZ")) previous = was;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~LocalZone() {
    if (previous.empty()) {
      ::unsetenv("TZ");
    } else {
      ::setenv("TZ", previous.c_str(), 1);
    }
    ::tzset();
  }
  std::string previous;
};

double at(const char* instant) {
  return *CalendarRules::instant(instant);
}

std::string calendarOf(const std::string& body) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//halcy//test//EN\r\n" + body +
         "END:VCALENDAR\r\n";
}

const std::string berlin =
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
    "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nTZNAME:CEST\r\n"
    "DTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
    "BEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\n"
    "DTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
    "END:VTIMEZONE\r\n";

// Every Tuesday at 10:00 in Berlin from 3 March 2026; the 17th is cancelled and the 24th moved
// to 15:00. Summer time starts on 29 March, so the UTC hour moves from 9 to 8.
const std::string weeklyStandup =
    "BEGIN:VEVENT\r\nUID:standup@example.org\r\nSUMMARY:Standup\r\n"
    "DTSTART;TZID=Europe/Berlin:20260303T100000\r\nDTEND;TZID=Europe/Berlin:20260303T101500\r\n"
    "RRULE:FREQ=WEEKLY;BYDAY=TU\r\nEXDATE;TZID=Europe/Berlin:20260317T100000\r\n"
    "LOCATION:Room 4\r\nURL:https://meet.example.org/standup\r\n"
    "DESCRIPTION:Yesterday\\, today\\nblockers\r\n"
    "ORGANIZER;CN=Ada Lovelace:mailto:ada@example.org\r\n"
    "ATTENDEE;CN=Charles Babbage;CUTYPE=INDIVIDUAL:MAILTO:Charles@Example.org\r\n"
    "ATTENDEE;CN=Room 4;CUTYPE=ROOM:mailto:room4@example.org\r\n"
    "ATTENDEE;CUTYPE=RESOURCE:mailto:projector@example.org\r\n"
    "ATTENDEE;CUTYPE=GROUP:mailto:team@example.org\r\n"
    "ATTENDEE;CUTYPE=X-ROBOT:urn:uuid:42\r\n"
    "ATTENDEE:mailto:plain@example.org\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:standup@example.org\r\nSUMMARY:Standup (moved)\r\n"
    "RECURRENCE-ID;TZID=Europe/Berlin:20260324T100000\r\n"
    "DTSTART;TZID=Europe/Berlin:20260324T150000\r\nDTEND;TZID=Europe/Berlin:20260324T151500\r\n"
    "END:VEVENT\r\n";

TEST(LinuxCalendar, ExpandsAWeeklyEventWithItsExceptionsIntoTheWindow) {
  CalendarHome home;
  home.write(".local/share/evolution/calendar/system/calendar.ics",
             calendarOf(berlin + weeklyStandup));
  const auto facts =
      home.calendar().calendarEvents(at("2026-03-09T00:00:00Z"), at("2026-04-08T00:00:00Z"));
  const auto items = CalendarRules::items(facts);
  std::vector<std::string> seen;
  for (const auto& item : items) seen.push_back(item.start + " " + item.title.value_or(""));
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "2026-03-10T09:00:00Z Standup", "2026-03-24T14:00:00Z Standup (moved)",
                      "2026-03-31T08:00:00Z Standup", "2026-04-07T08:00:00Z Standup"}));
  const auto& first = items.front();
  EXPECT_EQ(first.id, "standup@example.org");
  EXPECT_EQ(first.end, "2026-03-10T09:15:00Z");
  EXPECT_FALSE(first.allDay);
  EXPECT_EQ(first.location, "Room 4");
  EXPECT_EQ(first.url, "https://meet.example.org/standup");
  EXPECT_EQ(first.notes, "Yesterday, today\nblockers");
  ASSERT_TRUE(first.organizer);
  EXPECT_EQ(first.organizer->toJson().dump(),
            R"({"name":"Ada Lovelace","email":"ada@example.org","kind":"person"})");
  Json attendees = Json::array();
  for (const auto& attendee : first.attendees) attendees.push_back(attendee.toJson());
  EXPECT_EQ(attendees.dump(),
            R"([{"name":"Charles Babbage","email":"Charles@Example.org","kind":"person"},)"
            R"({"name":"Room 4","email":"room4@example.org","kind":"room"},)"
            R"({"name":null,"email":"projector@example.org","kind":"resource"},)"
            R"({"name":null,"email":"team@example.org","kind":"group"},)"
            R"({"name":null,"email":null,"kind":"unknown"},)"
            R"({"name":null,"email":"plain@example.org","kind":"person"}])");
}

TEST(LinuxCalendar, ReadsWholeDaysAndFloatingTimesInTheComputersZone) {
  LocalZone zone("America/New_York");
  CalendarHome home;
  home.write(
      ".calendars/personal/holiday.ics",
      calendarOf("BEGIN:VEVENT\r\nUID:holiday\r\nSUMMARY:Holiday\r\n"
                 "DTSTART;VALUE=DATE:20260706\r\nDTEND;VALUE=DATE:20260708\r\nEND:VEVENT\r\n"));
  home.write(".calendars/personal/lunch.ics",
             calendarOf("BEGIN:VEVENT\r\nUID:lunch\r\nDTSTART:20260706T120000\r\n"
                        "DURATION:PT45M\r\nEND:VEVENT\r\n"));
  home.write(".calendars/personal/utc.ics",
             calendarOf("BEGIN:VEVENT\r\nUID:call\r\nDTSTART:20260706T120000Z\r\nEND:VEVENT\r\n"));
  const auto items = CalendarRules::items(
      home.calendar().calendarEvents(at("2026-07-01T00:00:00Z"), at("2026-07-31T00:00:00Z")));
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].id, "holiday");
  EXPECT_TRUE(items[0].allDay);
  EXPECT_EQ(items[0].start, "2026-07-06T04:00:00Z");
  EXPECT_EQ(items[0].end, "2026-07-08T04:00:00Z");
  EXPECT_EQ(items[1].id, "call");
  EXPECT_EQ(items[1].end, "2026-07-06T12:00:00Z");
  EXPECT_EQ(items[2].id, "lunch");
  EXPECT_EQ(items[2].start, "2026-07-06T16:00:00Z");
  EXPECT_EQ(items[2].end, "2026-07-06T16:45:00Z");
  EXPECT_EQ(items[2].title, std::nullopt);
}

TEST(LinuxCalendar, KeepsToTheWindowAndToEachRule) {
  CalendarHome home;
  home.write(
      ".local/share/calendars/work/rules.ics",
      calendarOf(
          // Daily since 1990: only the window's days, found without walking 36 years.
          "BEGIN:VEVENT\r\nUID:daily\r\nDTSTART:19900101T060000Z\r\nDTEND:19900101T070000Z\r\n"
          "RRULE:FREQ=DAILY\r\nEND:VEVENT\r\n"
          // Three times only.
          "BEGIN:VEVENT\r\nUID:thrice\r\nDTSTART:20260101T080000Z\r\n"
          "RRULE:FREQ=DAILY;COUNT=3\r\nEND:VEVENT\r\n"
          // Every second since 1970 stops rather than holding the request.
          "BEGIN:VEVENT\r\nUID:busy\r\nDTSTART:19700101T000000Z\r\n"
          "RRULE:FREQ=SECONDLY;COUNT=2000000000\r\nEND:VEVENT\r\n"
          // Overlaps the window's start.
          "BEGIN:VEVENT\r\nUID:overnight\r\nDTSTART:20251231T220000Z\r\n"
          "DTEND:20260101T020000Z\r\nEND:VEVENT\r\n"
          // Ends exactly where the window starts.
          "BEGIN:VEVENT\r\nUID:before\r\nDTSTART:20251231T230000Z\r\n"
          "DTEND:20260101T000000Z\r\nEND:VEVENT\r\n"
          // No start: not an event.
          "BEGIN:VEVENT\r\nUID:nostart\r\nSUMMARY:x\r\nEND:VEVENT\r\n"));
  const auto facts =
      home.calendar().calendarEvents(at("2026-01-01T00:00:00Z"), at("2026-01-05T00:00:00Z"));
  std::vector<std::string> seen;
  for (const auto& item : CalendarRules::items(facts)) {
    if (item.id != "busy") seen.push_back(item.id + " " + item.start);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "overnight 2025-12-31T22:00:00Z", "daily 2026-01-01T06:00:00Z",
                      "thrice 2026-01-01T08:00:00Z", "daily 2026-01-02T06:00:00Z",
                      "thrice 2026-01-02T08:00:00Z", "daily 2026-01-03T06:00:00Z",
                      "thrice 2026-01-03T08:00:00Z", "daily 2026-01-04T06:00:00Z"}));
}

TEST(LinuxCalendar, LeavesOutWhatCannotBeReadAndAnswersAccessByWhatCan) {
  CalendarHome home;
  EXPECT_EQ(home.calendar().calendarAccess(), PermissionState::denied);
  EXPECT_TRUE(home.calendar().calendarEvents(0, 86400).empty());
  home.write(".local/share/evolution/calendar/broken/calendar.ics", "\x01\x02 not a calendar");
  home.write(".local/share/evolution/calendar/half/calendar.ics",
             "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:cut\r\nDTSTART:2026010");
  fs::create_directories(home.home / ".local/share/evolution/calendar/folder/calendar.ics");
  home.write(".calendars/work/notes.txt", "not a calendar item");
  home.write(
      ".calendars/account/shared/item.ics",
      calendarOf("BEGIN:VEVENT\r\nUID:nested\r\nDTSTART:20260101T100000Z\r\nEND:VEVENT\r\n"));
  EXPECT_EQ(home.calendar().calendarAccess(), PermissionState::granted);
  const auto facts =
      home.calendar().calendarEvents(at("2026-01-01T00:00:00Z"), at("2026-01-02T00:00:00Z"));
  ASSERT_EQ(facts.size(), 1u);
  EXPECT_EQ(facts[0].id, "nested");
}

}  // namespace
}  // namespace halcy
