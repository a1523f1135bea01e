#include "SnapProtocol.hpp"

namespace halcy {

MeetingSnap MeetingSnap::decode(const JsonObject&) { return {}; }

Json MeetingSnapped::toJson() const { return Json::object(); }

}  // namespace halcy
