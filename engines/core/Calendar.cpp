#include "Calendar.hpp"

#include "Areas.hpp"

namespace halcy {

CalendarEvents CalendarRules::events(const CalendarEventsRequest&, EngineHost&) {
  throw notBuiltYet();
}

}  // namespace halcy
