#include "Areas.hpp"

namespace halcy {

EngineAreas EngineAreas::unbuilt() {
  return EngineAreas{std::make_shared<UnbuiltKeys>(),     std::make_shared<UnbuiltDictation>(),
                     std::make_shared<UnbuiltFields>(),   std::make_shared<UnbuiltScreen>(),
                     std::make_shared<UnbuiltPointer>(),  std::make_shared<UnbuiltOutline>(),
                     std::make_shared<UnbuiltInk>(),      std::make_shared<UnbuiltDesk>(),
                     std::make_shared<UnbuiltVolume>(),   std::make_shared<UnbuiltMeeting>(),
                     std::make_shared<UnbuiltCalendar>(), std::make_shared<UnbuiltWindows>(),
                     std::make_shared<UnbuiltMedia>()};
}

}  // namespace halcy
