#include "StructureRead.hpp"

#include "ParamRules.hpp"
#include "StageProtocol.hpp"

namespace halcy {

StructureRead StructureRead::decode(const JsonObject& params) {
  StructureRead read;
  read.pid = ParamRules::pid(params, "pid");
  read.bundleId = ParamRules::nonEmptyText(params, "bundleId", "Empty.");
  read.neverLook = NeverLookList::decode(params, "neverLook");
  return read;
}

Json StructureFacts::toJson() const {
  return Json::object();
}

}  // namespace halcy
