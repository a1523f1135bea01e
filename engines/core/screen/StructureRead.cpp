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

namespace {

Json textOrNull(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json(nullptr);
}

}  // namespace

Json StructureFacts::toJson() const {
  Json rowList = nullptr;
  if (rows) {
    rowList = Json::array();
    for (const auto& row : *rows) rowList.push_back(Json(row));
  }
  return Json::object({{"windowTitle", textOrNull(windowTitle)},
                       {"webUrl", textOrNull(webUrl)},
                       {"fieldValues", Json(fieldValues)},
                       {"rows", std::move(rowList)}});
}

}  // namespace halcy
