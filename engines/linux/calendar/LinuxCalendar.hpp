#pragma once
// The user's calendars on Linux: the iCalendar files that desktop calendar programs keep, read
// through libical with recurring events expanded into the asked window.
//
// Stores, in this order: Evolution's local calendars ("<data>/evolution/calendar/*/calendar.ics")
// and vdir calendars (one folder per calendar holding one .ics file per item, one or two levels
// below "<data>/calendars" or "~/.calendars", as vdirsyncer and khal keep them), where <data> is
// the XDG data folder. Files that cannot be read or parsed are left out.

#include <string>
#include <vector>

#include "Calendar.hpp"
#include "Permission.hpp"

namespace halcy {

class LinuxCalendar final : public CalendarSource {
 public:
  LinuxCalendar(std::string home, std::string dataHome);

  // Granted when at least one store can be read; denied otherwise, since there is no prompt to
  // show: the answer only changes when a calendar program makes a store.
  PermissionState calendarAccess() override;
  PermissionState requestCalendarAccess() override;
  // Occurrences overlapping the window from `from` to `to` (seconds since 1970), store by store.
  std::vector<CalendarFact> calendarEvents(double from, double to) override;

  // The iCalendar files of every store, in the order they are read.
  std::vector<std::string> calendarFiles() const;

 private:
  std::vector<std::string> vdirRoots() const;
  std::string evolutionRoot() const;

  std::string home_;
  std::string dataHome_;
};

}  // namespace halcy
