#include "WindowsProtocol.hpp"

namespace halcy {

WindowsListRequest WindowsListRequest::decode(const JsonObject& params) {
  return {params.texts("bundleIds")};
}

Json WindowsList::toJson() const {
  return Json::object();
}

}  // namespace halcy
