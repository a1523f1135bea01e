#include "DictationProtocol.hpp"

namespace halcy {

Json DictationStarted::toJson() const { return Json::object(); }

Json DictationStopped::toJson() const { return Json::object(); }

}  // namespace halcy
