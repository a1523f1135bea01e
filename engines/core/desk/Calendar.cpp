#include "Calendar.hpp"

#include "Output.hpp"

namespace halcy {

CalendarEvents CalendarRules::events(const CalendarEventsRequest&, CalendarSource&) {
  throw notBuiltYet();
}

}  // namespace halcy
