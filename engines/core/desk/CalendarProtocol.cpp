#include "CalendarProtocol.hpp"

namespace halcy {

CalendarEventsRequest CalendarEventsRequest::decode(const JsonObject& params) {
  return {params.text("from"), params.text("to")};
}

Json CalendarEvents::toJson() const {
  return Json::object();
}

}  // namespace halcy
