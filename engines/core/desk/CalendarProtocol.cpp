#include "CalendarProtocol.hpp"

namespace halcy {

namespace {

const char* wireName(ParticipantKind kind) {
  switch (kind) {
    case ParticipantKind::person:
      return "person";
    case ParticipantKind::room:
      return "room";
    case ParticipantKind::resource:
      return "resource";
    case ParticipantKind::group:
      return "group";
    case ParticipantKind::unknown:
      break;
  }
  return "unknown";
}

}  // namespace

CalendarEventsRequest CalendarEventsRequest::decode(const JsonObject& params) {
  return {params.text("from"), params.text("to")};
}

Json CalendarParticipant::toJson() const {
  return Json::object({{"name", orNull(name)}, {"email", orNull(email)}, {"kind", wireName(kind)}});
}

Json CalendarItem::toJson() const {
  Json people = Json::array();
  for (const auto& attendee : attendees) people.push_back(attendee.toJson());
  return Json::object({{"id", id},
                       {"title", orNull(title)},
                       {"start", start},
                       {"end", orNull(end)},
                       {"allDay", allDay},
                       {"location", orNull(location)},
                       {"url", orNull(url)},
                       {"notes", orNull(notes)},
                       {"organizer", orNull(organizer)},
                       {"attendees", std::move(people)}});
}

Json CalendarEvents::toJson() const {
  Json items = Json::array();
  for (const auto& event : events) items.push_back(event.toJson());
  return Json::object({{"events", std::move(items)}});
}

}  // namespace halcy
