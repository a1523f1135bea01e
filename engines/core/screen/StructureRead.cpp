#include "StructureRead.hpp"

#include "Decode.hpp"
#include "StageProtocol.hpp"

namespace halcy {

StructureRead StructureRead::decode(const JsonObject& params) {
  StructureRead read;
  read.pid = decode::pid(params, "pid");
  read.bundleId = decode::nonEmptyText(params, "bundleId");
  read.neverLook = NeverLookList::decode(params, "neverLook");
  return read;
}

Json StructureFacts::toJson() const {
  return Json::object();
}

}  // namespace halcy
