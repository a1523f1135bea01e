#include "SnapProtocol.hpp"

#include "StageProtocol.hpp"
#include "StrictKeys.hpp"

namespace halcy {

MeetingSnapCall MeetingSnapCall::decode(const JsonObject& object) {
  StrictKeys::check(object, {"pid", "title"});
  return {object.integer("pid"), object.nullableText("title")};
}

MeetingSnap MeetingSnap::decode(const JsonObject& params) {
  MeetingSnap snap;
  snap.call = StageCheck::nullable<MeetingSnapCall>(
      params, "call", [](const Json& value) { return MeetingSnapCall::decode(JsonObject(value)); });
  snap.neverLook = NeverLookList::decode(params, "neverLook");
  return snap;
}

Json MeetingSnapped::toJson() const {
  return Json::object();
}

}  // namespace halcy
