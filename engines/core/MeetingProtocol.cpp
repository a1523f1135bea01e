#include "MeetingProtocol.hpp"

namespace halcy {

MeetingStart MeetingStart::decode(const JsonObject&) { return {}; }

Json MeetingStarted::toJson() const { return Json::object(); }

Json MeetingStopped::toJson() const { return Json::object(); }

MeetingReopen MeetingReopen::decode(const JsonObject&) { return {}; }

Json MeetingReopened::toJson() const { return Json::object(); }

}  // namespace halcy
