#include "SnapProtocol.hpp"

#include "Decode.hpp"
#include "StageProtocol.hpp"

namespace halcy {

MeetingSnapCall MeetingSnapCall::decode(const JsonObject& object) {
  decode::onlyKeys(object, keyNames);
  return {object.integer("pid"), object.nullableText("title")};
}

MeetingSnap MeetingSnap::decode(const JsonObject& params) {
  MeetingSnap snap;
  snap.call = decode::nullable<MeetingSnapCall>(
      params, "call", [](const Json& value) { return MeetingSnapCall::decode(JsonObject(value)); });
  snap.neverLook = NeverLookList::decode(params, "neverLook");
  return snap;
}

Json MeetingSnapped::toJson() const {
  return Json::object();
}

}  // namespace halcy
