#include "CalendarProtocol.hpp"

namespace halcy {

CalendarEventsRequest CalendarEventsRequest::decode(const JsonObject&) { return {}; }

Json CalendarEvents::toJson() const { return Json::object(); }

}  // namespace halcy
