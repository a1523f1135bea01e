#pragma once
// The structure-read records on the wire: parameters decode strictly, results encode in field order.

#include "Json.hpp"

namespace halcy {

struct StructureRead {
  static StructureRead decode(const JsonObject& params);
};

struct StructureFacts {
  Json toJson() const;
};

}  // namespace halcy
