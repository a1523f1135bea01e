#include "CaptureStart.hpp"

namespace halcy {

EngineFailure CaptureStart::notAllowed() {
  return EngineFailure(ErrorCode::notPermitted, "Halcy is not allowed to use the microphone.");
}

EngineFailure CaptureStart::didNotStart() {
  return EngineFailure(ErrorCode::failed, "The microphone did not start.");
}

void CaptureStart::requireMicrophone(PermissionState permission) {
  if (permission != PermissionState::granted) throw notAllowed();
}

}  // namespace halcy
