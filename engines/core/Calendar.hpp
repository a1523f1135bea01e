#pragma once
// Calendar events through the engine host.

#include <optional>
#include <string>

#include "CalendarProtocol.hpp"
#include "Protocol.hpp"

namespace halcy {

struct CalendarFact {
  std::string id;
  std::optional<std::string> title;
  double start = 0;
  std::optional<double> end;
  bool allDay = false;
};

namespace CalendarRules {
CalendarEvents events(const CalendarEventsRequest& request, EngineHost& host);
}

}  // namespace halcy
