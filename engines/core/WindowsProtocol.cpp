#include "WindowsProtocol.hpp"

namespace halcy {

WindowsListRequest WindowsListRequest::decode(const JsonObject&) { return {}; }

Json WindowsList::toJson() const { return Json::object(); }

}  // namespace halcy
