#include "MediaProtocol.hpp"

namespace halcy {

MediaDecodeRequest MediaDecodeRequest::decode(const JsonObject&) { return {}; }

Json MediaDecoded::toJson() const { return Json::object(); }

}  // namespace halcy
